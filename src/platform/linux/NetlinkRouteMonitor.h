#pragma once

#include "platform/Connectivity.h"

#include <QString>

class QSocketNotifier;

// Reachable while the kernel's routing tables hold a default route (IPv4 or IPv6, not on
// loopback), read from the route files under /proc, with the kernel's route notifications
// (netlink) as the news: where NetworkManager does not run. A few hundred bytes where Qt's
// GLib backend would bring GIO and its modules for the same answer.
class NetlinkRouteMonitor : public ConnectivityMonitor
{
    Q_OBJECT
public:
    // None when the kernel refuses the notification socket.
    static std::unique_ptr<NetlinkRouteMonitor> open();
    ~NetlinkRouteMonitor() override;

    Connectivity connectivity() const override;

    // The route files read: tests point them at files of their own.
    static bool defaultRouteIn(const QString &ipv4Routes, const QString &ipv6Routes);

private:
    explicit NetlinkRouteMonitor(int fd);
    void readNews();

    int m_fd;
    QSocketNotifier *m_notifier;
};
