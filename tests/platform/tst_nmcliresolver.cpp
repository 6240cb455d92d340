// The NetworkManager backend through the real process runner and the fake nmcli on PATH.
#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/linux/NmcliResolver.h"

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

namespace {
const QString filter = QStringLiteral("10.9.8.53");
const QString dhcp4 = QStringLiteral("192.168.1.1");
const QString ra6 = QStringLiteral("fd00::1");

// A profile's DNS settings in the order ipv4.dns, ipv4.ignore-auto-dns, ipv6.dns, ipv6.ignore-auto-dns.
using Profile = QStringList;
const Profile automatic = {QString(), QStringLiteral("no"), QString(), QStringLiteral("no")};
const Profile filtered = {filter, QStringLiteral("yes"), QString(), QStringLiteral("yes")};
const QStringList keys = {QStringLiteral("ipv4.dns"), QStringLiteral("ipv4.ignore-auto-dns"), QStringLiteral("ipv6.dns"),
                          QStringLiteral("ipv6.ignore-auto-dns")};
const QString noServers = QStringLiteral("There aren't any DNS Servers set on %1.\n");
} // namespace

class TestNmcliResolver : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

    static QString dir(const QString &uuid) { return QStringLiteral("fake-state/nmcli/connections/") + uuid + QLatin1Char('/'); }

    // An active connection, already up: its device uses what the profile asked for at activation.
    void connection(const QString &name, const QString &uuid, const QString &type, const QString &device,
                    const Profile &own = automatic, const QString &auto4 = dhcp4, const QString &auto6 = ra6)
    {
        env->writeFile(dir(uuid) + QLatin1String("name"), name.toUtf8());
        env->writeFile(dir(uuid) + QLatin1String("type"), type.toUtf8());
        env->writeFile(dir(uuid) + QLatin1String("device"), device.toUtf8());
        env->writeFile(dir(uuid) + QLatin1String("auto-ipv4-dns"), auto4.toUtf8());
        env->writeFile(dir(uuid) + QLatin1String("auto-ipv6-dns"), auto6.toUtf8());
        editProfile(uuid, own);
        const QString active = QStringLiteral("fake-state/nmcli/active");
        env->writeFile(active, env->readFile(active).toUtf8() + uuid.toUtf8() + '\n');
        for (int family : {4, 6}) {
            const int i = family == 4 ? 0 : 2;
            QStringList live = own.at(i).split(QLatin1Char(','), Qt::SkipEmptyParts);
            if (own.at(i + 1) != QLatin1String("yes"))
                live += (family == 4 ? auto4 : auto6).split(QLatin1Char(','), Qt::SkipEmptyParts);
            env->writeFile(QStringLiteral("fake-state/nmcli/devices/%1/ip%2-dns").arg(device).arg(family),
                           live.join(QLatin1Char('\n')).toUtf8() + '\n');
        }
    }
    void ethernet(const Profile &own = automatic) { connection(QStringLiteral("Wired connection 1"), QStringLiteral("uuid-eth0"), QStringLiteral("802-3-ethernet"), QStringLiteral("eth0"), own); }
    // The user edits the profile elsewhere; the device keeps its servers until it is reapplied.
    void editProfile(const QString &uuid, const Profile &own)
    {
        for (int i = 0; i < keys.size(); ++i)
            env->writeFile(dir(uuid) + keys.at(i), own.at(i).toUtf8());
    }
    Profile profile(const QString &uuid = QStringLiteral("uuid-eth0")) const
    {
        Profile p;
        for (const QString &key : keys)
            p << env->readFile(dir(uuid) + key);
        return p;
    }
    void deny(bool on)
    {
        const QString marker = env->path(QStringLiteral("fake-state/nmcli/deny"));
        if (on)
            env->writeFile(QStringLiteral("fake-state/nmcli/deny"), {});
        else
            QVERIFY(QFile::remove(marker));
    }
    int calls(const QString &prefix) const
    {
        const QStringList all = env->readFile(QStringLiteral("fake-state/nmcli/calls")).split(QLatin1Char('\n'));
        return int(std::count_if(all.begin(), all.end(), [&](const QString &c) { return c.startsWith(prefix); }));
    }
    // A fresh instance each time: what is remembered must survive a restart of the application.
    static NmcliResolver resolver() { return NmcliResolver(NmcliResolver::defaultStateFile()); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        // Never the machine's own nmcli, never the machine's own record.
        QCOMPARE(QStandardPaths::findExecutable(QStringLiteral("nmcli")), QStringLiteral(NIMBREL_FAKES_DIR "/nmcli"));
        QVERIFY(NmcliResolver::defaultStateFile().startsWith(env->home()));
    }
    void cleanup() { env.reset(); }

    void listsConnectionsAsServices_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("portOf");
        QTest::addColumn<QString>("listed");
        QTest::newRow("wired") << "Wired connection 1" << "802-3-ethernet" << "" << "" << "Ethernet\n";
        QTest::newRow("wireless, ':' and '\\' in the name") << "Café:5GHz \\ guest" << "802-11-wireless" << "" << "" << "Wi-Fi\n";
        QTest::newRow("bridge") << "br0" << "bridge" << "" << "" << "Thunderbolt Bridge\n";
        // Any other connection with DNS of its own is a way around the filter.
        QTest::newRow("VPN") << "Office: VPN\\Berlin" << "vpn" << "" << "" << "Other Connections\n";
        QTest::newRow("WireGuard") << "wg0" << "wireguard" << "" << "" << "Other Connections\n";
        QTest::newRow("mobile broadband") << "Carrier" << "gsm" << "" << "" << "Other Connections\n";
        // Its activation's signal protects it once its device takes changes.
        QTest::newRow("still activating") << "Wired" << "802-3-ethernet" << "activating" << "" << "";
        QTest::newRow("a bridge's port carries no DNS") << "Port" << "802-3-ethernet" << "" << "bridge" << "";
        QTest::newRow("tun device") << "tun0" << "tun" << "" << "" << "";
    }
    void listsConnectionsAsServices()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, state);
        QFETCH(QString, portOf);
        QFETCH(QString, listed);
        connection(name, QStringLiteral("uuid-1"), type, QStringLiteral("dev1"));
        if (!state.isEmpty())
            env->writeFile(dir(QStringLiteral("uuid-1")) + QLatin1String("state"), state.toUtf8());
        if (!portOf.isEmpty())
            env->writeFile(dir(QStringLiteral("uuid-1")) + QLatin1String("port-of"), portOf.toUtf8());
        connection(QStringLiteral("lo"), QStringLiteral("uuid-lo"), QStringLiteral("loopback"), QStringLiteral("lo"));
        QCOMPARE(resolver().listServices(), listed);
    }

    void noServicesWithoutNetworkManager_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::newRow("nmcli not installed") << true;
        QTest::newRow("NetworkManager not running") << false;
    }
    void noServicesWithoutNetworkManager()
    {
        QFETCH(bool, missing);
        ethernet();
        LogCapture log;
        if (missing) {
            QVERIFY(QDir().mkpath(env->path(QStringLiteral("empty-bin"))));
            qputenv("PATH", env->path(QStringLiteral("empty-bin")).toUtf8());
        } else {
            env->writeFile(QStringLiteral("fake-state/nmcli/not-running"), {});
        }
        QCOMPARE(resolver().listServices(), QString());
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, noServers.arg(QLatin1String("Ethernet")));
        resolver().setServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), automatic);
        QCOMPARE(log.contains(QStringLiteral("NetworkManager is not running")), !missing);
    }

    void setLeavesOnlyTheFilterOnTheChosenService()
    {
        ethernet();
        connection(QStringLiteral("Dock"), QStringLiteral("uuid-eth1"), QStringLiteral("802-3-ethernet"), QStringLiteral("eth1"),
                   {QStringLiteral("9.9.9.9"), QStringLiteral("no"), QStringLiteral("2620:fe::fe"), QStringLiteral("no")});
        connection(QStringLiteral("Home"), QStringLiteral("uuid-wlan0"), QStringLiteral("802-11-wireless"), QStringLiteral("wlan0"));
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output,
                 QStringLiteral("192.168.1.1\nfd00::1\n9.9.9.9\n2620:fe::fe\n"));

        resolver().setServers(networkservices::Ethernet, filter);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, filter + QLatin1Char('\n'));
        QCOMPARE(profile(QStringLiteral("uuid-eth0")), filtered);
        QCOMPARE(profile(QStringLiteral("uuid-eth1")), filtered);
        QCOMPARE(profile(QStringLiteral("uuid-wlan0")), automatic);
        QCOMPARE(resolver().readServers(networkservices::WiFi).output, QStringLiteral("192.168.1.1\nfd00::1\n"));
    }

    void clearRestoresTheOwnSettings_data()
    {
        QTest::addColumn<Profile>("own");
        QTest::addColumn<int>("sets");
        QTest::addColumn<Profile>("restored");
        QTest::addColumn<QString>("servers");
        const Profile statics = {QStringLiteral("9.9.9.9,149.112.112.112"), QStringLiteral("yes"), QStringLiteral("2620:fe::fe"), QStringLiteral("yes")};
        const Profile added = {QStringLiteral("1.1.1.1"), QStringLiteral("no"), QString(), QStringLiteral("yes")};
        QTest::newRow("automatic") << automatic << 1 << automatic << "192.168.1.1\nfd00::1\n";
        QTest::newRow("automatic, set twice") << automatic << 2 << automatic << "192.168.1.1\nfd00::1\n";
        QTest::newRow("own servers only, set twice") << statics << 2 << statics << "9.9.9.9\n149.112.112.112\n2620:fe::fe\n";
        QTest::newRow("own servers before automatic ones, set twice") << added << 2 << added << "1.1.1.1\n192.168.1.1\n";
        QTest::newRow("already on the filter, nothing remembered") << filtered << 1 << automatic << "192.168.1.1\nfd00::1\n";
    }
    void clearRestoresTheOwnSettings()
    {
        QFETCH(Profile, own);
        QFETCH(int, sets);
        QFETCH(Profile, restored);
        QFETCH(QString, servers);
        ethernet(own);
        for (int i = 0; i < sets; ++i)
            resolver().setServers(networkservices::Ethernet, filter);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, filter + QLatin1Char('\n'));

        resolver().clearServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), restored);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, servers);
    }

    // After a clear the old record is spent: the next round remembers what the user has then.
    void nextRoundRemembersNewOwnSettings()
    {
        ethernet();
        resolver().setServers(networkservices::Ethernet, filter);
        resolver().clearServers(networkservices::Ethernet, filter);
        const Profile edited = {QStringLiteral("8.8.8.8"), QStringLiteral("yes"), QString(), QStringLiteral("no")};
        editProfile(QStringLiteral("uuid-eth0"), edited);
        resolver().setServers(networkservices::Ethernet, filter);
        resolver().clearServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), edited);
    }

    void clearWithNothingRemembered_data()
    {
        QTest::addColumn<Profile>("current");
        QTest::addColumn<Profile>("after");
        const Profile own = {QStringLiteral("8.8.8.8"), QStringLiteral("yes"), QStringLiteral("2001:4860:4860::8888"), QStringLiteral("yes")};
        const Profile lookalike = {QLatin1Char('1') + filter, QStringLiteral("yes"), QString(), QStringLiteral("yes")};
        const Profile mixed = {QStringLiteral("8.8.8.8,") + filter, QStringLiteral("yes"), QString(), QStringLiteral("no")};
        QTest::newRow("carries the filter") << filtered << automatic;
        QTest::newRow("filter among others") << mixed << automatic;
        QTest::newRow("user's own servers") << own << own;
        QTest::newRow("address that merely contains the filter's") << lookalike << lookalike;
        QTest::newRow("automatic") << automatic << automatic;
    }
    void clearWithNothingRemembered()
    {
        QFETCH(Profile, current);
        QFETCH(Profile, after);
        ethernet(current);
        resolver().clearServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), after);
        // Leaving a connection alone means not asking for the privilege to change it either.
        QCOMPARE(calls(QStringLiteral("connection modify")), current == after ? 0 : 1);
    }

    void refusedSetChangesNothingAndRemembersNothing()
    {
        const Profile own = {QStringLiteral("9.9.9.9"), QStringLiteral("yes"), QString(), QStringLiteral("no")};
        ethernet(own);
        deny(true);
        QVERIFY(resolver().setServers(networkservices::Ethernet, filter).contains(QLatin1String("Insufficient privileges")));
        QCOMPARE(profile(), own);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, QStringLiteral("9.9.9.9\nfd00::1\n"));

        // What was current at the refusal is not the user's setting any more by the time we succeed.
        const Profile edited = {QStringLiteral("8.8.4.4"), QStringLiteral("yes"), QString(), QStringLiteral("no")};
        editProfile(QStringLiteral("uuid-eth0"), edited);
        deny(false);
        resolver().setServers(networkservices::Ethernet, filter);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, filter + QLatin1Char('\n'));
        resolver().clearServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), edited);
    }

    void refusedClearKeepsTheRecord()
    {
        const Profile own = {QStringLiteral("9.9.9.9"), QStringLiteral("yes"), QStringLiteral("2620:fe::fe"), QStringLiteral("yes")};
        ethernet(own);
        resolver().setServers(networkservices::Ethernet, filter);
        deny(true);
        resolver().setServers(networkservices::Ethernet, filter);
        resolver().clearServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), filtered);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, filter + QLatin1Char('\n'));

        deny(false);
        resolver().clearServers(networkservices::Ethernet, filter);
        QCOMPARE(profile(), own);
        QCOMPARE(resolver().readServers(networkservices::Ethernet).output, QStringLiteral("9.9.9.9\n2620:fe::fe\n"));
    }

    void readServers_data()
    {
        QTest::addColumn<networkservices>("service");
        QTest::addColumn<QString>("servers");
        QTest::addColumn<QList<QHostAddress>>("addresses");
        QTest::newRow("connection without servers") << networkservices::Ethernet << noServers.arg(QLatin1String("Ethernet"))
                                                    << QList<QHostAddress>{};
        QTest::newRow("no such connection") << networkservices::WiFi << noServers.arg(QLatin1String("Wi-Fi")) << QList<QHostAddress>{};
        QTest::newRow("IPv6 colons intact") << networkservices::Thunderbolt << QStringLiteral("192.168.7.1\nfd00:7::1\n")
                                            << QList<QHostAddress>{QHostAddress(QStringLiteral("192.168.7.1")),
                                                                   QHostAddress(QStringLiteral("fd00:7::1"))};
    }
    void readServers()
    {
        QFETCH(networkservices, service);
        QFETCH(QString, servers);
        connection(QStringLiteral("Wired"), QStringLiteral("uuid-eth0"), QStringLiteral("802-3-ethernet"), QStringLiteral("eth0"),
                   automatic, QString(), QString());
        connection(QStringLiteral("Bridge"), QStringLiteral("uuid-br0"), QStringLiteral("bridge"), QStringLiteral("br0"), automatic,
                   QStringLiteral("192.168.7.1"), QStringLiteral("fd00:7::1"));
        QFETCH(QList<QHostAddress>, addresses);
        const ResolverServers read = resolver().readServers(service);
        QCOMPARE(read.output, servers);
        QCOMPARE(read.addresses, addresses);
    }

    // With a device name, a protected connection counts as set only where systemd-resolved holds
    // the filter under that name; where it does not hold the filter at all, DNS is plain.
    void readServersWithDeviceName_data()
    {
        QTest::addColumn<QString>("inResolved"); // eth0's servers in systemd-resolved; empty: none
        QTest::addColumn<bool>("asWanted");
        QTest::addColumn<bool>("encrypted");
        const QString name = QStringLiteral("#abc.dot.example.org");
        QTest::newRow("under the name") << filter + name << true << true;
        QTest::newRow("handed over again, plain") << filter << false << false;
        QTest::newRow("under another name") << filter + QStringLiteral("#old.dot.example.org") << false << false;
        QTest::newRow("not in systemd-resolved") << QString() << true << false;
    }
    void readServersWithDeviceName()
    {
        QFETCH(QString, inResolved);
        QFETCH(bool, asWanted);
        QFETCH(bool, encrypted);
        ethernet({filter, QStringLiteral("yes"), QString(), QStringLiteral("yes")});
        env->writeFile(QStringLiteral("fake-state/resolvectl/links"), "eth0\n");
        env->writeFile(QStringLiteral("fake-state/resolvectl/links.d/eth0/dns"), inResolved.toUtf8());
        NmcliResolver nm = resolver();
        QVERIFY(nm.setEncryption(filter, QStringLiteral("abc.dot.example.org")));
        const ResolverServers read = nm.readServers(networkservices::Ethernet);
        QList<QHostAddress> wanted{QHostAddress(filter)};
        if (!asWanted)
            wanted.append(QHostAddress());
        QCOMPARE(read.perConnection.value(0), wanted);
        QCOMPARE(nm.encrypted(), encrypted);
    }
};

QTEST_GUILESS_MAIN(TestNmcliResolver)
#include "tst_nmcliresolver.moc"
