// The reachability monitor driven by a flag source the test controls, and the system's source.
#include "FakeFlagSource.h"
#include "Settle.h"
#include "TestEnvironment.h"
#include "api/NetworkInformationFlagSource.h"
#include "platform/linux/NetlinkRouteMonitor.h"
#include "platform/linux/NmConnectivityMonitor.h"
#include "api/Reachability.h"
#include "platform/NotificationCenter.h"

#include <QDBusConnectionInterface>
#include <QtTest>

using F = ReachabilityFlag;
Q_DECLARE_METATYPE(Connection)
Q_DECLARE_METATYPE(ReachabilityError::Kind)

class TestReachability : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    QObject observerOwner;
    QList<QObject *> posted; // the object of each change notification, in order

    void observe()
    {
        NotificationCenter::defaultCenter().addObserver(
            &observerOwner, Reachability::changedNotification,
            [this](const QVariant &object) { posted.append(object.value<Reachability *>()); });
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        posted.clear();
        observe();
    }
    void cleanup() { env.reset(); }

    void connectionFromFlags_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("known");
        QTest::addColumn<Connection>("connection");
        QTest::addColumn<QString>("description");
        const auto row = [](const char *name, ReachabilityFlags f, Connection c, const char *text) {
            QTest::newRow(name) << int(f) << true << c << QString::fromLatin1(text);
        };
        QTest::newRow("no flags yet") << 0 << false << Connection::unavailable << "unavailable flags";
        row("nothing set", {}, Connection::unavailable, "-- -------");
        row("reachable", F::Reachable, Connection::wifi, "-R -------");
        row("connection required", F::Reachable | F::ConnectionRequired, Connection::unavailable, "-R c------");
        row("required, on demand", F::Reachable | F::ConnectionRequired | F::ConnectionOnDemand, Connection::wifi,
            "-R c---D--");
        row("required, on traffic", F::Reachable | F::ConnectionRequired | F::ConnectionOnTraffic, Connection::wifi,
            "-R c--C---");
        row("on demand but intervention",
            F::Reachable | F::ConnectionRequired | F::ConnectionOnDemand | F::InterventionRequired,
            Connection::unavailable, "-R c-i-D--");
        row("not reachable whatever else", F::TransientConnection | F::IsLocalAddress | F::IsDirect,
            Connection::unavailable, "-- -t---ld");
        row("every bit",
            F::Reachable | F::TransientConnection | F::ConnectionRequired | F::ConnectionOnTraffic |
                F::InterventionRequired | F::ConnectionOnDemand | F::IsLocalAddress | F::IsDirect,
            Connection::unavailable, "-R ctiCDld");
    }
    void connectionFromFlags()
    {
        QFETCH(int, flags);
        QFETCH(bool, known);
        QFETCH(Connection, connection);
        QFETCH(QString, description);
        Reachability monitor(std::make_shared<FakeFlagSource>());
        if (known)
            monitor.setFlags(ReachabilityFlags::fromInt(flags));
        QCOMPARE(Reachability::connectionFor(monitor.flags()), connection);
        QCOMPARE(monitor.description(), description);
    }

    void startReadsFlagsAndNotifiesOnce()
    {
        auto source = std::make_shared<FakeFlagSource>(F::Reachable);
        Reachability monitor(source);
        int reachable = 0;
        int unreachable = 0;
        monitor.whenReachable = [&](Reachability *) { ++reachable; };
        monitor.whenUnreachable = [&](Reachability *) { ++unreachable; };

        QVERIFY(!monitor.startNotifier());
        QVERIFY(monitor.notifierRunning());
        QCOMPARE(monitor.flags(), ReachabilityFlags(F::Reachable));
        // Delivered later on the event loop, never inside the call.
        QVERIFY(posted.isEmpty());
        QTRY_COMPARE(posted.size(), 1);
        QCOMPARE(posted.first(), &monitor);
        QCOMPARE(reachable, 1);

        // Starting again changes nothing and reads nothing.
        const int reads = source->reads;
        QVERIFY(!monitor.startNotifier());
        QCOMPARE(source->reads, reads);

        // The same flags again are no change.
        source->change(F::Reachable);
        monitor.setFlags(F::Reachable);
        settle();
        QCOMPARE(posted.size(), 1);

        source->change({});
        QTRY_COMPARE(posted.size(), 2);
        QCOMPARE(unreachable, 1);
        QCOMPARE(monitor.connection(), Connection::unavailable);
        QCOMPARE(monitor.currentReachabilityStatus(), NetworkStatus::notReachable);

        source->change(F::Reachable | F::IsDirect);
        QTRY_COMPARE(posted.size(), 3);
        QCOMPARE(reachable, 2);
    }

    void connectionReadsFlagsWhenNoneKnown()
    {
        auto source = std::make_shared<FakeFlagSource>(F::Reachable);
        Reachability monitor(source);
        QCOMPARE(monitor.connection(), Connection::wifi);
        QCOMPARE(source->reads, 1);
        QCOMPARE(monitor.connection(), Connection::wifi);
        QCOMPARE(source->reads, 1);
    }

    void stoppedNotifierHearsNothing()
    {
        auto source = std::make_shared<FakeFlagSource>(F::Reachable);
        Reachability monitor(source);
        QVERIFY(!monitor.startNotifier());
        QTRY_COMPARE(posted.size(), 1);
        monitor.stopNotifier();
        QVERIFY(!monitor.notifierRunning());
        QVERIFY(!source->callback);
        QVERIFY(!source->delivering);
        source->change({});
        settle();
        QCOMPARE(posted.size(), 1);
    }

    void startFailuresLeaveTheNotifierStopped_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<ReachabilityError::Kind>("kind");
        QTest::newRow("callback") << "callback" << ReachabilityError::Kind::unableToSetCallback;
        QTest::newRow("delivery") << "delivery" << ReachabilityError::Kind::unableToSetDispatchQueue;
        QTest::newRow("flags") << "flags" << ReachabilityError::Kind::unableToGetFlags;
    }
    void startFailuresLeaveTheNotifierStopped()
    {
        QFETCH(QString, failing);
        QFETCH(ReachabilityError::Kind, kind);
        auto source = std::make_shared<FakeFlagSource>(F::Reachable);
        (failing == "callback"   ? source->callbackError
         : failing == "delivery" ? source->deliveringError
                                 : source->readError) = 42;
        Reachability monitor(source);
        const std::optional<ReachabilityError> error = monitor.startNotifier();
        QVERIFY(error);
        QCOMPARE(error->kind, kind);
        QCOMPARE(error->code, 42);
        QVERIFY(error->description().contains(QLatin1String("42")));
        QVERIFY(!monitor.notifierRunning());
        QVERIFY(!source->callback);
        QVERIFY(!source->delivering);
    }

    // The system may still deliver a change that was under way when the monitor went away.
    void releasedMonitorIgnoresLateDeliveries()
    {
        auto source = std::make_shared<FakeFlagSource>(F::Reachable);
        auto monitor = std::make_unique<Reachability>(source);
        QVERIFY(!monitor->startNotifier());
        QTRY_COMPARE(posted.size(), 1);

        // A change whose notification is still queued when the monitor is released.
        source->change({});
        monitor.reset();
        QVERIFY(source->lastInstalled);
        source->lastInstalled(F::Reachable | F::IsDirect);
        settle();
        QCOMPARE(posted.size(), 1);
    }

    void systemSourceMapsNetworkInformation_data()
    {
        QTest::addColumn<QNetworkInformation::Reachability>("reachability");
        QTest::addColumn<bool>("portal");
        QTest::addColumn<Connection>("connection");
        using R = QNetworkInformation::Reachability;
        QTest::newRow("online") << R::Online << false << Connection::wifi;
        QTest::newRow("site") << R::Site << false << Connection::wifi;
        QTest::newRow("local") << R::Local << false << Connection::wifi;
        QTest::newRow("unknown lets requests try") << R::Unknown << false << Connection::wifi;
        QTest::newRow("disconnected") << R::Disconnected << false << Connection::unavailable;
        QTest::newRow("captive portal") << R::Online << true << Connection::unavailable;
    }
    void systemSourceMapsNetworkInformation()
    {
        QFETCH(QNetworkInformation::Reachability, reachability);
        QFETCH(bool, portal);
        QFETCH(Connection, connection);
        QCOMPARE(Reachability::connectionFor(NetworkInformationFlagSource::flagsFor(reachability, portal)), connection);
    }

    // NetworkManager's properties as they come over D-Bus.
    void networkManagerVerdicts_data()
    {
        QTest::addColumn<uint>("connectivity");
        QTest::addColumn<uint>("state");
        QTest::addColumn<Connection>("connection");
        QTest::newRow("full") << 4u << 70u << Connection::wifi;
        QTest::newRow("limited") << 3u << 60u << Connection::wifi;
        QTest::newRow("captive portal") << 2u << 70u << Connection::unavailable;
        QTest::newRow("none") << 1u << 20u << Connection::unavailable;
        QTest::newRow("not checked, disconnected") << 0u << 20u << Connection::unavailable;
        QTest::newRow("not checked, connected") << 0u << 70u << Connection::wifi;
        QTest::newRow("nothing known lets requests try") << 0u << 0u << Connection::wifi;
    }
    void networkManagerVerdicts()
    {
        QFETCH(uint, connectivity);
        QFETCH(uint, state);
        QFETCH(Connection, connection);
        QCOMPARE(Reachability::connectionFor(
                     ConnectivityFlagSource::flagsFor(NmConnectivityMonitor::fromNetworkManager(connectivity, state))),
                 connection);
    }

    void systemSourceFeedsTheDefaultRouteMonitor()
    {
        ReachabilityError error{};
        std::unique_ptr<Reachability> monitor = Reachability::forDefaultRoute(&error);
        QVERIFY2(monitor, qPrintable(error.description())); // the kernel's routes are always there
        QVERIFY(!monitor->startNotifier());
        QVERIFY(monitor->flags());
        const std::unique_ptr<ConnectivityMonitor> system = makeConnectivityMonitor();
        QCOMPARE(*monitor->flags(), ConnectivityFlagSource::flagsFor(system->connectivity()));
        // NetworkManager's verdict where it runs (tests/e2e/nm-sandbox.sh), the routes elsewhere.
        const QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
        const bool networkManager = bus && bus->isServiceRegistered(QStringLiteral("org.freedesktop.NetworkManager")).value();
        QCOMPARE(qobject_cast<NmConnectivityMonitor *>(system.get()) != nullptr, networkManager);
        // Qt's backends are never loaded here: they would bring GIO along.
        QVERIFY(!QNetworkInformation::instance());
        QTRY_COMPARE(posted.size(), 1);
    }

    void defaultRouteFromTheRoutingTables_data()
    {
        QTest::addColumn<QByteArray>("ipv4");
        QTest::addColumn<QByteArray>("ipv6");
        QTest::addColumn<bool>("routed");
        const QByteArray header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
        const QByteArray subnet = "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
        const QByteArray v6Local = "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
                                   "00000000000000000000000000000000 00000100 00000002 00000000 00000001     eth0\n";
        QTest::newRow("IPv4 default") << header + subnet + "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                                      << v6Local << true;
        QTest::newRow("a subnet only") << header + subnet << v6Local << false;
        QTest::newRow("IPv4 default that is down") << header + "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
                                                   << QByteArray() << false;
        QTest::newRow("IPv6 default")
            << header << v6Local + "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                   "fd000000000000000000000000000001 00000400 00000003 00000000 00000003     eth0\n"
            << true;
        // What the kernel keeps when there is no IPv6 route at all.
        QTest::newRow("IPv6 unreachable") << header << QByteArray("00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                                                  "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n")
                                          << false;
    }
    void defaultRouteFromTheRoutingTables()
    {
        QFETCH(QByteArray, ipv4);
        QFETCH(QByteArray, ipv6);
        QTemporaryDir dir;
        auto write = [&](const QString &name, const QByteArray &text) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        write(QStringLiteral("route"), ipv4);
        write(QStringLiteral("ipv6_route"), ipv6);
        QTEST(NetlinkRouteMonitor::defaultRouteIn(dir.filePath(QStringLiteral("route")), dir.filePath(QStringLiteral("ipv6_route"))),
              "routed");
    }
};

QTEST_GUILESS_MAIN(TestReachability)
#include "tst_reachability.moc"
