// Against a real systemd-resolved, with systemd-networkd and without NetworkManager: the switch
// turns protection on and off through the backend the system picks, and resolvectl, asked
// directly, sees the filter with the "~." routing domain and then each link's own settings again.
// resolved-sandbox.sh provides the daemons, their private system bus and the links. It runs as
// root, and there is no polkit in there: resolved and networkd allow a root caller without asking.
#include "ApiTestBed.h"
#include "FilterDns.h"
#include "platform/ResolverBackend.h"
#include "platform/ShellRunner.h"
#include "protection/DNSConfiguration.h"

#include <QtTest>

namespace {
// What systemd-resolved holds for a link ("dns" or "domain"), asked by resolvectl itself.
QString resolved(const QString &what, const QString &link)
{
    const ProcessResult r = runProgram(QStringLiteral("resolvectl"), {what, link});
    // simplified(): a long list goes on over indented lines.
    return r.exitCode == 0 ? r.output.simplified().section(QStringLiteral("): "), 1)
                           : QStringLiteral("resolvectl failed: ") + r.output;
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
        // The real resolvectl and nmcli, not the stand-ins the test environment puts first.
        qputenv("PATH", qgetenv("PATH").replace(NIMBREL_FAKES_DIR ":", ""));
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
            QCOMPARE(resolved(QStringLiteral("dns"), link.name), link.dns);
            QCOMPARE(resolved(QStringLiteral("domain"), link.name), link.domain);
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
            QCOMPARE(resolved(QStringLiteral("dns"), link.name), filter);
            QCOMPARE(resolved(QStringLiteral("domain"), link.name), QStringLiteral("~."));
        }

        bool off = false;
        std::optional<DnsOutcome> cleared;
        dns.clearFromSwitch([&] { off = true; }, [&](const DnsOutcome &o) { cleared = o; });
        QVERIFY(QTest::qWaitFor([&] { return cleared.has_value(); }, 10000));
        QVERIFY2(off, qPrintable(bed.log.lines.join(QLatin1Char('\n'))));
        for (const Link &link : links) {
            QCOMPARE(resolved(QStringLiteral("dns"), link.name), link.dns);
            QCOMPARE(resolved(QStringLiteral("domain"), link.name), link.domain);
        }
        QVERIFY(bed.alerts.alerts.isEmpty());
        DNSConfiguration::resetShared();
    }
};

QTEST_MAIN(TestResolved)
#include "tst_resolved.moc"
