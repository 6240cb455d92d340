#pragma once

#include "platform/DefaultRoute.h"

#include <QString>

class QSocketNotifier;

// The kernel's routing tables: a default route (IPv4 or IPv6, not on loopback) in the route
// files under /proc, and the kernel's route notifications (netlink) as the news. A few
// hundred bytes where Qt's GLib backend would bring GIO and its modules for the same answer.
class NetlinkRouteMonitor : public DefaultRouteMonitor
{
    Q_OBJECT
public:
    // None when the kernel refuses the notification socket.
    static std::unique_ptr<NetlinkRouteMonitor> open();
    ~NetlinkRouteMonitor() override;

    bool hasDefaultRoute() const override;

    // The route files read: tests point them at files of their own.
    static bool defaultRouteIn(const QString &ipv4Routes, const QString &ipv6Routes);

private:
    explicit NetlinkRouteMonitor(int fd);
    void readNews();

    int m_fd;
    QSocketNotifier *m_notifier;
};
