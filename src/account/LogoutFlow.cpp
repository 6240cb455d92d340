#include "LogoutFlow.h"

#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

void logOut(std::function<void()> showLaunchScreen)
{
    CommonWS::shared().logout(
        [showLaunchScreen = std::move(showLaunchScreen)](const LogoutModel &record, bool ok) {
            if (!ok || !record.status)
                return;
            Log::line(QStringLiteral("User logged out"));
            PreferencesStore &prefs = PreferencesStore::shared();
            prefs.setBool(PrefKey::isLogin, false);
            prefs.setBool(PrefKey::isLoggedOut, true);
            // The server revoked the token: sending it again would only earn a 401, and the
            // next sign-in must go out with the application token.
            prefs.setString(PrefKey::loginToken, QString());
            // Signed out first, so the launch screen's own requests already go out that way.
            if (showLaunchScreen)
                showLaunchScreen();
        },
        [](const ApiError &) {
            // The user asked to leave and stays signed in: they must learn why, in the words
            // the client uses for a network that cannot be reached.
            CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                             messageText(QStringLiteral("Network Not Reachable")));
        });
}
