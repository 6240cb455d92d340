#include "PinEntryDialog.h"

#include "RetrivePinPage.h"
#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "controls/OnlyIntegerValueFormatter.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

using namespace AccountWidgets;

PinEntryDialog::PinEntryDialog(const QString &retrieveName, QWidget *parent)
    : SheetDialog(parent)
{
    QWidget *page = panel();
    lblEnterPinToVerify = titleLabel(page, QStringLiteral("lblEnterPinToVerify"));
    pinTF = textField(page, QStringLiteral("pinTF"), true);
    formatter = new OnlyIntegerValueFormatter(this);
    pinTF->setValidator(formatter);
    btnRetrieve = linkButton(page, retrieveName);
    btnCancel = secondaryButton(page, QStringLiteral("btnCancel"));
    btnVerify = primaryButton(page, QStringLiteral("btnVerify"));
    btnVerify->setDefault(true);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblEnterPinToVerify);
    layout->addSpacing(18);
    layout->addWidget(pinTF);
    layout->addSpacing(10);
    layout->addWidget(btnRetrieve, 0, Qt::AlignLeft);
    layout->addSpacing(22);
    layout->addLayout(buttonRow(btnCancel, btnVerify));

    connect(btnVerify, &QPushButton::clicked, this, &PinEntryDialog::verify);
    connect(btnRetrieve, &QPushButton::clicked, this, &PinEntryDialog::retrieve);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTexts();
    // An open dialog follows a language change at once, like the screens behind it.
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &) { setTexts(); });
    PreferencesStore &prefs = PreferencesStore::shared();
    if (prefs.integerForKey(PrefKey::attemp) < 1)
        prefs.setInteger(PrefKey::attemp, 1);
    fitPanelToWidth(400);
}

void PinEntryDialog::setTexts()
{
    lblEnterPinToVerify->setText(localizedText(QStringLiteral("Enter pin to verify")));
    pinTF->setPlaceholderText(localizedText(QStringLiteral("Enter pin")));
    btnRetrieve->setText(localizedText(QStringLiteral("Retrieve my pin code by e-mail")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnVerify->setText(localizedText(QStringLiteral("Verify")));
}

void PinEntryDialog::setBusy(bool busy)
{
    btnVerify->setEnabled(!busy);
    btnRetrieve->setEnabled(!busy);
}

void PinEntryDialog::verify()
{
    // One check at a time: a second press would carry the change out twice.
    if (!btnVerify->isEnabled())
        return;
    // What cannot be a PIN is not sent: the server would count it as one of the few attempts.
    static const QRegularExpression sixDigits(QStringLiteral("^[0-9]{6}$"));
    if (!sixDigits.match(pinTF->text()).hasMatch()) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Please enter your 6 digit pin.")));
        return;
    }
    if (!mayVerify())
        return;
    attemp = int(qMax<qint64>(1, PreferencesStore::shared().integerForKey(PrefKey::attemp)));
    setBusy(true);
    QPointer<PinEntryDialog> self(this);
    CommonWS::shared().checkPin(
        attemp, pinTF->text(),
        [self](const BaseModel<CheckPinModel> &record, bool ok) {
            if (!self)
                return;
            if (!ok) {
                self->setBusy(false);
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                                 messageText(QStringLiteral("Error in pin verify")), [self] {
                                                     if (self)
                                                         self->verifyUndecodable();
                                                 });
                return;
            }
            if (record.msg.isEmpty()) {
                self->setBusy(false);
                return;
            }
            if (!record.status) {
                self->setBusy(false);
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                // The server words these two refusals the same in every language.
                if (record.msg == QLatin1String("Please enter a valid otp."))
                    self->attemp += 1;
                else if (record.msg == QLatin1String("Your pin has been bloked.") && self->attemp > 2)
                    self->attemp = 1;
                PreferencesStore::shared().setInteger(PrefKey::attemp, self->attemp);
                return;
            }
            // A PIN the server accepted ends the run of wrong tries.
            self->attemp = 1;
            PreferencesStore::shared().setInteger(PrefKey::attemp, 1);
            self->pinAccepted();
        },
        [self] {
            if (self)
                self->setBusy(false);
        });
}

void PinEntryDialog::retrieve()
{
    setBusy(true);
    QPointer<PinEntryDialog> self(this);
    CommonWS::shared().retrievePin(
        [self](const BaseModel<RetrievePinModel> &record, bool ok) {
            if (!self)
                return;
            self->setBusy(false);
            if (!ok) {
                Log::line(QStringLiteral("========= Error decoding model response ============"));
                return;
            }
            if (record.msg.isEmpty()) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), QString());
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                return;
            }
            // The page says when the PIN will come, and leads back to this dialog.
            delete self->retrievePage;
            self->retrievePage = new RetrivePinPage(record.msg, self, self->parentWidget());
            self->hide();
            if (!CommmonFunction::shared().beginSheet(self->retrievePage))
                self->retrievePage->show();
        },
        [self] {
            if (self)
                self->setBusy(false);
        });
}
