#include "VerifyPinOnStart.h"

#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QVBoxLayout>

VerifyPinOnStart::VerifyPinOnStart(QWidget *parent)
    : PinEntryDialog(QStringLiteral("btnRetrieveMyPin"), parent)
{
    setObjectName(QStringLiteral("VerifyPinOnStart"));
    // Met at every start: it says why it is there, so it does not read as a fault.
    lblWhy = new QLabel(panel());
    lblWhy->setObjectName(QStringLiteral("lblWhy"));
    lblWhy->setWordWrap(true);
    lblWhy->setStyleSheet(QStringLiteral("color: #5f6670; font-size: 13px;"));
    if (auto *column = qobject_cast<QVBoxLayout *>(panel()->layout())) {
        column->insertSpacing(1, 8);
        column->insertWidget(2, lblWhy);
    }
    setExplanation();
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &) { setExplanation(); });
    fitPanelToWidth(400);
    Log::line(PreferencesStore::shared().stringForKey(PrefKey::user_email).value_or(QString()));
}

void VerifyPinOnStart::pinAccepted()
{
    CommonWS::shared().syncURL({});
    CommmonFunction &common = CommmonFunction::shared();
    hide();
    common.dismissPresented(CommmonFunction::VerifyPinOnStartSlot);
    common.openMainContent(QSize(800, 500));
}

void VerifyPinOnStart::setExplanation()
{
    lblWhy->setText(localizedText(
        QStringLiteral("PIN protection is on: enter your PIN to open Nimbrel; protection stays on either way.")));
}

void VerifyPinOnStart::cancel()
{
    // Cancel puts the window away to the tray: protection keeps running, and opening the
    // window from the tray asks for the PIN again. Nothing gets past the dialog.
    CommmonFunction &common = CommmonFunction::shared();
    hide();
    common.dismissPresented(CommmonFunction::VerifyPinOnStartSlot);
    const PreferencesStore &prefs = PreferencesStore::shared();
    if (!prefs.boolForKey(PrefKey::isPinSeted) || prefs.boolForKey(PrefKey::isLoggedOut))
        return;
    if (QWidget *main = common.mainWindow(); main && main->isVisible()) {
        Log::line(QStringLiteral("PIN not given: the window goes to the tray"));
        main->hide();
    } else {
        common.showVerifyPinOnStart();
    }
}

void VerifyPinOnStart::reject()
{
    cancel();
}
