#include "ChangePin.h"

#include "RandomPin.h"
#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "controls/OnlyIntegerValueFormatter.h"
#include "controls/ZelSecureTextField.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

namespace {
void postPinOn()
{
    // The sidebar's switch stays on while the PIN is being changed.
    NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"), true);
}
} // namespace

ChangePin::ChangePin(QWidget *parent)
    : SheetDialog(parent)
{
    setObjectName(QStringLiteral("ChangePin"));
    QWidget *page = panel();
    lblChangePin = titleLabel(page, QStringLiteral("lblChangePin"));
    const QString fieldStyle = textField(page, QStringLiteral("styleDonor"))->styleSheet();
    delete page->findChild<QWidget *>(QStringLiteral("styleDonor"));
    onlyIntFormatter = new OnlyIntegerValueFormatter(this);
    const auto field = [&](const QString &name) {
        auto *f = new ZelSecureTextField(page);
        f->setObjectName(name);
        f->setMinimumHeight(36);
        f->setStyleSheet(fieldStyle);
        f->setValidator(onlyIntFormatter);
        return f;
    };
    oldPinTF = field(QStringLiteral("oldPinTF"));
    newPinTF = field(QStringLiteral("newPinTF"));
    confirmPinTF = field(QStringLiteral("confirmPinTF"));
    btnRandomPin = secondaryButton(page, QStringLiteral("btnRandomPin"));
    btnRandomPin->setStyleSheet(btnRandomPin->styleSheet() +
                                QStringLiteral("QPushButton { color: rgb(77, 153, 136); border-color: rgba(77, 153, 136, 120); }"));
    btnCancel = secondaryButton(page, QStringLiteral("btnCancel"));
    btnSubmit = primaryButton(page, QStringLiteral("btnSubmit"));
    btnSubmit->setDefault(true);

    const bool french = PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage) == QLatin1String("fr");
    for (ZelSecureTextField *f : {oldPinTF, newPinTF, confirmPinTF})
        f->setFixedWidth(french ? 280 : 240);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 26, 32, 20);
    layout->setSpacing(10);
    layout->addWidget(lblChangePin);
    layout->addSpacing(6);
    layout->addWidget(oldPinTF);
    auto *newRow = new QHBoxLayout;
    newRow->setSpacing(10);
    newRow->addWidget(newPinTF);
    newRow->addWidget(btnRandomPin);
    newRow->addStretch();
    layout->addLayout(newRow);
    layout->addWidget(confirmPinTF);
    layout->addSpacing(10);
    layout->addLayout(buttonRow(btnCancel, btnSubmit));

    lblChangePin->setText(localizedText(QStringLiteral("Change Pin")));
    oldPinTF->setPlaceholderText(localizedText(QStringLiteral("Old Pin")));
    newPinTF->setPlaceholderText(localizedText(QStringLiteral("New Pin")));
    confirmPinTF->setPlaceholderText(localizedText(QStringLiteral("New Pin Confirm")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnSubmit->setText(localizedText(QStringLiteral("Submit")));
    btnRandomPin->setText(localizedText(QStringLiteral("Hidden PIN")));

    connect(btnCancel, &QPushButton::clicked, this, &ChangePin::cancel);
    connect(btnSubmit, &QPushButton::clicked, this, &ChangePin::submit);
    connect(btnRandomPin, &QPushButton::clicked, this, &ChangePin::randomPin);
    connect(newPinTF, &QLineEdit::textEdited, this, &ChangePin::newPinEdited);
    connect(this, &QDialog::finished, this, [this] {
        for (ZelSecureTextField *f : {oldPinTF, newPinTF, confirmPinTF})
            f->wipe();
        m_hiddenPin.clear();
        deleteLater();
    });

    oldPinTF->wipe();
    confirmPinTF->wipe();
    resetNewPinForTyping();
    oldPinTF->setFocus();
    postPinOn();
}

void ChangePin::fitBox()
{
    const bool french = PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage) == QLatin1String("fr");
    fitPanelToWidth(french ? 480 : 440);
}

bool ChangePin::holdsHiddenPin() const
{
    return !newPinTF->allowShowPassword();
}

void ChangePin::resetNewPinForTyping()
{
    m_hiddenPin.clear();
    // Not clear(): an undoable removal would let Undo bring a hidden PIN back once the eye shows it.
    newPinTF->wipe();
    newPinTF->setAllowShowPassword(true);
    confirmPinTF->wipe();
    confirmPinTF->setVisible(true);
    fitBox();
    constraintBoxHeight = panel()->height();
}

void ChangePin::randomPin()
{
    // Neither shown nor editable: the eye button goes, and any edit starts over.
    newPinTF->setAllowShowPassword(false);
    m_hiddenPin = ::randomPin();
    newPinTF->setText(m_hiddenPin);
    confirmPinTF->wipe();
    confirmPinTF->setVisible(false);
    fitBox();
    constraintBoxHeight = panel()->height();
}

void ChangePin::newPinEdited(const QString &text)
{
    if (holdsHiddenPin() && text != m_hiddenPin) {
        resetNewPinForTyping();
        newPinTF->setFocus();
    }
}

void ChangePin::submit()
{
    if (!btnSubmit->isEnabled())
        return;
    if (!confirmPinTF->isHidden() && confirmPinTF->text() != newPinTF->text()) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Confirm password not matching")));
        postPinOn();
        return;
    }
    btnSubmit->setEnabled(false);
    QPointer<ChangePin> self(this);
    CommonWS::shared().updatePin(
        oldPinTF->text(), newPinTF->text(),
        [self](const BaseModel<UpdatePinModel> &record, bool ok) {
            if (self)
                self->btnSubmit->setEnabled(true);
            if (!ok) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                                 messageText(QStringLiteral("Error in pin setup")));
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                return;
            }
            PreferencesStore::shared().setBool(PrefKey::isPinSeted, true);
            Log::line(QStringLiteral("Setup Pin Model Response - ") + LogRedaction::describeRecord(record));
            if (self)
                self->accept();
        },
        [self] {
            if (self)
                self->btnSubmit->setEnabled(true);
        });
    postPinOn();
}

void ChangePin::cancel()
{
    reject();
}
