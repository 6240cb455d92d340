#pragma once

#include "AlertRecorder.h"
#include "BuildConfig.h"
#include "FakeClock.h"
#include "FakeFlagSource.h"
#include "LogCapture.h"
#include "ServerProcess.h"
#include "TestEnvironment.h"
#include "api/ApiManager.h"
#include "app/AppMain.h"
#include "app/SplitViewController.h"
#include "app/ViewController.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"

#include <QtTest>

// One test case's world against a real nimbrel-server (the test defines NIMBREL_SERVER_BINARY and
// links the app): a clean home, the server on a free port of 127.0.0.1 knowing the application
// token the app is built with, ApiManager on a reachable network talking to it, recorded alerts,
// captured log lines, a clock that stands still, and the main window with its presenters.
class ServerTestBed
{
public:
    ~ServerTestBed()
    {
        main.reset();
        ApiManager::resetShared();
    }

    // Starts the server (serverArguments after the defaults) and points the app at it.
    bool start(const QStringList &serverArguments = {}, WebContentLoader *web = nullptr)
    {
        const QStringList token{QStringLiteral("--app-token"), QString::fromUtf8(BuildConfig::appToken)};
        if (!server.start(token + serverArguments) || !ApiManager::shared().setApiBase(server.apiBase()))
            return false;
        client = std::make_unique<ServerClient>(server.apiBase());
        ApiManager::shared().setupReachability(flags);
        main = std::make_unique<MainWindowController>();
        attachPresenters(main->window(), web);
        return true;
    }

    // An account made through the API, as another computer would make it; api() acts as it.
    bool signUp(const QString &email = QStringLiteral("ada@example.org"))
    {
        account = ::signUp(*client, email, QStringLiteral("long enough 1"), BuildConfig::appToken);
        return account.id > 0;
    }
    ServerAnswer api(const QString &path, const ServerClient::Form &form = {})
    {
        return client->post(path, form, account.token);
    }
    void pinOnServer(const QString &pin, const QString &hours = QStringLiteral("24"))
    {
        QVERIFY(api(QStringLiteral("setupPin"), {{"time", hours}, {"pin", pin}}).accepted());
        PreferencesStore::shared().setBool(PrefKey::isPinSeted, true);
    }

    // The account as this computer remembers it after signing in.
    void storeSignedIn()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isLogin, true);
        prefs.setBool(PrefKey::isLoggedOut, false);
        prefs.setString(PrefKey::loginToken, QString::fromLatin1(account.token));
        prefs.setInteger(PrefKey::user_id, account.id);
        prefs.setString(PrefKey::user_email, account.email);
    }
    // Signed in, straight to the main content.
    void openMain()
    {
        storeSignedIn();
        CommmonFunction::shared().openMainContent(QSize(800, 500));
        main->showWindow();
        QTRY_VERIFY(mainContent() && mainContent()->isVisible());
    }
    // The launch screen the app starts with; it goes on once the clock passes its delay.
    void launch()
    {
        main->window()->setContent(new ViewController(&CommmonFunction::shared()));
        main->window()->setFixedContentSize(795, 594);
        main->showWindow();
    }

    SplitViewController *mainContent() const { return qobject_cast<SplitViewController *>(main->window()->content()); }
    bool onLaunchScreen() const { return main->window()->content() && main->window()->content()->inherits("ViewController"); }

    // The newest visible sheet of this class on the main window, once there is one.
    template <class W> W *sheet() const
    {
        W *found = nullptr;
        (void)QTest::qWaitFor([&] {
            found = nullptr;
            for (W *w : main->window()->findChildren<W *>())
                if (w->isVisible())
                    found = w;
            return found != nullptr;
        });
        return found;
    }
    template <class W> bool noSheet() const
    {
        const auto list = main->window()->findChildren<W *>();
        return std::none_of(list.begin(), list.end(), [](W *w) { return w->isVisible(); });
    }

    TestEnvironment env;
    ServerProcess server{QStringLiteral(NIMBREL_SERVER_BINARY), env.path(QStringLiteral("server"))};
    std::unique_ptr<ServerClient> client;
    Account account;
    AlertRecorder alerts;
    LogCapture log;
    FakeClock clock;
    std::shared_ptr<FakeFlagSource> flags = std::make_shared<FakeFlagSource>(ReachabilityFlag::Reachable);
    std::unique_ptr<MainWindowController> main;
};
