#include "StartupPresenter.h"

#include "platform/PreferencesKeys.h"

FirstWindow chooseFirstWindow(const PreferencesStore &prefs)
{
    // A PIN locks the app at start, unless the user signed out: then there is nobody to lock.
    if (prefs.boolForKey(PrefKey::isPinSeted) && !prefs.boolForKey(PrefKey::isLoggedOut))
        return FirstWindow::VerifyPinOnStart;
    if (!prefs.boolForKey(PrefKey::isLogin))
        return FirstWindow::LogIn;
    return FirstWindow::MainContent;
}
