// Against a real systemd-resolved, with systemd-networkd and without NetworkManager: the switch
// turns protection on and off through the backend the system picks, and resolvectl, asked
// directly, sees the filter with the "~." routing domain and then each link's own settings again.
// With a device name from the account, look-ups go over DNS over TLS to a real nimbrel-server,
// whose certificate systemd-resolved checks against the test's own authority.
// resolved-sandbox.sh provides the daemons, their private system bus and the links. It runs as
// root, and there is no polkit in there: resolved and networkd allow a root caller without asking.
#include "ApiTestBed.h"
#include "DotFilter.h"
#include "FilterDns.h"
#include "platform/ResolverBackend.h"
#include "platform/ShellRunner.h"
#include "protection/DNSConfiguration.h"

#include <QtTest>

namespace {
// The real resolvectl and nmcli, not the stand-ins the test environment puts first.
void useRealTools()
{
    qputenv("PATH", qgetenv("PATH").replace(NIMBREL_FAKES_DIR ":", ""));
}
} // namespace

class TestResolved : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Outside the sandbox resolvectl would reach the machine's own systemd-resolved.
        if (qEnvironmentVariableIsEmpty("NIMBREL_RESOLVED_SANDBOX"))
            QSKIP("runs only through tests/e2e/resolved-sandbox.sh, never against this machine's systemd-resolved");
    }

    void switchPointsTheLinksAtTheFilterAndGivesThemBack()
    {
        ApiTestBed bed;
        bed.startAsNewAccount();
        useRealTools();
        const QString filter = DNSConfiguration::defaultAddress();
        // The switch asks the filter before changing anything.
        FilterDns filterDns;
        QString why;
        QVERIFY2(filterDns.start(filter, &why), qPrintable(why));

        // eth0 is networkd's, with settings of its own; wlan0 has none.
        struct Link {
            QString name, dns, domain;
        };
        const QList<Link> links{
            {QStringLiteral("eth0"),
             QStringLiteral("192.0.2.53 198.51.100.53 2001:db8:1::53 2001:db8:2::53 2001:db8:3::53"),
             QStringLiteral("home.lan")},
            {QStringLiteral("wlan0"), QString(), QString()}};
        for (const Link &link : links) {
            QCOMPARE(resolvedSays(QStringLiteral("dns"), link.name), link.dns);
            QCOMPARE(resolvedSays(QStringLiteral("domain"), link.name), link.domain);
        }

        // The backend reads all of a long list, not only its first line.
        const std::unique_ptr<ResolverBackend> backend = makeResolverBackend();
        backend->listServices();
        QCOMPARE(backend->readServers(networkservices::Ethernet).output,
                 QString(links[0].dns).replace(' ', '\n') + '\n');

        DNSConfiguration::resetShared(); // the system's backend
        DNSConfiguration &dns = DNSConfiguration::shared();

        // Outcomes may arrive later, from the event loop; wall-clock deadlines.
        bool on = false, finished = false;
        dns.applyFromSwitch([&] { on = true; }, [&](const DnsOutcome &) { finished = true; });
        QVERIFY(QTest::qWaitFor([&] { return finished; }, 10000));
        QVERIFY2(on, qPrintable(bed.log.lines.join(QLatin1Char('\n'))));
        QVERIFY(bed.log.contains(QStringLiteral("DNS settings through systemd-resolved")));
        QCOMPARE(dns.availableServices, (QList<networkservices>{networkservices::Ethernet, networkservices::WiFi}));
        for (const Link &link : links) {
            QCOMPARE(resolvedSays(QStringLiteral("dns"), link.name), filter);
            QCOMPARE(resolvedSays(QStringLiteral("domain"), link.name), QStringLiteral("~."));
        }

        bool off = false;
        std::optional<DnsOutcome> cleared;
        dns.clearFromSwitch([&] { off = true; }, [&](const DnsOutcome &o) { cleared = o; });
        QVERIFY(QTest::qWaitFor([&] { return cleared.has_value(); }, 10000));
        QVERIFY2(off, qPrintable(bed.log.lines.join(QLatin1Char('\n'))));
        for (const Link &link : links) {
            QCOMPARE(resolvedSays(QStringLiteral("dns"), link.name), link.dns);
            QCOMPARE(resolvedSays(QStringLiteral("domain"), link.name), link.domain);
        }
        QVERIFY(bed.alerts.alerts.isEmpty());
        DNSConfiguration::resetShared();
    }

    // Two accounts' devices behind one address (the same link, the same source): each device's
    // name gets its own account's lists over DNS over TLS, and a name dies with its session.
    void deviceNameGetsItsOwnListsOverTls()
    {
        ApiTestBed bed;
        bed.startAsNewAccount(); // the switch tells the account
        useRealTools();
        // On eth0's own address: systemd-resolved sends each link's look-ups out of that link.
        const QString filter = QStringLiteral("10.10.0.1");
        DotFilter server;
        QString why;
        QVERIFY2(server.start(filter, qEnvironmentVariable("NIMBREL_RESOLVED_SANDBOX") + QStringLiteral("/ca"), &why),
                 qPrintable(why));
        const QList<DotFilter::Device> &devices = server.devices;

        // Ada's computer: the switch, then the watchdog once the account gave another name.
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setString(PrefKey::dotHost, devices[0].host);
        DNSConfiguration dns(makeResolverBackend(), filter);
        bool finished = false;
        dns.applyFromSwitch([] {}, [&](const DnsOutcome &) { finished = true; });
        QVERIFY(QTest::qWaitFor([&] { return finished; }, 10000));
        prefs.setBool(PrefKey::dnsLastStatus, true);
        for (int turn = 0; turn < 2; ++turn) {
            const DotFilter::Device &self = devices[turn], &other = devices[1 - turn];
            if (turn == 1) {
                prefs.setString(PrefKey::dotHost, self.host);
                bool applied = false;
                dns.checkFromWatchdog({}, [&](const QStringList &) { applied = true; });
                QVERIFY(QTest::qWaitFor([&] { return applied; }, 10000));
            }
            QCOMPARE(resolvedSays(QStringLiteral("dns"), QStringLiteral("eth0")), filter + QLatin1Char('#') + self.host);
            QCOMPARE(resolvedSays(QStringLiteral("dnsovertls"), QStringLiteral("eth0")), QStringLiteral("yes"));
            QVERIFY(dns.encrypted());
            // A block reaches the filter within a second of its request.
            QTRY_COMPARE_WITH_TIMEOUT(lookUp(self.blocked), QStringLiteral("not found"), 2000);
            QCOMPARE(lookUp(other.blocked), QStringLiteral("192.0.2.10 encrypted"));
        }

        // Bob signs out: his name gets nothing any more, not even the names nobody blocks, once
        // the filter heard of it (within a second).
        QVERIFY(server.logOut(devices[1]));
        QTRY_VERIFY_WITH_TIMEOUT(!lookUp(QStringLiteral("anything.test")).startsWith(QLatin1String("192.0.2.10")), 5000);

        finished = false;
        dns.clearFromSwitch([] {}, [&](const DnsOutcome &) { finished = true; });
        QVERIFY(QTest::qWaitFor([&] { return finished; }, 10000));
        QCOMPARE(resolvedSays(QStringLiteral("dns"), QStringLiteral("eth0")).contains(filter), false);
        QVERIFY(bed.alerts.alerts.isEmpty());
    }
};

QTEST_MAIN(TestResolved)
#include "tst_resolved.moc"
