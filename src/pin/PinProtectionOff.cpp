#include "PinProtectionOff.h"

#include "ChangePin.h"
#include "PinGate.h"
#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

namespace {
void postPinState()
{
    NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"),
                                             PreferencesStore::shared().boolForKey(PrefKey::isPinSeted));
}
} // namespace

void removePinOnServer(std::function<void(bool removed)> finish)
{
    auto done = std::make_shared<std::function<void(bool)>>(std::move(finish));
    CommonWS::shared().removePin(
        [done](const DisablePinModel &record, bool ok) {
            if (ok && record.status) {
                PreferencesStore::shared().setBool(PrefKey::isPinSeted, false);
                CommmonFunction::showCommonAlert(record.msg, QString(), [done] {
                    NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"), false);
                    (*done)(true);
                });
                return;
            }
            CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                             ok ? record.msg : messageText(QStringLiteral("Error in pin setup")));
            // The PIN may or may not be there: the server says which.
            CommonWS::shared().syncURL([done](const BaseModel<SyncURLModel> &, bool) {
                postPinState();
                (*done)(false);
            },
                                       [done] {
                                           postPinState();
                                           (*done)(false);
                                       });
        },
        [done] { (*done)(false); });
}

PinProtectionOff::PinProtectionOff(PinGate *gate, QWidget *parent)
    : SheetDialog(parent)
    , m_gate(gate)
{
    setObjectName(QStringLiteral("PinProtectionOff"));
    QWidget *page = panel();
    lblYouWantToDisable = titleLabel(page, QStringLiteral("lblYouWantToDisable"));
    lblYouWantToDisable->setWordWrap(true);
    QFont title = lblYouWantToDisable->font();
    title.setPixelSize(17);
    lblYouWantToDisable->setFont(title);
    lblPleaseConfirmYourChoice = captionLabel(page, QStringLiteral("lblPleaseConfirmYourChoice"));
    btnChangePin = secondaryButton(page, QStringLiteral("btnChangePin"));
    btnDisablePin = primaryButton(page, QStringLiteral("btnDisablePin"));
    btnBack = linkButton(page, QStringLiteral("btnBack"));

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblYouWantToDisable);
    layout->addSpacing(6);
    layout->addWidget(lblPleaseConfirmYourChoice);
    layout->addSpacing(22);
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(btnBack);
    row->addStretch();
    row->addWidget(btnChangePin);
    row->addWidget(btnDisablePin);
    layout->addLayout(row);

    lblYouWantToDisable->setText(localizedText(QStringLiteral("You want to disable pin protection or change pin?")));
    lblPleaseConfirmYourChoice->setText(localizedText(QStringLiteral("Please confirm your choice")));
    btnChangePin->setText(localizedText(QStringLiteral("Change Pin")));
    btnDisablePin->setText(localizedText(QStringLiteral("Disable Pin")));
    btnBack->setText(localizedText(QStringLiteral("Back")));
    if (PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage) == QLatin1String("fr")) {
        QFont small = btnDisablePin->font();
        small.setPixelSize(12);
        btnDisablePin->setFont(small);
    }

    connect(btnBack, &QPushButton::clicked, this, &PinProtectionOff::tappedBackButton);
    connect(btnChangePin, &QPushButton::clicked, this, &PinProtectionOff::changePin);
    connect(btnDisablePin, &QPushButton::clicked, this, &PinProtectionOff::disablePin);
    fitPanelToWidth(440);
}

void PinProtectionOff::tappedBackButton()
{
    postPinState();
    QDialog::reject();
}

void PinProtectionOff::reject()
{
    tappedBackButton();
}

void PinProtectionOff::changePin()
{
    auto *change = new ChangePin(parentWidget());
    tempWindow = change;
    accept();
    if (!CommmonFunction::shared().beginSheet(change))
        delete change;
}

void PinProtectionOff::disablePin()
{
    accept();
    m_gate->ask(PinAction::DisablePin, [](PinGate::Finish finish) { removePinOnServer(std::move(finish)); });
}
