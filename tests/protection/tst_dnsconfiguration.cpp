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
#include "protection/ProtectionAlerts.h"

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

    // An active NetworkManager connection for the fake nmcli: its profile (ipv4.dns,
    // ipv4.ignore-auto-dns, ipv6.dns, ipv6.ignore-auto-dns), what its network hands out, and
    // the servers its device uses now.
    void nmConnection(const QString &uuid, const QString &type, const QString &device, const QStringList &profile,
                      const QString &auto4, const QStringList &live4, const QStringList &live6 = {})
    {
        const QString nm = QStringLiteral("fake-state/nmcli/");
        const QString dir = nm + QLatin1String("connections/") + uuid + QLatin1Char('/');
        const QStringList keys = {"ipv4.dns", "ipv4.ignore-auto-dns", "ipv6.dns", "ipv6.ignore-auto-dns"};
        for (int i = 0; i < keys.size(); ++i)
            env->writeFile(dir + keys.at(i), profile.at(i).toUtf8());
        for (const auto &[file, value] : {std::pair{"name", uuid}, {"type", type}, {"device", device}, {"auto-ipv4-dns", auto4}})
            env->writeFile(dir + QLatin1String(file), value.toUtf8());
        env->writeFile(nm + QLatin1String("devices/") + device + QLatin1String("/ip4-dns"), live4.join(QLatin1Char('\n')).toUtf8() + '\n');
        env->writeFile(nm + QLatin1String("devices/") + device + QLatin1String("/ip6-dns"), live6.join(QLatin1Char('\n')).toUtf8() + '\n');
        env->writeFile(nm + QLatin1String("active"), env->readFile(nm + QLatin1String("active")).toUtf8() + uuid.toUtf8() + '\n');
    }
    QString nmProfile(const QString &uuid, const QString &key) const
    {
        return env->readFile(QStringLiteral("fake-state/nmcli/connections/") + uuid + QLatin1Char('/') + key);
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
    static DnsOutcome change(const std::function<void(DNSConfiguration::Done)> &ask)
    {
        std::optional<DnsOutcome> result;
        ask([&](const DnsOutcome &o) { result = o; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 10000))
            QTest::qFail("the outcome never came", __FILE__, __LINE__);
        return result.value_or(DnsOutcome{});
    }
    static DnsOutcome applied(DNSConfiguration &dns) { return change([&](auto done) { dns.applyFilteringDns(done); }); }
    static bool apply(DNSConfiguration &dns) { return applied(dns).ok(); }
    static bool clear(DNSConfiguration &dns) { return change([&](auto done) { dns.clearFilteringDns(done); }).ok(); }
    static bool check(DNSConfiguration &dns) { return outcome([&](auto done) { dns.checkDnsConfigured(done); }); }

    // Waits for the switch's outcome: true when it turned protection on.
    bool switchOn(DNSConfiguration &dns, DnsOutcome *outcome = nullptr)
    {
        bool on = false, finished = false;
        dns.applyFromSwitch([&] { on = true; }, [&](const DnsOutcome &o) {
            finished = true;
            if (outcome)
                *outcome = o;
        });
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
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("setCommands");
        using O = DnsOutcome;
        QTest::newRow("three services") << QStringList{"Ethernet", "Wi-Fi", "Thunderbolt Bridge"} << false << int(O::applied) << 3;
        QTest::newRow("two without Thunderbolt") << QStringList{"Ethernet", "Wi-Fi"} << false << int(O::applied) << 2;
        // A computer without Ethernet can still be protected.
        QTest::newRow("Wi-Fi and Thunderbolt only") << QStringList{"Wi-Fi", "Thunderbolt Bridge"} << false << int(O::applied) << 2;
        QTest::newRow("Wi-Fi only") << QStringList{"Wi-Fi"} << false << int(O::applied) << 1;
        // Offline: nothing to protect, which is not a failure, and nothing left to clear.
        QTest::newRow("no service") << QStringList{} << false << int(O::noConnection) << 0;
        QTest::newRow("change refused") << QStringList{"Ethernet", "Wi-Fi"} << true << int(O::refused) << 2;
    }
    void applyAndClearAreVerifiedOnTheServicesFound()
    {
        QFETCH(QStringList, listed);
        QFETCH(bool, refused);
        QFETCH(int, outcome);
        QFETCH(int, setCommands);
        services(listed);
        if (refused)
            deny();
        auto dns = make();
        QCOMPARE(int(applied(*dns).kind), outcome);
        QCOMPARE(setCalls(), setCommands);
        const bool on = outcome == DnsOutcome::applied;
        for (const QString &service : listed)
            QCOMPARE(serversOf(service).contains(filter), on);
        QCOMPARE(check(*dns), on);
        QVERIFY(clear(*dns));
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
        servers(QStringLiteral("Ethernet"), {filter});
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
        // Look-ups go to the other server too: no protection.
        QTest::newRow("a second server before the filter") << "127.0.0.1" << QStringList{"9.9.9.9", "127.0.0.1"} << false;
        QTest::newRow("a second server after the filter") << "127.0.0.1" << QStringList{"127.0.0.1", "9.9.9.9"} << false;
        QTest::newRow("an IPv6 server beside the filter") << "127.0.0.1" << QStringList{"127.0.0.1", "2620:fe::fe"} << false;
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
            ProtectionAlerts shown(dns);
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
        const QStringList automatic = {"", "no", "", "no"};
        nmConnection(QStringLiteral("uuid-a"), QStringLiteral("802-3-ethernet"), QStringLiteral("eth0"),
                     {filter, "yes", "", "yes"}, QStringLiteral("10.0.0.1"), {filter});
        // Joined later, with its own DNS.
        nmConnection(QStringLiteral("uuid-b"), QStringLiteral("802-3-ethernet"), QStringLiteral("eth1"), automatic,
                     QStringLiteral("10.0.0.1"), {QStringLiteral("10.0.0.1")});
        DNSConfiguration dns(makeResolverBackend(), filter);
        QVERIFY(!check(dns));
        QVERIFY(apply(dns));
        QCOMPARE(env->readFile(QStringLiteral("fake-state/nmcli/devices/eth1/ip4-dns")), filter + '\n');

        env->writeFile(QStringLiteral("fake-state/nmcli/deny"), "");
        env->writeFile(QStringLiteral("fake-state/nmcli/devices/eth0/ip4-dns"), "10.0.0.1\n");
        QVERIFY(!clear(dns)); // eth1 still uses it
    }

    // Whatever kind of connection carries DNS, and wherever another server hides (beside the
    // filter, in IPv6, in the profile for the next activation, from the network), it is a way
    // around the filter until the filter is its only server.
    void everyConnectionGetsOnlyTheFilter_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("profile");
        QTest::addColumn<QString>("fromNetwork");
        QTest::addColumn<QStringList>("live4");
        QTest::addColumn<QStringList>("live6");
        const QStringList automatic = {"", "no", "", "no"};
        QTest::newRow("a VPN with DNS of its own") << "vpn" << automatic << "10.8.0.1" << QStringList{"10.8.0.1"} << QStringList{};
        QTest::newRow("WireGuard with DNS of its own") << "wireguard" << QStringList{"10.7.0.1", "yes", "", "yes"} << ""
                                                       << QStringList{"10.7.0.1"} << QStringList{};
        QTest::newRow("mobile broadband") << "gsm" << automatic << "100.64.0.1" << QStringList{"100.64.0.1"} << QStringList{};
        QTest::newRow("an IPv6 server of its own") << "802-3-ethernet" << QStringList{filter, "yes", "2620:fe::fe", "yes"} << ""
                                                   << QStringList{filter} << QStringList{"2620:fe::fe"};
        QTest::newRow("a second server in the profile, not yet live")
            << "802-11-wireless" << QStringList{filter + ",9.9.9.9", "yes", "", "yes"} << "" << QStringList{filter} << QStringList{};
        QTest::newRow("the network's servers at the next activation")
            << "bridge" << QStringList{filter, "no", "", "yes"} << "" << QStringList{filter} << QStringList{};
    }
    void everyConnectionGetsOnlyTheFilter()
    {
        QFETCH(QString, type);
        QFETCH(QStringList, profile);
        QFETCH(QString, fromNetwork);
        QFETCH(QStringList, live4);
        QFETCH(QStringList, live6);
        const QString uuid = QStringLiteral("uuid-x");
        nmConnection(uuid, type, QStringLiteral("dev0"), profile, fromNetwork, live4, live6);
        DNSConfiguration dns(makeResolverBackend(), filter);
        QVERIFY(!check(dns));

        env->writeFile(QStringLiteral("fake-state/nmcli/deny"), "");
        const DnsOutcome refused = applied(dns);
        QCOMPARE(refused.kind, DnsOutcome::refused);
        QVERIFY(dnsFailureMessage(refused).contains(QLatin1String("org.freedesktop.NetworkManager.settings.modify.system")));

        QVERIFY(QFile::remove(env->path(QStringLiteral("fake-state/nmcli/deny"))));
        QCOMPARE(applied(dns).kind, DnsOutcome::applied);
        QCOMPARE(nmProfile(uuid, QStringLiteral("ipv4.dns")), filter);
        QCOMPARE(nmProfile(uuid, QStringLiteral("ipv6.dns")), QString());
        QVERIFY(check(dns));
        QVERIFY(clear(dns));
        // A profile that carried the filter before anything was remembered goes back to automatic.
        QCOMPARE(nmProfile(uuid, QStringLiteral("ipv4.dns")), profile.at(0).contains(filter) ? QString() : profile.at(0));
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
        DnsOutcome outcome;
        QVERIFY(!switchOn(*dns, &outcome));
        QCOMPARE(outcome.kind, DnsOutcome::refused);
        QCOMPARE(dnsFailureMessage(outcome), QStringLiteral("Requires admin privileges"));
        QVERIFY(!prefs.boolForKey(PrefKey::dnsLastStatus));
        settle();
        QCOMPARE(syncs(), 1);
        QVERIFY(alerts.alerts.isEmpty()); // the screen shows it, not the configurator
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
        DnsOutcome outcome;
        QCOMPARE(switchOn(*dns, &outcome), live);
        QCOMPARE(setCalls(), live ? 1 : 0);
        QCOMPARE(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus), live);
        QCOMPARE(outcome.kind, live ? DnsOutcome::applied : DnsOutcome::filterSilent);
    }

    void switchOffFailureKeepsProtectionOn()
    {
        services({"Ethernet"});
        connectServer();
        auto dns = make();
        bool screenOn = switchOn(*dns);
        deny();
        LogCapture log;
        std::optional<DnsOutcome> finished;
        dns->clearFromSwitch([&] { screenOn = false; }, [&](const DnsOutcome &o) { finished = o; });
        QTRY_VERIFY(finished);
        QVERIFY(screenOn);
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
        QCOMPARE(finished->kind, DnsOutcome::refused);
        QVERIFY(log.contains(QStringLiteral("found error in close protaction")));
    }

    void uninstallClearsFirst()
    {
        services({"Ethernet", "Wi-Fi"});
        auto dns = make();
        // Screen off, protection off for good, then the rest of the uninstall.
        QVERIFY(apply(*dns));
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        bool screenOff = false, cleared = false;
        dns->clearForUninstall([&] { screenOff = true; }, [&] { cleared = true; });
        QTRY_VERIFY(cleared);
        QVERIFY(screenOff);
        QVERIFY(!PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));

        // Refused: the uninstall stops there, with its cause.
        QVERIFY(apply(*dns));
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        deny();
        cleared = screenOff = false;
        std::optional<DnsOutcome> failed;
        dns->clearForUninstall([&] { screenOff = true; }, [&] { cleared = true; }, [&](const DnsOutcome &o) { failed = o; });
        QTRY_VERIFY(failed);
        QCOMPARE(failed->kind, DnsOutcome::refused);
        QVERIFY(!screenOff);
        QVERIFY(!cleared);
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
    }

    void startupAndWatchdogVariants()
    {
        services({"Ethernet"});
        connectServer();
        AlertRecorder &alerts = bed->alerts;
        auto dns = make();
        ProtectionAlerts shown(*dns);
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
        QCOMPARE(alerts.showing().size(), 1); // the same cause, one alert

        // Offline is nothing to protect: the alert goes away by itself and none comes.
        services({});
        tick();
        QTRY_COMPARE(checks.size(), 3);
        QVERIFY(checks.last());
        QVERIFY(alerts.showing().isEmpty());
        // Back, and the change allowed again: protected at the next tick, with nothing to say.
        services({"Ethernet"});
        QVERIFY(QFile::remove(env->path(QStringLiteral("fake-state/networksetup/deny"))));
        tick();
        QTRY_COMPARE(watchdogSuccess, 2);
        QCOMPARE(alerts.alerts.size(), 2);
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
            return [&, what](const DnsOutcome &o) {
                onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
                outcomes << what + (o.ok() ? QLatin1String(" done") : QLatin1String(" failed"));
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
        dns->applyFilteringDns([&](const DnsOutcome &) { delivered = true; });
        dns->clearFilteringDns([&](const DnsOutcome &) { delivered = true; });
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
        dns->applyFilteringDns([](const DnsOutcome &) {}); // slow: the ticks wait behind it
        tick(QStringLiteral("first"));
        tick(QStringLiteral("second"));
        tick(QStringLiteral("third"));
        QTRY_COMPARE(ticks, QStringList{"third"});
        tick(QStringLiteral("fourth"));
        QTRY_COMPARE(ticks, (QStringList{"third", "fourth"}));

        // Switched off before the tick was asked: the tick must not put the filter back.
        bool off = false;
        dns->clearFromSwitch([] {}, [&](const DnsOutcome &) { off = true; });
        tick(QStringLiteral("after switch-off"));
        QTRY_VERIFY(off);
        check(*dns); // anything dispatched before it has run by now
        QCOMPARE(ticks, (QStringList{"third", "fourth"}));
        QVERIFY(serversOf(QStringLiteral("Ethernet")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDNSConfiguration)
#include "tst_dnsconfiguration.moc"
