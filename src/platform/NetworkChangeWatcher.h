#pragma once

#include <QObject>
#include <memory>

// Tells when the computer's network changes (a connection activated, its addresses changed),
// so protection is checked at once instead of at the watchdog's next minute.
class NetworkChangeWatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void networkChanged();
};

// The system's watcher; one that never reports where the system gives no such news.
std::unique_ptr<NetworkChangeWatcher> makeNetworkChangeWatcher();
