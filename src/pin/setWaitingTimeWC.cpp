#include "setWaitingTimeWC.h"

#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace AccountWidgets;

setWaitingTimeWC::setWaitingTimeWC(const QString &pin, QWidget *parent)
    : SheetDialog(parent)
    , m_pin(pin)
{
    setObjectName(QStringLiteral("setWaitingTimeWC"));
    QWidget *page = panel();
    lblSetWaitingTime = titleLabel(page, QStringLiteral("lblSetWaitingTime"));
    lblSetTheWaitingTimeBefore = captionLabel(page, QStringLiteral("lblSetTheWaitingTimeBefore"));
    lblIfYouChoose = captionLabel(page, QStringLiteral("lblIfYouChoose"));
    lblIfYouChoose->setStyleSheet(QStringLiteral("color: #6b7280; font-size: 11px;"));
    btnCancel = secondaryButton(page, QStringLiteral("btnCancel"));
    btnSetTheTime = primaryButton(page, QStringLiteral("btnSetTheTime"));
    btnSetTheTime->setDefault(true);

    m_choices = new QButtonGroup(this);
    const auto choice = [&](const QString &name, int tag) {
        auto *button = new QRadioButton(page);
        button->setObjectName(name);
        button->setStyleSheet(QStringLiteral("QRadioButton { color: #1f2933; font-size: 13px; }"));
        m_choices->addButton(button, tag);
        return button;
    };
    btn12Hours = choice(QStringLiteral("btn12Hours"), 0);
    btn24Hours = choice(QStringLiteral("btn24Hours"), 1);
    btn48Hours = choice(QStringLiteral("btn48Hours"), 2);
    btnForever = choice(QStringLiteral("btnForever"), 3);
    btn12Hours->setChecked(true);

    timingStackView = new QHBoxLayout;
    timingStackView->setSpacing(16);
    for (QRadioButton *button : {btn12Hours, btn24Hours, btn48Hours, btnForever})
        timingStackView->addWidget(button);
    timingStackView->addStretch();

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 24, 32, 20);
    layout->setSpacing(0);
    layout->addWidget(lblSetWaitingTime);
    layout->addSpacing(6);
    layout->addWidget(lblSetTheWaitingTimeBefore);
    layout->addSpacing(14);
    layout->addLayout(timingStackView);
    layout->addSpacing(12);
    layout->addWidget(lblIfYouChoose);
    layout->addStretch();
    layout->addSpacing(14);
    layout->addLayout(buttonRow(btnCancel, btnSetTheTime));

    connect(m_choices, &QButtonGroup::idClicked, this, &setWaitingTimeWC::selectedHours);
    connect(btnSetTheTime, &QPushButton::clicked, this, &setWaitingTimeWC::setTime);
    connect(btnCancel, &QPushButton::clicked, this, &setWaitingTimeWC::cancel);
    connect(this, &QDialog::finished, this, [this] {
        m_pin.clear();
        deleteLater();
    });

    setTexts();
    fitPanelToWidth(460);
    QTimer::singleShot(0, this, &setWaitingTimeWC::adjustLayoutForLanguage);
}

void setWaitingTimeWC::setTexts()
{
    lblSetWaitingTime->setText(localizedText(QStringLiteral("Set Waiting Time")));
    lblSetTheWaitingTimeBefore->setText(
        localizedText(QStringLiteral("Set the waiting time before the unlock digit pin code is sent by email to you")));
    lblIfYouChoose->setText(localizedText(QStringLiteral(
        "If you choose the FOREVER option, know that the only way to get the pin code will be to chat with a terapiste on the live chat")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnSetTheTime->setText(localizedText(QStringLiteral("Set Time")));
    btn12Hours->setText(localizedText(QStringLiteral("12 hours")));
    btn24Hours->setText(localizedText(QStringLiteral("24 hours")));
    btn48Hours->setText(localizedText(QStringLiteral("48 hours")));
    btnForever->setText(localizedText(QStringLiteral("Forever *")));
}

void setWaitingTimeWC::adjustLayoutForLanguage()
{
    if (PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage) != QLatin1String("fr"))
        return;
    timingStackView->setSpacing(5);
    QFont small = btnSetTheTime->font();
    small.setPixelSize(10);
    btnSetTheTime->setFont(small);
    setFixedPanelSize(QSize(500, 250));
}

void setWaitingTimeWC::selectedHours(int tag)
{
    static const char *const values[] = {"12", "24", "48", "175200"};
    if (tag >= 0 && tag <= 3)
        hours = QString::fromLatin1(values[tag]);
}

void setWaitingTimeWC::setTime()
{
    if (m_pin.isEmpty() || !btnSetTheTime->isEnabled())
        return;
    btnSetTheTime->setEnabled(false);
    QPointer<setWaitingTimeWC> self(this);
    const auto giveBack = [self] {
        if (self)
            self->btnSetTheTime->setEnabled(true);
    };
    CommonWS::shared().setupPin(
        hours.toLongLong(), m_pin,
        [self, giveBack](const BaseModel<SetupPinModel> &record, bool ok) {
            giveBack();
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
            NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"), true);
            Log::line(QStringLiteral("Setup Pin Model Response - ") + LogRedaction::describeRecord(record));
            if (self)
                self->accept();
        },
        giveBack);
}

void setWaitingTimeWC::cancel()
{
    reject();
}
