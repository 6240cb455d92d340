// A network joined after start-up is protected on NetworkManager's signal, without waiting for
// the watchdog's minute: a private D-Bus bus, a fake NetworkManager of ours on it, the real
// watcher and delegate, and a fake networksetup on PATH.
#include "ApiTestBed.h"
#include "FakeClock.h"
#include "app/AppDelegate.h"
#include "platform/LaunchAgent.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/linux/NetworkManagerWatcher.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/DNSConfiguration.h"
#include "ui/StartupPresenter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

namespace {
class NoPresenter : public StartupPresenter
{
public:
    void showVerifyPinOnStart() override {}
    void showLogIn() override {}
    void openMainContent(const QSize &) override {}
};
const QString nmService = QStringLiteral("org.freedesktop.NetworkManager");
} // namespace

class TestNetworkChange : public QObject
{
    Q_OBJECT

private:
    QProcess bus;
    QString address;

private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed (dbus)");
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile")});
        QVERIFY(bus.waitForStarted());
        QTRY_VERIFY(bus.canReadLine());
        address = QString::fromUtf8(bus.readLine()).trimmed();
        QVERIFY(!address.isEmpty());
    }
    void cleanupTestCase()
    {
        bus.terminate();
        bus.waitForFinished();
    }

    void aConnectionActivatedLaterIsProtectedOnTheSignal()
    {
        ApiTestBed bed;
        bed.startAsNewAccount();
        FakeClock clock;
        bed.env.writeFile(QStringLiteral("fake-state/networksetup/services"), "Wi-Fi\n");
        DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
        const QString filter = DNSConfiguration::defaultAddress();
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);

        // Our NetworkManager: its own connection to the bus, owning the service name.
        QDBusConnection nm = QDBusConnection::connectToBus(address, QStringLiteral("fake-nm"));
        QVERIFY(nm.isConnected());
        QVERIFY(nm.registerService(nmService));
        QDBusConnection app = QDBusConnection::connectToBus(address, QStringLiteral("app"));

        NoPresenter presenter;
        AppDelegate delegate(nullptr, &presenter);
        delegate.systemLanguage = [] { return QStringLiteral("en"); };
        delegate.networkWatcher = std::make_unique<NetworkManagerWatcher>(app);
        delegate.applicationDidFinishLaunching();
        QTRY_COMPARE(bed.env.readFile(QStringLiteral("fake-state/networksetup/dns/Wi-Fi")), filter + '\n');

        // Ethernet comes up after start-up; NetworkManager says so.
        bed.env.writeFile(QStringLiteral("fake-state/networksetup/services"), "Wi-Fi\nEthernet\n");
        QDBusMessage activated = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/NetworkManager/ActiveConnection/7"),
                                                            QStringLiteral("org.freedesktop.NetworkManager.Connection.Active"),
                                                            QStringLiteral("StateChanged"));
        activated << 2u << 0u;
        QVERIFY(nm.send(activated));
        QTRY_COMPARE_WITH_TIMEOUT(bed.env.readFile(QStringLiteral("fake-state/networksetup/dns/Ethernet")), filter + '\n', 2000);
        // The watchdog's timer never fired.
        QCOMPARE(clock.pendingIntervals(), QList<int>{AppDelegate::watchdogIntervalMs});
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));

        QDBusConnection::disconnectFromBus(QStringLiteral("app"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-nm"));
    }
};

QTEST_MAIN(TestNetworkChange)
#include "tst_networkchange.moc"
