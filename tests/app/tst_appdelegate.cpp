// Start-up, watchdog, first-window choice and tray behaviour of the application delegate.
#include "ApiTestBed.h"
#include "FakeClock.h"
#include "LogCapture.h"
#include "Settle.h"
#include "TestEnvironment.h"
#include "api/CommonWS.h"
#include "app/AppDelegate.h"
#include "app/AppMain.h"
#include "app/ViewController.h"
#include "pin/PinGate.h"
#include "pin/VerifyPin.h"
#include "texts/LocalizedText.h"
#include "platform/LaunchAgent.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/linux/ResolvectlResolver.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/DNSConfiguration.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/StartupPresenter.h"
#include "ui/WindowAlertPresenter.h"

#include <QMenu>
#include <QMessageBox>

#include <QSystemTrayIcon>
#include <QtTest>

namespace {
class RecordingPresenter : public StartupPresenter
{
public:
    void showVerifyPinOnStart() override { calls << QStringLiteral("pin"); }
    void showLogIn() override { calls << QStringLiteral("login"); }
    bool verifyingPinOnStart() const override { return pinDialogUp; }
    void openMainContent(const QSize &size) override
    {
        calls << QStringLiteral("main");
        sizes << size;
    }
    QStringList calls;
    QList<QSize> sizes;
    bool pinDialogUp = false;
};

const QString filter = DNSConfiguration::defaultAddress();
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApiTestBed> bed;
    TestEnvironment *env = nullptr;
    AlertRecorder *alerts = nullptr;
    std::unique_ptr<FakeClock> clock;
    RecordingPresenter presenter;

    void services(const QByteArray &lines) { env->writeFile(QStringLiteral("fake-state/networksetup/services"), lines); }
    QString ethernetServers() const { return env->readFile(QStringLiteral("fake-state/networksetup/dns/Ethernet")); }
    int syncs() const { return bed->requestsTo(QStringLiteral("sync-url")); }
    QString calls() const { return env->readFile(QStringLiteral("fake-state/networksetup/calls")); }
    std::unique_ptr<AppDelegate> makeDelegate()
    {
        auto delegate = std::make_unique<AppDelegate>(makeLaunchAgent(), &presenter);
        delegate->systemLanguage = [] { return QStringLiteral("en"); };
        return delegate;
    }

private slots:
    void init()
    {
        bed = std::make_unique<ApiTestBed>();
        env = &bed->env;
        alerts = &bed->alerts;
        bed->startAsNewAccount();
        clock = std::make_unique<FakeClock>();
        presenter.calls.clear();
        DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
        services("Ethernet\nWi-Fi\n");
    }
    void cleanup()
    {
        clock.reset();
        bed.reset();
    }

