#include "NmConnectivityMonitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

namespace {
const QString service = QStringLiteral("org.freedesktop.NetworkManager");
const QString path = QStringLiteral("/org/freedesktop/NetworkManager");
const QString interfaceName = QStringLiteral("org.freedesktop.NetworkManager");

enum : uint {
    connectivityUnknown = 0,
    connectivityNone = 1,
    connectivityPortal = 2,
    stateConnectedLocal = 50, // and above: site, global
};
} // namespace

std::unique_ptr<NmConnectivityMonitor> NmConnectivityMonitor::open(const QDBusConnection &bus)
{
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service).value())
        return nullptr;
    return std::unique_ptr<NmConnectivityMonitor>(new NmConnectivityMonitor(bus));
}

NmConnectivityMonitor::NmConnectivityMonitor(const QDBusConnection &bus)
    : m_bus(bus)
{
    m_bus.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                  this, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("GetAll"));
    get << interfaceName;
    const QDBusReply<QVariantMap> all = m_bus.call(get, QDBus::Block, 2000);
    if (all.isValid())
        propertiesChanged(interfaceName, all.value(), {});
}

void NmConnectivityMonitor::propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
{
    if (interface != interfaceName)
        return;
    if (changed.contains(QStringLiteral("Connectivity")))
        m_connectivity = changed.value(QStringLiteral("Connectivity")).toUInt();
    if (changed.contains(QStringLiteral("State")))
        m_state = changed.value(QStringLiteral("State")).toUInt();
    const Connectivity now = fromNetworkManager(m_connectivity, m_state);
    if (now == m_now)
        return;
    m_now = now;
    emit this->changed();
}

Connectivity NmConnectivityMonitor::fromNetworkManager(uint connectivity, uint state)
{
    // Unknown means NetworkManager does not check (checking switched off): its state says
    // whether anything is connected; a state it does not report must not lock the user out.
    if (connectivity == connectivityUnknown)
        return {state == 0 || state >= stateConnectedLocal, false};
    return {connectivity != connectivityNone, connectivity == connectivityPortal};
}
