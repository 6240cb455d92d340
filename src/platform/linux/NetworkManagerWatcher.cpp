#include "NetworkManagerWatcher.h"

#include "core/Log.h"

namespace {
const QString service = QStringLiteral("org.freedesktop.NetworkManager");
}

NetworkManagerWatcher::NetworkManagerWatcher(const QDBusConnection &bus, QObject *parent)
    : NetworkChangeWatcher(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &NetworkChangeWatcher::networkChanged);
    QDBusConnection connection(bus);
    // An empty path matches every object of the service.
    bool ok = connection.connect(service, QString(), QStringLiteral("org.freedesktop.NetworkManager.Connection.Active"),
                                 QStringLiteral("StateChanged"), this, SLOT(stateChanged()));
    ok = connection.connect(service, QString(), QStringLiteral("org.freedesktop.NetworkManager.Device"),
                            QStringLiteral("StateChanged"), this, SLOT(stateChanged()))
        && ok;
    ok = connection.connect(service, QString(), QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection"),
                            QStringLiteral("Updated"), this, SLOT(stateChanged()))
        && ok;
    ok = connection.connect(service, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("PropertiesChanged"), this,
                            SLOT(propertiesChanged(QString, QVariantMap, QStringList)))
        && ok;
    if (!ok)
        Log::line(QStringLiteral("Network changes: NetworkManager's signals are not available; the watchdog checks every minute"));
}

void NetworkManagerWatcher::stateChanged()
{
    m_settle.start();
}

void NetworkManagerWatcher::propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &)
{
    static const QStringList relevant = {QStringLiteral("ActiveConnections"), QStringLiteral("Ip4Config"),
                                         QStringLiteral("Ip6Config"), QStringLiteral("PrimaryConnection")};
    for (const QString &key : relevant) {
        if (changed.contains(key)) {
            m_settle.start();
            return;
        }
    }
}
