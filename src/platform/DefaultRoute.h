#pragma once

#include <QObject>
#include <memory>

// Whether the computer has a default route, with news when the routes change: the
// reachability of last resort where no network service reports it. Where NetworkManager runs
// its own report is richer (captive portals) and is used instead.
class DefaultRouteMonitor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool hasDefaultRoute() const = 0;

signals:
    void routesChanged();
};

// The system's monitor; none where the system gives no such news.
std::unique_ptr<DefaultRouteMonitor> makeDefaultRouteMonitor();