    void firstStartChangesNothingAndAsksForSignIn()
    {
        auto delegate = makeDelegate();
        LogCapture log;
        delegate->applicationDidFinishLaunching();
        QCOMPARE(calls(), QString()); // no DNS service even listed
        QCOMPARE(PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage), QStringLiteral("en"));
        QCOMPARE(clock->pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});
        QVERIFY(log.contains(QStringLiteral("Installed the autostart entry: ") +
                             env->path(QStringLiteral("config/autostart/com.mac.nimbrel.desktop"))));
        QVERIFY(log.contains(QStringLiteral("Load Plist - autostart entry in place: ")));
        QVERIFY(QFile::exists(env->path(QStringLiteral("config/autostart/com.mac.nimbrel.desktop"))));
        QVERIFY(log.contains(QStringLiteral("No user"))); // Google tokens are never kept

        // An incoming URL may carry a token in its query or fragment: neither is logged.
        delegate->handleGetURLEvent(QUrl(QStringLiteral("fb123456789012345://authorize?code=c0de#access_token=EAAB-secret&state=S")));
        QVERIFY(log.contains(QStringLiteral("Received URL: fb123456789012345://authorize")));
        QVERIFY(!log.contains(QStringLiteral("EAAB-secret")));
        QVERIFY(!log.contains(QStringLiteral("c0de")));
        QVERIFY(delegate->statusItem);
        QCOMPARE(delegate->statusItem->toolTip(), QStringLiteral("icon"));
        QVERIFY(!delegate->statusItem->icon().isNull());

        // The launch screen syncs once when made and again when it decides, 1.5 s after it appears.
        MainWindowController main;
        delegate->mainWindow = main.window();
        main.window()->setContent(new ViewController(&presenter));
        QTRY_COMPARE(syncs(), 1);
        main.showWindow();
        clock->advance(ViewController::startupDelayMs - 1);
        QVERIFY(presenter.calls.isEmpty());
        clock->advance(1);
        QCOMPARE(presenter.calls, QStringList{"login"});
        QTRY_COMPARE(syncs(), 2);

        QCOMPARE(calls(), QString()); // nor later, off the window's thread

        // Ending loads the entry again.
        log.lines.clear();
        delegate->applicationWillTerminate();
        QCOMPARE(log.lines.value(0), QStringLiteral("applicationWillTerminate"));
        QVERIFY(log.lines.value(1).startsWith(QLatin1String("Load Plist - ")));
    }

    // However soon the watchdog ticks, its check comes after the start-up apply.
    void protectionIsRestoredBeforeTheWatchdogStarts()
    {
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        auto delegate = makeDelegate();
        LogCapture log;
        delegate->applicationDidFinishLaunching();
        QCOMPARE(clock->pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_VERIFY(log.contains(QStringLiteral("NO CHANGE, Current DNS IP - [") + filter));
        QCOMPARE(ethernetServers(), filter + '\n');
        const QStringList c = calls().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(c.indexOf(QStringLiteral("-setdnsservers|Ethernet|") + filter) >= 0);
        QVERIFY(c.indexOf(QStringLiteral("-setdnsservers|Ethernet|") + filter) < c.lastIndexOf(QStringLiteral("-listallnetworkservices")));
        QTRY_COMPARE(syncs(), 1);
        QVERIFY(!log.contains(QStringLiteral("SET THE DNS IP")));
        QVERIFY(alerts->alerts.isEmpty());
    }

    void watchdogPutsTheFilterBackWithinAMinute()
    {
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        QTRY_COMPARE(syncs(), 1);

        // Something else changes the DNS.
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        LogCapture log;
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_VERIFY(log.contains(QStringLiteral("SET THE DNS IP - [") + filter));
        QCOMPARE(ethernetServers(), filter + '\n');
        const qsizetype rule = log.lines.indexOf(QString(71, QLatin1Char('=')));
        QVERIFY(rule >= 0);
        QVERIFY(log.lines.value(rule + 1).startsWith(QLatin1String("Current DNS IP - [9.9.9.9")));
        const auto set = std::find_if(log.lines.begin(), log.lines.end(),
                                      [](const QString &l) { return l.startsWith(QLatin1String("SET THE DNS IP - ")); });
        QVERIFY(set - log.lines.begin() > rule + 1);
        QTRY_COMPARE(syncs(), 2);

        log.lines.clear();
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_VERIFY(log.contains(QStringLiteral("NO CHANGE, Current DNS IP - ")));
        settle();
        QCOMPARE(syncs(), 2);
        // Every connection is set, yet this machine's own resolver is not the filter: the tray
        // says so, and notifies once, not at every tick.
        const QString around = QStringLiteral("Look-ups go around the filter");
        QTRY_VERIFY_WITH_TIMEOUT(delegate->lookupsGoAround(), 30000);
        QCOMPARE(delegate->statusItem->toolTip(), around);
        QCOMPARE(delegate->statusMenu()->findChild<QAction *>(QStringLiteral("actionState"))->text(), around);
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_COMPARE_WITH_TIMEOUT(log.lines.filter(QStringLiteral("NO CHANGE")).size(), 2, 15000);
        settle();
        QCOMPARE(log.lines.filter(around).size(), 1);

        // Refused: the alert, and another try a minute later.
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        env->writeFile(QStringLiteral("fake-state/networksetup/deny"), "");
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_COMPARE(alerts->alerts.size(), 1);
        QFile::remove(env->path(QStringLiteral("fake-state/networksetup/deny")));
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_COMPARE(ethernetServers(), filter + '\n');
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
    }

    // A failure that repeats every minute leaves one alert on screen, and a new one once it is closed.
    void repeatedWatchdogFailureShowsOneAlert()
    {
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        env->writeFile(QStringLiteral("fake-state/networksetup/deny"), "");
        WindowAlertPresenter windowAlerts;
        AlertPresenter::setShared(&windowAlerts);
        auto shownAlerts = [] {
            QList<QMessageBox *> shown;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("commonAlert") && w->isVisible())
                    shown << static_cast<QMessageBox *>(w);
            return shown;
        };
        auto delegate = makeDelegate();
        LogCapture log;
        auto failures = [&] { return log.lines.filter(QStringLiteral("found error in starting protaction")).size(); };
        delegate->applicationDidFinishLaunching();
        QTRY_COMPARE(failures(), 1);
        for (int tick = 1; tick <= 3; ++tick) {
            clock->advance(AppDelegate::watchdogIntervalMs);
            QTRY_COMPARE(failures(), tick + 1);
        }
        QCOMPARE(shownAlerts().size(), 1);
        QCOMPARE(shownAlerts().first()->informativeText(), QStringLiteral("Requires admin privileges"));
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
        shownAlerts().first()->close();
        QTRY_VERIFY(shownAlerts().isEmpty());
        clock->advance(AppDelegate::watchdogIntervalMs);
        QTRY_COMPARE(shownAlerts().size(), 1);
        shownAlerts().first()->close();
        AlertPresenter::setShared(alerts);
    }

    // A name the account gives this device for encrypted DNS, or takes away, counts at once,
    // not at the watchdog's next minute.
    void newDeviceNameIsUsedAtOnce()
    {
        env->writeFile(QStringLiteral("fake-state/resolvectl/links"), "wlan0\n");
        const QString linkDns = QStringLiteral("fake-state/resolvectl/links.d/wlan0/dns");
        env->writeFile(linkDns, "10.0.0.1");
        DNSConfiguration::resetShared(std::make_unique<ResolvectlResolver>());
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        QTRY_COMPARE(env->readFile(linkDns), filter);
        QTRY_COMPARE(syncs(), 1);

        const QString host = QStringLiteral("abcdefghijklmnopqrstuvwxya.dot.example.org");
        bed->answerSync({{QStringLiteral("id"), 7}, {QStringLiteral("dot_host"), host}});
        CommonWS::shared().syncURL({});
        QTRY_COMPARE(env->readFile(linkDns), filter + QLatin1Char('#') + host);
        QCOMPARE(env->readFile(QStringLiteral("fake-state/resolvectl/links.d/wlan0/dnsovertls")), QStringLiteral("yes"));
        // No name any more (the session ended): plain again at once, since the old name gets no answers.
        bed->answerSync({{QStringLiteral("id"), 7}});
        CommonWS::shared().syncURL({});
        QTRY_COMPARE(env->readFile(linkDns), filter);
        QVERIFY(alerts->alerts.isEmpty());
    }

    void watchdogIdlesWhileProtectionIsOff()
    {
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        clock->advance(5 * AppDelegate::watchdogIntervalMs);
        settle();
        QCOMPARE(calls(), QString());
        QCOMPARE(ethernetServers(), QStringLiteral("9.9.9.9\n"));
    }

    void forcedSignOutReturnsToTheLaunchScreen()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isLogin, true);
        prefs.setString(PrefKey::loginToken, QStringLiteral("revoked-token"));
        MainWindowController main;
        attachPresenters(main.window()).openMainContent(QSize(800, 500));
        main.showWindow();
        QVERIFY(main.window()->content()->inherits("SplitViewController"));

        // The server no longer knows the token.
        bed->server.answer(QStringLiteral("sync-url"), 401, R"({"status":false,"code":401,"msg":"Unauthenticated.","version":"3.0","data":null})");
        CommonWS::shared().syncURL({});
        QTRY_VERIFY(main.window()->content()->inherits("ViewController"));
        QCOMPARE(main.window()->maximumSize(), QSize(795, 594));
        QVERIFY(!prefs.stringForKey(PrefKey::loginToken));
        QVERIFY(!prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(prefs.boolForKey(PrefKey::isLoggedOut));
        // And the sign-in is offered again once the launch screen has decided.
        clock->advance(ViewController::startupDelayMs);
        QTRY_VERIFY(CommmonFunction::shared().presented(CommmonFunction::LogInSlot));
    }

    void trayMenuOpensShowsTheStateAndQuits_data()
    {
        QTest::addColumn<bool>("pinEnabled");
        QTest::addColumn<bool>("pinAccepted");
        QTest::newRow("no PIN") << false << false;
        QTest::newRow("PIN, cancelled") << true << false;
        QTest::newRow("PIN, accepted") << true << true;
    }
    void trayMenuOpensShowsTheStateAndQuits()
    {
        QFETCH(bool, pinEnabled);
        QFETCH(bool, pinAccepted);
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::dnsLastStatus, true);
        prefs.setBool(PrefKey::isPinEnable, pinEnabled);
        // Signed in: without a session the gate offers the sign-in instead of the PIN.
        prefs.setString(PrefKey::loginToken, QStringLiteral("user-token"));
        MainWindowController main;
        attachPresenters(main.window());
        main.showWindow();
        auto delegate = makeDelegate();
        delegate->mainWindow = main.window();
        delegate->pinGate = main.window()->findChild<PinGate *>(QStringLiteral("pinGate"));
        int quits = 0;
        delegate->quitApplication = [&] { ++quits; };
        delegate->applicationDidFinishLaunching();

        QMenu *menu = delegate->statusMenu();
        QCOMPARE(delegate->statusItem->contextMenu(), menu);
        auto action = [menu](const char *name) { return menu->findChild<QAction *>(QLatin1String(name)); };
        QCOMPARE(action("actionOpen")->text(), QStringLiteral("Open Nimbrel"));
        QCOMPARE(action("actionState")->text(), QStringLiteral("Protection is on"));
        QVERIFY(!action("actionState")->isEnabled());
        QVERIFY(action("actionStaysOn")->isVisible());
        changeLanguage(QStringLiteral("French Selected"), QStringLiteral("fr"));
        QCOMPARE(action("actionQuit")->text(), QStringLiteral("Quitter Nimbrel"));
        QCOMPARE(action("actionStaysOn")->text(), QStringLiteral("La protection reste active après avoir quitté"));

        main.window()->hide();
        action("actionOpen")->trigger();
        QVERIFY(main.window()->isVisible());

        QVariantList posted;
        QObject observer;
        for (const QString &name : {QStringLiteral("pin_protection_off"), QStringLiteral("DNS_State"),
                                    QStringLiteral("BlockAppSwitchState")})
            NotificationCenter::defaultCenter().addObserver(&observer, name, [&](const QVariant &v) { posted << v; });
        QTRY_COMPARE(posted.size(), 1); // the Open action's own notification
        posted.clear();
        main.window()->hide(); // Quit from the tray with the window put away
        action("actionQuit")->trigger();
        if (!pinEnabled) {
            QCOMPARE(quits, 1);
            return;
        }
        // Quitting stops the watchdog: it waits for the PIN like any change that weakens protection.
        VerifyPin *verify = delegate->pinGate->verifyPinWC();
        QVERIFY(verify);
        QVERIFY(main.window()->isVisible()); // the gate's sheet shows on it
        QTRY_VERIFY(verify->isVisible());
        QCOMPARE(delegate->pinGate->pendingPinAction(), PinAction::Quit);
        QCOMPARE(quits, 0);
        if (pinAccepted) {
            delegate->pinGate->carryOut([](bool) {});
            QCOMPARE(quits, 1);
        } else {
            verify->cancel();
            settle();
            QCOMPARE(quits, 0);
            QCOMPARE(posted, QVariantList{});
        }
    }

    // However often the tray is clicked, one sign-in sheet.
    void trayClicksOpenOneSignInSheet()
    {
        MainWindowController main;
        CommmonFunction &common = attachPresenters(main.window());
        main.showWindow();
        AppDelegate delegate(makeLaunchAgent(), &common);
        delegate.mainWindow = main.window();
        for (int click = 0; click < 3; ++click)
            delegate.showWindow();
        QTRY_VERIFY(common.presented(CommmonFunction::LogInSlot));
        settle();
        delegate.showWindow();
        settle();
        int sheets = 0;
        for (QDialog *d : main.window()->findChildren<QDialog *>())
            sheets += d->isVisible() ? 1 : 0;
        QCOMPARE(sheets, 1);
    }

    void languageChosenInSettingsIsKept_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("stored"); // empty: absent
        QTest::addColumn<QString>("after");  // empty: absent
        QTest::newRow("English chosen on a French system") << "fr" << "en" << "en";
        QTest::newRow("French chosen on an English system") << "en" << "fr" << "fr";
        QTest::newRow("nothing stored") << "fr" << "" << "fr";
        QTest::newRow("unusable code stored") << "fr" << "de" << "fr";
        QTest::newRow("no system language") << "" << "" << "";
    }
    void languageChosenInSettingsIsKept()
    {
        QFETCH(QString, system);
        QFETCH(QString, stored);
        QFETCH(QString, after);
        if (!stored.isEmpty())
            PreferencesStore::shared().setString(PrefKey::CurrentLanguage, stored);
        auto delegate = makeDelegate();
        delegate->systemLanguage = [system] { return system; };
        delegate->applicationDidFinishLaunching();
        QCOMPARE(PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage).value_or(QString()), after);
    }

    void firstWindowChoice_data()
    {
        QTest::addColumn<bool>("pinSet");
        QTest::addColumn<bool>("loggedOut");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing stored") << false << false << false << "login";
        QTest::newRow("signed in") << false << false << true << "main";
        QTest::newRow("PIN set, signed in") << true << false << true << "pin";
        QTest::newRow("PIN set, not signed in, never signed out") << true << false << false << "pin";
        QTest::newRow("PIN set but signed out") << true << true << false << "login";
        QTest::newRow("PIN set, signed out flag and signed in") << true << true << true << "main";
    }
    void firstWindowChoice()
    {
        QFETCH(bool, pinSet);
        QFETCH(bool, loggedOut);
        QFETCH(bool, login);
        QFETCH(QString, shown);
        presenter.pinDialogUp = false;
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isPinSeted, pinSet);
        prefs.setBool(PrefKey::isLoggedOut, loggedOut);
        prefs.setBool(PrefKey::isLogin, login);
        auto delegate = makeDelegate();
        MainWindowController main;
        delegate->mainWindow = main.window();
        auto *launch = new ViewController(&presenter);
        main.window()->setContent(launch);
        main.window()->setFixedContentSize(795, 594);
        launch->decideFirstWindow();
        QCOMPARE(presenter.calls, QStringList{shown});
        if (shown == "main")
            QCOMPARE(presenter.sizes, QList<QSize>{QSize(795, 575)});

        // The tray item makes the same choice, and first tells the sidebar the PIN state.
        presenter.calls.clear();
        presenter.sizes.clear();
        QVariantList posted;
        QObject observer;
        NotificationCenter::defaultCenter().addObserver(&observer, QStringLiteral("pin_protection_off"),
                                                        [&](const QVariant &v) { posted << v; });
        main.window()->hide();
        delegate->showWindow();
        QVERIFY(main.window()->isVisible());
        QTRY_COMPARE(presenter.calls, QStringList{shown});
        QCOMPARE(posted, QVariantList{pinSet});
        if (shown == "main") // the tray keeps the window's size
            QCOMPARE(presenter.sizes, QList<QSize>{QSize()});

        // While the start-up PIN dialog is up, nothing opens the main content around it.
        presenter.calls.clear();
        presenter.pinDialogUp = true;
        delegate->showWindow();
        QTRY_COMPARE(presenter.calls, QStringList{"pin"});
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
