#pragma once

#include "platform/Connectivity.h"

#include <QDBusConnection>
#include <QVariantMap>

// NetworkManager's own verdict (its Connectivity and State properties, followed by their
// change signal), read over the D-Bus connection the app has anyway: Qt's network information
// would load every backend plugin it has, GLib's with GIO among them, to find this one.
class NmConnectivityMonitor : public ConnectivityMonitor
{
    Q_OBJECT
public:
    // None when NetworkManager is not on the bus.
    static std::unique_ptr<NmConnectivityMonitor> open(const QDBusConnection &bus);

    Connectivity connectivity() const override { return m_now; }

    // NM_CONNECTIVITY_* and NM_STATE_* values as the properties carry them.
    static Connectivity fromNetworkManager(uint connectivity, uint state);

private:
    explicit NmConnectivityMonitor(const QDBusConnection &bus);

private slots:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &);

private:
    QDBusConnection m_bus;
    uint m_connectivity = 0;
    uint m_state = 0;
    Connectivity m_now;
};
