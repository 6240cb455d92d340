// Start-up, watchdog, first-window choice and tray behaviour of the application delegate.
#include "AlertRecorder.h"
#include "AppDelegate.h"
#include "DNSConfiguration.h"
#include "FakeClock.h"
#include "LaunchAgent.h"
#include "LogCapture.h"
#include "MainWindowController.h"
#include "NetworkSetupResolver.h"
#include "NotificationCenter.h"
#include "PreferencesKeys.h"
#include "PreferencesStore.h"
#include "RecordingServerSync.h"
#include "StartupPresenter.h"
#include "TestEnvironment.h"
#include "ViewController.h"

#include <QSystemTrayIcon>
#include <QtTest>

namespace {
class RecordingPresenter : public StartupPresenter
{
public:
    void showVerifyPinOnStart() override { calls << QStringLiteral("pin"); }
    void showLogIn() override { calls << QStringLiteral("login"); }
    void openMainContent(const QSize &size) override
    {
        calls << QStringLiteral("main");
        sizes << size;
    }
    QStringList calls;
    QList<QSize> sizes;
};

// Notes whether the watchdog was already scheduled when protection was restored.
class TimingServerSync : public RecordingServerSync
{
public:
    explicit TimingServerSync(FakeClock &clock) : m_clock(clock) {}
    void syncDevice(std::function<void()> completion) override
    {
        RecordingServerSync::syncDevice(std::move(completion));
        timersAtSync.append(m_clock.pendingIntervals().size());
    }
    QList<int> timersAtSync;

private:
    FakeClock &m_clock;
};

const QString filter = DNSConfiguration::defaultAddress();
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<FakeClock> clock;
    std::unique_ptr<TimingServerSync> server;
    std::unique_ptr<AlertRecorder> alerts;
    RecordingPresenter presenter;

    void services(const QByteArray &lines) { env->writeFile(QStringLiteral("fake-state/networksetup/services"), lines); }
    QString ethernetServers() const { return env->readFile(QStringLiteral("fake-state/networksetup/dns/Ethernet")); }
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
        env = std::make_unique<TestEnvironment>();
        clock = std::make_unique<FakeClock>();
        server = std::make_unique<TimingServerSync>(*clock);
        alerts = std::make_unique<AlertRecorder>();
        presenter.calls.clear();
        DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
        services("Ethernet\nWi-Fi\n");
    }
    void cleanup()
    {
        alerts.reset();
        server.reset();
        clock.reset();
        env.reset();
    }

    void firstStartChangesNothingAndAsksForSignIn()
    {
        auto delegate = makeDelegate();
        LogCapture log;
        delegate->applicationDidFinishLaunching();
        QCOMPARE(calls(), QString()); // no DNS service even listed
        QVERIFY(!PreferencesStore::shared().contains(PrefKey::CurrentLanguage));
        QCOMPARE(clock->pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});
        QVERIFY(log.contains(QStringLiteral("copied plist file to LaunchAgents folder")));
        QVERIFY(log.contains(QStringLiteral("Load Plist - autostart entry in place: ")));
        QVERIFY(QFile::exists(env->path(QStringLiteral("config/autostart/com.mac.nimbrel.desktop"))));
        QVERIFY(delegate->statusItem);
        QCOMPARE(delegate->statusItem->toolTip(), QStringLiteral("icon"));
        QVERIFY(!delegate->statusItem->icon().isNull());

        // The launch screen syncs once when made and again when it decides, 1.5 s after it appears.
        MainWindowController main;
        delegate->mainWindow = main.window();
        main.window()->setContent(new ViewController(&presenter));
        QCOMPARE(server->syncCount, 1);
        main.showWindow();
        clock->advance(ViewController::startupDelayMs - 1);
        QVERIFY(presenter.calls.isEmpty());
        clock->advance(1);
        QCOMPARE(presenter.calls, QStringList{"login"});
        QCOMPARE(server->syncCount, 2);

        // Ending loads the entry again.
        log.lines.clear();
        delegate->applicationWillTerminate();
        QCOMPARE(log.lines.value(0), QStringLiteral("applicationWillTerminate"));
        QVERIFY(log.lines.value(1).startsWith(QLatin1String("Load Plist - ")));
    }

    void protectionIsRestoredBeforeTheWatchdogStarts()
    {
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        QCOMPARE(ethernetServers(), filter + '\n');
        QCOMPARE(server->timersAtSync, QList<int>{0});
        QCOMPARE(clock->pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});
        QVERIFY(alerts->alerts.isEmpty());
    }

    void watchdogPutsTheFilterBackWithinAMinute()
    {
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        const int syncs = server->syncCount;

        // Something else changes the DNS.
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        LogCapture log;
        clock->advance(AppDelegate::watchdogIntervalMs);
        QCOMPARE(ethernetServers(), filter + '\n');
        QCOMPARE(log.lines.value(0), QString(71, QLatin1Char('=')));
        QVERIFY(log.lines.value(1).startsWith(QLatin1String("Current DNS IP - [9.9.9.9")));
        QVERIFY(log.lines.last().startsWith(QLatin1String("SET THE DNS IP - [") + filter));
        QCOMPARE(server->syncCount, syncs + 1);

        log.lines.clear();
        clock->advance(AppDelegate::watchdogIntervalMs);
        QVERIFY(log.lines.value(1).startsWith(QLatin1String("NO CHANGE, Current DNS IP - ")));
        QCOMPARE(server->syncCount, syncs + 1);

        // Refused: the alert, and another try a minute later.
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        env->writeFile(QStringLiteral("fake-state/networksetup/deny"), "");
        clock->advance(AppDelegate::watchdogIntervalMs);
        QCOMPARE(alerts->alerts.size(), 1);
        QFile::remove(env->path(QStringLiteral("fake-state/networksetup/deny")));
        clock->advance(AppDelegate::watchdogIntervalMs);
        QCOMPARE(ethernetServers(), filter + '\n');
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
    }

    void watchdogIdlesWhileProtectionIsOff()
    {
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        clock->advance(5 * AppDelegate::watchdogIntervalMs);
        QCOMPARE(calls(), QString());
        QCOMPARE(ethernetServers(), QStringLiteral("9.9.9.9\n"));
    }

    void languageFollowsTheSystemOnlyWhenBothExist_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("stored"); // empty: absent
        QTest::addColumn<QString>("after");  // empty: absent
        QTest::newRow("differs") << "fr" << "en" << "fr";
        QTest::newRow("same") << "en" << "en" << "en";
        QTest::newRow("nothing stored") << "fr" << "" << "";
        QTest::newRow("no system language") << "" << "fr" << "fr";
    }
    void languageFollowsTheSystemOnlyWhenBothExist()
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
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
