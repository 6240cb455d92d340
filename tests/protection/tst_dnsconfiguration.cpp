// DNS switching through the real shell runner and a fake networksetup on PATH.
#include "ApiTestBed.h"
#include "DnsTestSupport.h"
#include "FilterDns.h"
#include "LogCapture.h"
#include "Settle.h"
#include "TestEnvironment.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/DNSConfiguration.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <optional>

namespace {
const QString filter = QStringLiteral("127.0.2.53");
}

class TestDNSConfiguration : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApiTestBed> bed;
    TestEnvironment *env = nullptr;

    // The server answers the account status and the sign-out like the real one.
    void connectServer(bool signOutAccepted = true)
    {
        bed->startAsNewAccount();
        if (!signOutAccepted)
            bed->server.answer(QStringLiteral("logout"), 200, R"({"status":false,"code":200,"msg":"No","version":"3.0","data":[]})");
    }
    int syncs() const { return bed->requestsTo(QStringLiteral("sync-url")); }

    void services(const QStringList &lines)
    {
        env->writeFile(QStringLiteral("fake-state/networksetup/services"), lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    void servers(const QString &service, const QStringList &addresses)
    {
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/") + service,
                       addresses.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    QStringList serversOf(const QString &service) const
    {
        return env->readFile(QStringLiteral("fake-state/networksetup/dns/") + service).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void deny() { env->writeFile(QStringLiteral("fake-state/networksetup/deny"), {}); }
    QStringList calls() const
    {
        return env->readFile(QStringLiteral("fake-state/networksetup/calls")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int setCalls() const
    {
        const QStringList all = calls();
        return int(std::count_if(all.begin(), all.end(), [](const QString &c) { return c.startsWith(QLatin1String("-setdnsservers")); }));
    }
    std::unique_ptr<DNSConfiguration> make(const QString &address = filter)
    {
        return std::make_unique<DNSConfiguration>(std::make_unique<NetworkSetupResolver>(), address);
    }

    std::unique_ptr<FilterDns> filterDns;

    // The outcome of one piece of work, waited for on the event loop.
    static bool outcome(const std::function<void(std::function<void(bool)>)> &ask)
    {
        std::optional<bool> result;
        ask([&](bool ok) { result = ok; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 10000))
            QTest::qFail("the outcome never came", __FILE__, __LINE__);
        return result.value_or(false);
    }
    static bool apply(DNSConfiguration &dns) { return outcome([&](auto done) { dns.applyFilteringDns(done); }); }
    static bool clear(DNSConfiguration &dns) { return outcome([&](auto done) { dns.clearFilteringDns(done); }); }
    static bool check(DNSConfiguration &dns) { return outcome([&](auto done) { dns.checkDnsConfigured(done); }); }

    // Waits for the switch's outcome: true when it turned protection on.
    bool switchOn(DNSConfiguration &dns)
    {
        bool on = false, finished = false;
        dns.applyFromSwitch([&] { on = true; }, [&] { finished = true; });
        if (!QTest::qWaitFor([&] { return finished; }, 5000))
            qWarning("the switch never finished");
        return on;
    }

private slots:
    void initTestCase()
    {
        filterDns = std::make_unique<FilterDns>();
        QString why;
        QVERIFY2(filterDns->start(filter, &why), qPrintable(why));
    }

    void init()
    {
        bed = std::make_unique<ApiTestBed>();
        env = &bed->env;
    }
    void cleanup() { bed.reset(); }

    void discoversOnlyExactServiceNames_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QList<networkservices>>("found");
        using S = networkservices;
        QTest::newRow("all three") << QStringList{"Ethernet", "Wi-Fi", "Thunderbolt Bridge"}
                                   << QList<S>{S::Ethernet, S::WiFi, S::Thunderbolt};
        QTest::newRow("disabled service has an asterisk") << QStringList{"*Ethernet", "Wi-Fi"} << QList<S>{S::WiFi};
        QTest::newRow("other services and case") << QStringList{"USB 10/100/1000 LAN", "wi-fi", "Bluetooth PAN", "Thunderbolt Bridge"}
                                                 << QList<S>{S::Thunderbolt};
        QTest::newRow("listed twice, kept in order") << QStringList{"Wi-Fi", "Ethernet", "Wi-Fi"} << QList<S>{S::WiFi, S::Ethernet, S::WiFi};
        QTest::newRow("carriage returns") << QStringList{"Ethernet\r", "\rWi-Fi"} << QList<S>{S::Ethernet, S::WiFi};
        QTest::newRow("heading only") << QStringList{} << QList<S>{};
    }
    void discoversOnlyExactServiceNames()
    {
        QFETCH(QStringList, listed);
        QFETCH(QList<networkservices>, found);
        services(listed);
        LogCapture log;
        auto dns = make();
        QTRY_VERIFY(dns->availableServicesString.startsWith(QLatin1String("An asterisk (*) denotes")));
        QCOMPARE(dns->availableServices, found);
        // The heading line is logged and recognised as no service.
        QCOMPARE(log.lines.value(0), QStringLiteral("An asterisk (*) denotes that a network service is disabled."));
        QCOMPARE(log.lines.value(1), QStringLiteral("This network does not have any services"));
        QVERIFY(calls().contains(QStringLiteral("-listallnetworkservices")));
    }

    void applyAndClearAreVerifiedOnTheServicesFound_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<int>("setCommands");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("three services") << QStringList{"Ethernet", "Wi-Fi", "Thunderbolt Bridge"} << false << true << 3 << true;
        QTest::newRow("two without Thunderbolt") << QStringList{"Ethernet", "Wi-Fi"} << false << true << 2 << true;
        // A computer without Ethernet can still be protected.
        QTest::newRow("Wi-Fi and Thunderbolt only") << QStringList{"Wi-Fi", "Thunderbolt Bridge"} << false << true << 2 << true;
        QTest::newRow("Wi-Fi only") << QStringList{"Wi-Fi"} << false << true << 1 << true;
        // With no service there is nothing protected, and nothing left to clear.
        QTest::newRow("no service") << QStringList{} << false << false << 0 << true;
        QTest::newRow("change refused") << QStringList{"Ethernet", "Wi-Fi"} << true << false << 2 << true;
    }
    void applyAndClearAreVerifiedOnTheServicesFound()
    {
        QFETCH(QStringList, listed);
        QFETCH(bool, refused);
        QFETCH(bool, applied);
        QFETCH(int, setCommands);
        QFETCH(bool, cleared);
        services(listed);
        if (refused)
            deny();
        auto dns = make();
        QCOMPARE(apply(*dns), applied);
        QCOMPARE(setCalls(), setCommands);
        for (const QString &service : listed)
            QCOMPARE(serversOf(service).contains(filter), applied);
        QCOMPARE(check(*dns), applied);
        QCOMPARE(clear(*dns), cleared);
        for (const QString &service : listed)
            QVERIFY(serversOf(service).isEmpty());
    }

    void commandLinesReachTheToolAsWords()
    {
        services({"Ethernet", "Wi-Fi", "Thunderbolt Bridge"});
        auto dns = make();
        apply(*dns);
        clear(*dns);
        const QStringList c = calls();
        for (const QString &expected : {"-setdnsservers|Ethernet|" + filter, "-setdnsservers|Wi-Fi|" + filter,
                                        "-setdnsservers|Thunderbolt Bridge|" + filter, QStringLiteral("-setdnsservers|Thunderbolt Bridge|Empty"),
                                        QStringLiteral("-getdnsservers|Thunderbolt Bridge"), QStringLiteral("-setdnsservers|Wi-Fi|Empty")})
            QVERIFY2(c.contains(expected), qPrintable(expected + " not in " + c.join(QLatin1Char(' '))));
    }

    void alreadyConfiguredSkipsTheSetCommandsButStillVerifies()
    {
        services({"Ethernet", "Wi-Fi"});
        servers(QStringLiteral("Ethernet"), {"8.8.8.8", filter}); // substring match among other servers
        servers(QStringLiteral("Wi-Fi"), {filter});
        auto dns = make();
        QVERIFY(check(*dns));
        LogCapture log;
        QVERIFY(apply(*dns));
        QVERIFY(log.contains(QStringLiteral("already cinfigured")));
        QCOMPARE(setCalls(), 0);
        QVERIFY(calls().last().startsWith(QLatin1String("-getdnsservers")));
    }

    void addressesAreComparedAsAddresses_data()
    {
        QTest::addColumn<QString>("filterAddress");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<bool>("configured");
        QTest::newRow("127.0.0.10 is not 127.0.0.1") << "127.0.0.1" << QStringList{"127.0.0.10"} << false;
        QTest::newRow("prefix of another address") << "10.0.0.5" << QStringList{"110.0.0.53"} << false;
        QTest::newRow("among other servers") << "127.0.0.1" << QStringList{"9.9.9.9", "127.0.0.1"} << true;
        QTest::newRow("IPv6 written out in full") << "fd00::53" << QStringList{"fd00:0:0:0:0:0:0:53"} << true;
    }
    void addressesAreComparedAsAddresses()
    {
        QFETCH(QString, filterAddress);
        QFETCH(QStringList, listed);
        QFETCH(bool, configured);
        services({"Wi-Fi"});
        servers(QStringLiteral("Wi-Fi"), listed);
        QCOMPARE(check(*make(filterAddress)), configured);
    }

    // A network joined after start-up is found at the next change or check.
    void servicesAreDiscoveredAtEveryApplyClearAndCheck()
    {
        services({});
        auto dns = make();
        QTRY_VERIFY(!dns->availableServicesString.isEmpty());
        QVERIFY(dns->availableServices.isEmpty());
        services({"Wi-Fi"});
        QVERIFY(apply(*dns));
        QCOMPARE(serversOf(QStringLiteral("Wi-Fi")), QStringList{filter});
        services({"Wi-Fi", "Ethernet"});
        QVERIFY(!check(*dns));
        QVERIFY(apply(*dns));
        QCOMPARE(serversOf(QStringLiteral("Ethernet")), QStringList{filter});
        services({"Ethernet"});
        servers(QStringLiteral("Wi-Fi"), {"9.9.9.9"});
        QVERIFY(check(*dns)); // Wi-Fi is gone and no longer counts
        QVERIFY(clear(*dns));
        QVERIFY(serversOf(QStringLiteral("Ethernet")).isEmpty());
    }

    // NetworkManager where it runs, systemd-resolved where it does not, and a clear word when neither is there.
    void theSystemBackendFollowsWhatRuns_data()
    {
        QTest::addColumn<bool>("networkManager");
        QTest::addColumn<bool>("resolved");
        QTest::addColumn<QString>("changed"); // the fake whose state holds the filter; empty: none
        QTest::newRow("NetworkManager") << true << true << "nmcli";
        QTest::newRow("systemd-resolved only") << false << true << "resolvectl";
        QTest::newRow("neither") << false << false << "";
    }
    void theSystemBackendFollowsWhatRuns()
    {
        QFETCH(bool, networkManager);
        QFETCH(bool, resolved);
        QFETCH(QString, changed);
        // NetworkManager: one active Wi-Fi connection; systemd-resolved: one Wi-Fi link.
        const QString nm = QStringLiteral("fake-state/nmcli/");
        env->writeFile(nm + QLatin1String("active"), "uuid-wifi\n");
        for (const auto &[file, value] : {std::pair{"name", "Home"}, {"type", "802-11-wireless"}, {"device", "wlan0"},
                                          {"ipv4.dns", ""}, {"ipv4.ignore-auto-dns", "no"}, {"ipv6.dns", ""},
                                          {"ipv6.ignore-auto-dns", "no"}, {"auto-ipv4-dns", "10.0.0.1"}})
            env->writeFile(nm + QLatin1String("connections/uuid-wifi/") + QLatin1String(file), value);
        if (!networkManager)
            env->writeFile(nm + QLatin1String("not-running"), "");
        env->writeFile(QStringLiteral("fake-state/resolvectl/links"), "wlan0\n");
        env->writeFile(QStringLiteral("fake-state/resolvectl/links.d/wlan0/dns"), "10.0.0.1");
        if (!resolved)
            env->writeFile(QStringLiteral("fake-state/resolvectl/not-running"), "");

        DNSConfiguration dns(makeResolverBackend(), filter);
        QCOMPARE(apply(dns), !changed.isEmpty());
        QCOMPARE(env->readFile(nm + QLatin1String("devices/wlan0/ip4-dns")).contains(filter), changed == QLatin1String("nmcli"));
        QCOMPARE(env->readFile(QStringLiteral("fake-state/resolvectl/links.d/wlan0/dns")) == filter,
                 changed == QLatin1String("resolvectl"));
        if (changed.isEmpty()) {
            connectServer();
            dns.applyOnStartup();
            QTRY_COMPARE(bed->alerts.alerts.value(0).second,
                     QStringLiteral("The network settings cannot be changed: neither NetworkManager nor systemd-resolved is available."));
        } else {
            QVERIFY(clear(dns));
        }
    }

    // Two wired networks at once: a service uses the filter only when each of them does, and
    // is clear only when none does.
    void everyConnectionOfAServiceCounts()
    {
        const QString nm = QStringLiteral("fake-state/nmcli/");
        env->writeFile(nm + QLatin1String("active"), "uuid-a\nuuid-b\n");
        for (const auto &[uuid, device] : {std::pair{"uuid-a", "eth0"}, {"uuid-b", "eth1"}}) {
            const QString dir = nm + QLatin1String("connections/") + QLatin1String(uuid) + QLatin1Char('/');
            for (const auto &[file, value] : {std::pair{"name", uuid}, {"type", "802-3-ethernet"}, {"device", device},
                                              {"ipv4.dns", ""}, {"ipv4.ignore-auto-dns", "no"}, {"ipv6.dns", ""},
                                              {"ipv6.ignore-auto-dns", "no"}, {"auto-ipv4-dns", "10.0.0.1"}})
                env->writeFile(dir + QLatin1String(file), value);
        }
        const auto deviceDns = [&](const char *device) {
            return nm + QLatin1String("devices/") + QLatin1String(device) + QLatin1String("/ip4-dns");
        };
        env->writeFile(deviceDns("eth0"), filter.toUtf8() + '\n');
        env->writeFile(deviceDns("eth1"), "10.0.0.1\n"); // joined later, with its own DNS
        DNSConfiguration dns(makeResolverBackend(), filter);
        QVERIFY(!check(dns));
        QVERIFY(apply(dns));
        QCOMPARE(env->readFile(deviceDns("eth1")), filter + '\n');

        env->writeFile(nm + QLatin1String("deny"), "");
        env->writeFile(deviceDns("eth0"), "10.0.0.1\n");
        QVERIFY(!clear(dns)); // eth1 still uses it
    }

    void clearFailsWhileAnyServiceStillUsesTheFilter()
    {
        services({"Ethernet", "Wi-Fi", "Thunderbolt Bridge"});
        auto dns = make();
        QVERIFY(apply(*dns));
        deny();
        // Wi-Fi alone still on the filter must not pass for cleared.
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "8.8.8.8\n");
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Thunderbolt Bridge"), "");
        QVERIFY(!clear(*dns));
    }

    void descriptionLabelsEachService()
    {
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        // The servers the watchdog reads for its log.
        auto description = [](DNSConfiguration &dns) {
            std::optional<QStringList> read;
            dns.checkFromWatchdog([&](bool, const QStringList &d) { read = d; }, {});
            if (!QTest::qWaitFor([&] { return read.has_value(); }, 10000))
                QTest::qFail("the watchdog never checked", __FILE__, __LINE__);
            return read.value_or(QStringList());
        };
        services({"Ethernet", "Wi-Fi"});
        servers(QStringLiteral("Ethernet"), {"1.1.1.1"});
        auto dns = make();
        QCOMPARE(description(*dns),
                 (QStringList{"1.1.1.1\n (Ethernet)", "There aren't any DNS Servers set on Wi-Fi.\n (Wi-Fi)"}));
        services({"Ethernet", "Wi-Fi", "Thunderbolt Bridge"});
        auto withBridge = make();
        const QStringList three = description(*withBridge);
        QCOMPARE(three.size(), 3);
        QVERIFY(three.last().endsWith(QLatin1String(" (Thunderbolt)")));
    }

    void switchVariants()
    {
        services({"Ethernet", "Wi-Fi"});
        connectServer();
        AlertRecorder &alerts = bed->alerts;
        PreferencesStore &prefs = PreferencesStore::shared();
        auto dns = make();
        bool screenOn = switchOn(*dns);
        QVERIFY(screenOn);
        QVERIFY(prefs.boolForKey(PrefKey::dnsLastStatus));
        QTRY_COMPARE(syncs(), 1);

        dns->clearFromSwitch([&] { screenOn = false; });
        QTRY_VERIFY(!screenOn);
        QVERIFY(!prefs.boolForKey(PrefKey::dnsLastStatus));
        QVERIFY(alerts.alerts.isEmpty());

        deny();
        LogCapture log;
        QVERIFY(!switchOn(*dns));
        QVERIFY(!prefs.boolForKey(PrefKey::dnsLastStatus));
        settle();
        QCOMPARE(syncs(), 1);
        QCOMPARE(alerts.alerts, (QList<QPair<QString, QString>>{{"Ooops", "Requires admin privileges"}}));
        QVERIFY(log.contains(QStringLiteral("found error in starting protaction")));
    }

    // Only the filter's own answer to a fresh probe name lets the switch change the system.
    void switchAsksTheFilterFirst_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::newRow("live filter") << "filter";
        QTest::newRow("nothing listens") << "dead";
        QTest::newRow("resolver without the probe record") << "dnsmasq";
    }
    void switchAsksTheFilterFirst()
    {
        QFETCH(QString, peer);
        services({"Ethernet"});
        connectServer();
        DnsTest::Dnsmasq dnsmasq;
        auto dns = make(peer == QLatin1String("dnsmasq") ? QStringLiteral("127.0.0.1") : filter);
        if (peer == QLatin1String("dead")) {
            QUdpSocket closed;
            QVERIFY(closed.bind(QHostAddress(filter), 0));
            dns->filterPort = closed.localPort();
        } else if (peer == QLatin1String("dnsmasq")) {
            if (DnsTest::Dnsmasq::binary().isEmpty())
                QSKIP("dnsmasq is not installed (dnsmasq-base)");
            QString why;
            QVERIFY2(dnsmasq.start(&why), qPrintable(why));
            dns->filterPort = dnsmasq.port();
        }
        const bool live = peer == QLatin1String("filter");
        QCOMPARE(switchOn(*dns), live);
        QCOMPARE(setCalls(), live ? 1 : 0);
        QCOMPARE(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus), live);
        if (!live)
            QCOMPARE(bed->alerts.alerts,
                     (QList<QPair<QString, QString>>{
                         {"Ooops", "The filtering service cannot be reached, so protection was not turned on."}}));
    }

    void switchOffFailureKeepsProtectionOn()
    {
        services({"Ethernet"});
        connectServer();
        AlertRecorder &alerts = bed->alerts;
        auto dns = make();
        bool screenOn = switchOn(*dns);
        deny();
        LogCapture log;
        bool finished = false;
        dns->clearFromSwitch([&] { screenOn = false; }, [&] { finished = true; });
        QTRY_VERIFY(finished);
        QVERIFY(screenOn);
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
        QCOMPARE(alerts.alerts.size(), 1);
        QVERIFY(log.contains(QStringLiteral("found error in close protaction")));
    }

    void uninstallAndVerifiedVariants()
    {
        services({"Ethernet", "Wi-Fi"});
        connectServer();
        AlertRecorder &alerts = bed->alerts;
        auto dns = make();

        // Uninstall: screen off, protection off for good, then the rest of the uninstall.
        QVERIFY(apply(*dns));
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        bool screenOff = false, cleared = false;
        dns->clearForUninstall([&] { screenOff = true; }, [&] { cleared = true; });
        QTRY_VERIFY(cleared);
        QVERIFY(screenOff);
        QVERIFY(!PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));

        // Verified turn-off reports success to its caller.
        QVERIFY(apply(*dns));
        QList<bool> results;
        dns->clearForVerifiedTurnOff([&](bool ok) { results.append(ok); });
        QTRY_COMPARE(results, QList<bool>{true});

        // Failures: the verified sign-out stays silent, the others alert and stop.
        QVERIFY(apply(*dns));
        deny();
        LogCapture log;
        dns->clearForVerifiedSignOut([] {});
        check(*dns); // asked after it, so answered after it
        QVERIFY(alerts.alerts.isEmpty());
        QVERIFY(log.lines.filter(QStringLiteral("found error")).isEmpty());
        settle();
        QCOMPARE(bed->requestsTo(QStringLiteral("logout")), 0);

        dns->clearForVerifiedTurnOff([&](bool ok) { results.append(ok); });
        QTRY_COMPARE(alerts.alerts.size(), 1);
        QCOMPARE(results.size(), 1);
        cleared = false;
        dns->clearForUninstall([&] { screenOff = false; }, [&] { cleared = true; });
        QTRY_COMPARE(alerts.alerts.size(), 2);
        QVERIFY(screenOff);
        QVERIFY(!cleared);
        settle();
        QCOMPARE(bed->requestsTo(QStringLiteral("logout")), 0);
    }

    void startupAndWatchdogVariants()
    {
        services({"Ethernet"});
        connectServer();
        AlertRecorder &alerts = bed->alerts;
        auto dns = make();
        dns->applyOnStartup();
        QTRY_COMPARE(syncs(), 1);
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        QList<bool> checks;
        int watchdogSuccess = 0;
        auto tick = [&] {
            dns->checkFromWatchdog([&](bool configured, const QStringList &) { checks << configured; },
                                   [&](const QStringList &) { ++watchdogSuccess; });
        };
        servers(QStringLiteral("Ethernet"), {"9.9.9.9"});
        tick(); // reads before it re-applies
        QTRY_COMPARE(checks, QList<bool>{false});
        QCOMPARE(watchdogSuccess, 1);
        QCOMPARE(serversOf(QStringLiteral("Ethernet")), QStringList{filter});

        servers(QStringLiteral("Ethernet"), {"9.9.9.9"});
        deny();
        LogCapture log;
        dns->applyOnStartup();
        tick();
        QTRY_COMPARE(alerts.alerts.size(), 2);
        QCOMPARE(checks, (QList<bool>{false, false}));
        QCOMPARE(watchdogSuccess, 1);
        settle();
        QCOMPARE(syncs(), 1);
        QCOMPARE(log.lines.filter(QStringLiteral("found error in starting protaction")).size(), 2);
    }

    // The window's thread keeps running while a change takes a second, and work asked back to
    // back runs in the order asked, its outcome delivered on the window's thread.
    void slowChangesRunOffTheWindowThreadInOrder()
    {
        services({"Ethernet"});
        auto dns = make();
        env->writeFile(QStringLiteral("fake-state/networksetup/slow"), "1");
        QStringList outcomes;
        bool onMainThread = true;
        auto record = [&](const QString &what) {
            return [&, what](bool ok) {
                onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
                outcomes << what + (ok ? QLatin1String(" done") : QLatin1String(" failed"));
            };
        };
        QElapsedTimer sinceLast;
        qint64 longestGap = 0;
        QTimer beat;
        beat.setInterval(1);
        connect(&beat, &QTimer::timeout, &beat, [&] { longestGap = std::max(longestGap, sinceLast.restart()); });
        sinceLast.start();
        beat.start();
        dns->applyFilteringDns(record(QStringLiteral("apply")));
        dns->clearFilteringDns(record(QStringLiteral("clear")));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 2, 10000);
        beat.stop();
        QCOMPARE(outcomes, (QStringList{"apply done", "clear done"}));
        QVERIFY(onMainThread);
        QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(longestGap)));
        QCOMPARE(calls().filter(QStringLiteral("-setdnsservers")),
                 (QStringList{"-setdnsservers|Ethernet|" + filter, QStringLiteral("-setdnsservers|Ethernet|Empty")}));
        QVERIFY(serversOf(QStringLiteral("Ethernet")).isEmpty());

        // Gone (the application quits) while a change runs: that command ends, the rest of the
        // work is dropped and nothing is delivered.
        bool delivered = false;
        dns->applyFilteringDns([&](bool) { delivered = true; });
        dns->clearFilteringDns([&](bool) { delivered = true; });
        QTRY_COMPARE(calls().filter(QStringLiteral("-setdnsservers")).size(), 3);
        dns.reset();
        QCoreApplication::processEvents();
        QVERIFY(!delivered);
        QCOMPARE(calls().filter(QStringLiteral("-setdnsservers")).size(), 3);
    }

    // A tick waits for the work asked before it and then decides afresh; ticks waiting meanwhile
    // come down to the latest one.
    void watchdogTicksWaitForEarlierWorkAndCoalesce()
    {
        services({"Ethernet"});
        connectServer();
        auto dns = make();
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        env->writeFile(QStringLiteral("fake-state/networksetup/slow"), "0.3");
        QStringList ticks;
        auto tick = [&](const QString &name) {
            dns->checkFromWatchdog([&, name](bool, const QStringList &) { ticks << name; }, {});
        };
        dns->applyFilteringDns([](bool) {}); // slow: the ticks wait behind it
        tick(QStringLiteral("first"));
        tick(QStringLiteral("second"));
        tick(QStringLiteral("third"));
        QTRY_COMPARE(ticks, QStringList{"third"});
        tick(QStringLiteral("fourth"));
        QTRY_COMPARE(ticks, (QStringList{"third", "fourth"}));

        // Switched off before the tick was asked: the tick must not put the filter back.
        bool off = false;
        dns->clearFromSwitch([] {}, [&] { off = true; });
        tick(QStringLiteral("after switch-off"));
        QTRY_VERIFY(off);
        check(*dns); // anything dispatched before it has run by now
        QCOMPARE(ticks, (QStringList{"third", "fourth"}));
        QVERIFY(serversOf(QStringLiteral("Ethernet")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDNSConfiguration)
#include "tst_dnsconfiguration.moc"
