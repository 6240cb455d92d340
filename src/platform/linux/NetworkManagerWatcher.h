#pragma once

#include "platform/NetworkChangeWatcher.h"

#include <QDBusConnection>
#include <QTimer>
#include <QVariantMap>

// NetworkManager's D-Bus signals: an active connection or a device changing state, the
// properties that say a connection came or its IP configuration changed, and a connection
// profile edited (a server added to it takes effect at its next activation). A burst of signals
// (one activation sends several) is reported once, shortly after the last.
class NetworkManagerWatcher : public NetworkChangeWatcher
{
    Q_OBJECT
public:
    static constexpr int settleMs = 300;

    // The system bus in the application; tests give a private bus with a fake NetworkManager.
    explicit NetworkManagerWatcher(const QDBusConnection &bus, QObject *parent = nullptr);

private slots:
    void stateChanged();
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    QTimer m_settle;
};
