#include "VerifyPinOnStart.h"

#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/CommmonFunction.h"

VerifyPinOnStart::VerifyPinOnStart(QWidget *parent)
    : PinEntryDialog(QStringLiteral("btnRetrieveMyPin"), parent)
{
    setObjectName(QStringLiteral("VerifyPinOnStart"));
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

void VerifyPinOnStart::cancel()
{
    CommmonFunction &common = CommmonFunction::shared();
    hide();
    common.dismissPresented(CommmonFunction::VerifyPinOnStartSlot);
    const PreferencesStore &prefs = PreferencesStore::shared();
    if (prefs.boolForKey(PrefKey::isPinSeted) && !prefs.boolForKey(PrefKey::isLoggedOut))
        common.showVerifyPinOnStart();
}

void VerifyPinOnStart::reject()
{
    cancel();
}
