// Against a real NetworkManager: a connection activated after start-up is protected on its
// signal, long before the watchdog's minute, whatever its kind; a server added to a protected
// profile goes again; going offline shows nothing; turning protection off gives each connection
// back its own DNS. The real watcher, delegate, nmcli backend and nmcli; nm-sandbox.sh provides the daemon,
// its private system bus and the veth devices, all in namespaces of their own. With
// --with-resolved, NetworkManager hands its DNS to systemd-resolved, and the device's name for
// encrypted DNS goes on the link there.
#include "ApiTestBed.h"
#include "DotFilter.h"
#include "FakeClock.h"
#include "app/AppDelegate.h"
#include "platform/LaunchAgent.h"
#include "platform/NetworkChangeWatcher.h"
#include "platform/ShellRunner.h"
#include "protection/DNSConfiguration.h"
#include "ui/StartupPresenter.h"

#include <QtTest>

namespace {
class NoPresenter : public StartupPresenter
{
public:
    void showVerifyPinOnStart() override {}
    void showLogIn() override {}
    void openMainContent(const QSize &) override {}
};

// What NetworkManager holds, asked by nmcli itself rather than through the code under test.
QString nmcli(const QStringList &args)
{
    const ProcessResult r = runProgram(QStringLiteral("nmcli"), args);
    return r.exitCode == 0 ? r.output.trimmed() : QStringLiteral("nmcli failed: ") + r.output;
}

QString dnsOf(const QString &connection)
{
    return nmcli({QStringLiteral("-g"), QStringLiteral("ipv4.dns,ipv4.ignore-auto-dns"), QStringLiteral("connection"),
                  QStringLiteral("show"), connection});
}

bool addConnection(const QString &name, const QString &type, const QString &device, const QString &address,
                   const QString &dns, const QStringList &more = {})
{
    return runProgram(QStringLiteral("nmcli"), QStringList{QStringLiteral("connection"), QStringLiteral("add"), QStringLiteral("type"),
                                                  type, QStringLiteral("con-name"), name, QStringLiteral("ifname"), device,
                                                  QStringLiteral("autoconnect"), QStringLiteral("no"), QStringLiteral("ipv4.method"),
                                                  QStringLiteral("manual"), QStringLiteral("ipv4.addresses"), address,
                                                  QStringLiteral("ipv4.dns"), dns, QStringLiteral("ipv6.method"),
                                                  QStringLiteral("disabled")} + more)
               .exitCode
        == 0;
}

// Waits until the connection's profile and its device use only the filter, by wall-clock time
// (the nmcli runs in between count). Under 2 s on an idle machine; the limit leaves room for a
// loaded one, where every nmcli run (ours and the test's) takes several times as long.
QString protectedSoon(const QString &connection, const QString &device, const QString &filter)
{
    QString profile;
    QString live;
    const bool done = QTest::qWaitFor([&] {
        return (profile = dnsOf(connection)) == filter + QStringLiteral("\nyes")
            && (live = nmcli({QStringLiteral("-g"), QStringLiteral("IP4.DNS"), QStringLiteral("device"), QStringLiteral("show"), device}))
                   == filter;
    }, 6000);
    return done ? QString() : connection + QStringLiteral(": profile ") + profile + QStringLiteral(", device ") + live;
}
} // namespace

class TestNetworkManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Outside the sandbox nmcli would reach the machine's own NetworkManager.
        if (qEnvironmentVariableIsEmpty("NIMBREL_NM_SANDBOX"))
            QSKIP("runs only through tests/e2e/nm-sandbox.sh, never against this machine's NetworkManager");
    }
    void cleanup()
    {
        nmcli({QStringLiteral("connection"), QStringLiteral("delete"), QStringLiteral("Home"), QStringLiteral("Wired")});
    }

    void aConnectionActivatedLaterIsProtectedAndTurningOffRevertsIt_data()
    {
        QTest::addColumn<QString>("homeType");
        QTest::addColumn<QString>("homeDevice");
        QTest::addColumn<QStringList>("more");
        QTest::newRow("another service") << QStringLiteral("bridge") << QStringLiteral("br0") << QStringList{};
        QTest::newRow("a second wired connection") << QStringLiteral("ethernet") << QStringLiteral("eth1") << QStringList{};
        // As a VPN, WireGuard or modem would be (none of which the sandbox's kernel can make).
        QTest::newRow("another kind of connection") << QStringLiteral("veth") << QStringLiteral("eth1")
                                                   << QStringList{QStringLiteral("veth.peer"), QStringLiteral("peer1")};
    }
    void aConnectionActivatedLaterIsProtectedAndTurningOffRevertsIt()
    {
        QFETCH(QString, homeType);
        QFETCH(QString, homeDevice);
        QFETCH(QStringList, more);
        ApiTestBed bed;
        bed.startAsNewAccount();
        FakeClock clock; // the watchdog's minute never comes
        // The real nmcli, not the stand-in the test environment puts first.
        qputenv("PATH", qgetenv("PATH").replace(NIMBREL_FAKES_DIR ":", ""));
        const QString filter = DNSConfiguration::defaultAddress();
        // On failure, what the app did too.
        const auto protectedNow = [&](const QString &connection, const QString &device) {
            const QString why = protectedSoon(connection, device, filter);
            // What the app did, in pieces: a test message has a length limit.
            for (const QString &line : why.isEmpty() ? QStringList() : bed.log.lines)
                qWarning().noquote() << line;
            return why;
        };

        // A connection up from the start (a bridge is "Thunderbolt Bridge"); Ethernet comes later,
        // with the user's own DNS server that turning protection off must bring back.
        QVERIFY(addConnection(QStringLiteral("Home"), homeType, homeDevice, QStringLiteral("10.20.0.1/24"), {}, more));
        QVERIFY(addConnection(QStringLiteral("Wired"), QStringLiteral("ethernet"), QStringLiteral("eth0"),
                              QStringLiteral("10.10.0.1/24"), QStringLiteral("192.0.2.53")));
        QCOMPARE(runProgram(QStringLiteral("nmcli"), {QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("Home")}).exitCode, 0);

        DNSConfiguration::resetShared(); // the system's backend
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        NoPresenter presenter;
        AppDelegate delegate(nullptr, &presenter);
        delegate.systemLanguage = [] { return QStringLiteral("en"); };
        delegate.networkWatcher = makeNetworkChangeWatcher();
        delegate.applicationDidFinishLaunching();
        QTRY_COMPARE_WITH_TIMEOUT(dnsOf(QStringLiteral("Home")), filter + QStringLiteral("\nyes"), 5000);
        QCOMPARE(dnsOf(QStringLiteral("Wired")), QStringLiteral("192.0.2.53\nno"));

        const auto nm = [](const QStringList &args) { return runProgram(QStringLiteral("nmcli"), args).exitCode == 0; };

        // nmcli returns once the connection is activated.
        QVERIFY(nm({QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("Wired")}));
        QCOMPARE(protectedNow(QStringLiteral("Wired"), QStringLiteral("eth0")), QString());
        QCOMPARE(clock.pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});

        // A second server added to a protected profile is taken away again.
        QVERIFY(nm({QStringLiteral("connection"), QStringLiteral("modify"), QStringLiteral("Wired"), QStringLiteral("+ipv4.dns"),
                    QStringLiteral("192.0.2.99")}));
        QCOMPARE(protectedNow(QStringLiteral("Wired"), QStringLiteral("eth0")), QString());

        // Offline is nothing to protect. A connection changed meanwhile is protected as it comes up.
        QVERIFY(nm({QStringLiteral("connection"), QStringLiteral("down"), QStringLiteral("Home"), QStringLiteral("Wired")}));
        QVERIFY(nm({QStringLiteral("connection"), QStringLiteral("modify"), QStringLiteral("Home"), QStringLiteral("ipv4.dns"),
                    QStringLiteral("192.0.2.77"), QStringLiteral("ipv4.ignore-auto-dns"), QStringLiteral("no")}));
        QVERIFY(nm({QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("Home")}));
        QCOMPARE(protectedNow(QStringLiteral("Home"), homeDevice), QString());
        QVERIFY(nm({QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("Wired")}));
        QCOMPARE(protectedNow(QStringLiteral("Wired"), QStringLiteral("eth0")), QString());
        // The network changing under a change can make its verification fail; the alert goes
        // away by itself with the next good check, which the network's own signal brings.
        if (!QTest::qWaitFor([&] { return bed.alerts.showing().isEmpty(); }, 6000)) {
            for (const QString &line : bed.log.lines)
                qWarning().noquote() << QString(line).replace(QLatin1Char('\n'), QLatin1String(" | "));
            QFAIL(qPrintable(bed.alerts.lastTitle() + QStringLiteral(": ") + bed.alerts.lastMessage()));
        }

        bool off = false;
        DNSConfiguration::shared().clearFromSwitch([&] { off = true; });
        QTRY_VERIFY_WITH_TIMEOUT(off, 5000);
        QCOMPARE(dnsOf(QStringLiteral("Wired")), QStringLiteral("192.0.2.53\nno"));
        QCOMPARE(dnsOf(QStringLiteral("Home")), QStringLiteral("no"));
        QCOMPARE(nmcli({QStringLiteral("-g"), QStringLiteral("IP4.DNS"), QStringLiteral("device"), QStringLiteral("show"),
                        QStringLiteral("eth0")}),
                 QStringLiteral("192.0.2.53"));
    }

    // NetworkManager hands its DNS to systemd-resolved: the device's name goes on the link after
    // that hand-over, encrypted, and back on at the network's signal after the next hand-over
    // took it off.
    void deviceNameThroughResolved()
    {
        if (qEnvironmentVariableIsEmpty("NIMBREL_NM_SANDBOX_RESOLVED"))
            QSKIP("runs through nm-sandbox.sh --with-resolved");
        ApiTestBed bed;
        bed.startAsNewAccount();
        FakeClock clock; // the watchdog's minute never comes
        qputenv("PATH", qgetenv("PATH").replace(NIMBREL_FAKES_DIR ":", ""));
        const QString filter = QStringLiteral("10.10.0.1");
        QVERIFY(addConnection(QStringLiteral("Wired"), QStringLiteral("ethernet"), QStringLiteral("eth0"),
                              filter + QStringLiteral("/24"), QStringLiteral("192.0.2.53")));
        QCOMPARE(runProgram(QStringLiteral("nmcli"), {QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("Wired")}).exitCode, 0);
        QTRY_COMPARE(resolvedSays(QStringLiteral("dns"), QStringLiteral("eth0")), QStringLiteral("192.0.2.53"));
        DotFilter server;
        QString why;
        QVERIFY2(server.start(filter, qEnvironmentVariable("NIMBREL_NM_SANDBOX") + QStringLiteral("/ca"), &why), qPrintable(why));
        const DotFilter::Device &ada = server.devices[0], &bob = server.devices[1];

        // Ada's computer, protected when it starts; its account status names it.
        bed.answerSync({{QStringLiteral("id"), 7}, {QStringLiteral("dot_host"), ada.host}});
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setString(PrefKey::dotHost, ada.host);
        prefs.setBool(PrefKey::dnsLastStatus, true);
        DNSConfiguration::resetShared(nullptr, filter); // the system's backend
        NoPresenter presenter;
        AppDelegate delegate(nullptr, &presenter);
        delegate.systemLanguage = [] { return QStringLiteral("en"); };
        delegate.networkWatcher = makeNetworkChangeWatcher();
        delegate.applicationDidFinishLaunching();
        const auto named = [&](const QString &link) {
            return resolvedSays(QStringLiteral("dns"), link) == filter + QLatin1Char('#') + ada.host
                && resolvedSays(QStringLiteral("dnsovertls"), link) == QLatin1String("yes");
        };
        QVERIFY2(QTest::qWaitFor([&] { return named(QStringLiteral("eth0")); }, 15000),
                 qPrintable(resolvedSays(QStringLiteral("dns"), QStringLiteral("eth0"))));
        QTRY_VERIFY(DNSConfiguration::shared().encrypted());
        QTRY_COMPARE_WITH_TIMEOUT(lookUp(ada.blocked), QStringLiteral("not found"), 2000);
        QCOMPARE(lookUp(bob.blocked), QStringLiteral("192.0.2.10 encrypted"));

        // Another connection with DNS of its own comes up: NetworkManager hands every link's
        // settings over again, and its signal brings the name back, on both links.
        QVERIFY(addConnection(QStringLiteral("Home"), QStringLiteral("ethernet"), QStringLiteral("eth1"),
                              QStringLiteral("10.20.0.1/24"), QStringLiteral("192.0.2.54")));
        QCOMPARE(runProgram(QStringLiteral("nmcli"), {QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("Home")}).exitCode, 0);
        QVERIFY2(QTest::qWaitFor([&] { return named(QStringLiteral("eth0")) && named(QStringLiteral("eth1")); }, 15000),
                 qPrintable(resolvedSays(QStringLiteral("dns"), QStringLiteral("eth0"))));
        QCOMPARE(clock.pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});

        bool off = false;
        DNSConfiguration::shared().clearFromSwitch([&] { off = true; });
        QTRY_VERIFY_WITH_TIMEOUT(off, 15000);
        QTRY_COMPARE(resolvedSays(QStringLiteral("dns"), QStringLiteral("eth0")), QStringLiteral("192.0.2.53"));
        QVERIFY(bed.alerts.alerts.isEmpty());
        DNSConfiguration::resetShared();
    }
};

QTEST_MAIN(TestNetworkManager)
#include "tst_networkmanager.moc"
