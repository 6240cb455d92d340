#include "NetlinkRouteMonitor.h"

#include <QFile>
#include <QSocketNotifier>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr unsigned routeUp = 0x0001; // RTF_UP

// /proc/net/route: "Iface Destination Gateway Flags ..." in hexadecimal, a header line first.
bool ipv4Default(QFile &file)
{
    file.readLine();
    while (!file.atEnd()) {
        const QList<QByteArray> columns = file.readLine().simplified().split(' ');
        if (columns.size() < 8 || columns.at(0) == "lo")
            continue;
        bool flagsRead = false;
        const unsigned flags = columns.at(3).toUInt(&flagsRead, 16);
        if (columns.at(1) == "00000000" && columns.at(7) == "00000000" && flagsRead && (flags & routeUp))
            return true;
    }
    return false;
}

// /proc/net/ipv6_route: "destination prefix-length source source-length next-hop metric
// refcount use flags device", no header.
bool ipv6Default(QFile &file)
{
    static const QByteArray anywhere(32, '0');
    while (!file.atEnd()) {
        const QList<QByteArray> columns = file.readLine().simplified().split(' ');
        if (columns.size() < 10 || columns.at(9) == "lo")
            continue;
        bool flagsRead = false;
        const unsigned flags = columns.at(8).toUInt(&flagsRead, 16);
        // A route the kernel keeps to reject traffic (no route at all) is not one.
        constexpr unsigned rejected = 0x0200; // RTF_REJECT
        if (columns.at(0) == anywhere && columns.at(1) == "00" && flagsRead && (flags & routeUp) && !(flags & rejected))
            return true;
    }
    return false;
}
} // namespace

std::unique_ptr<NetlinkRouteMonitor> NetlinkRouteMonitor::open()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return nullptr;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_LINK;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<NetlinkRouteMonitor>(new NetlinkRouteMonitor(fd));
}

NetlinkRouteMonitor::NetlinkRouteMonitor(int fd)
    : m_fd(fd)
    , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &NetlinkRouteMonitor::readNews);
}

NetlinkRouteMonitor::~NetlinkRouteMonitor()
{
    ::close(m_fd);
}

void NetlinkRouteMonitor::readNews()
{
    // What changed is read again from the route files: the messages only say that it did.
    char buffer[8192];
    bool any = false;
    while (::recv(m_fd, buffer, sizeof buffer, 0) > 0)
        any = true;
    if (any)
        emit changed();
}

Connectivity NetlinkRouteMonitor::connectivity() const
{
    return {defaultRouteIn(QStringLiteral("/proc/net/route"), QStringLiteral("/proc/net/ipv6_route")), false};
}

bool NetlinkRouteMonitor::defaultRouteIn(const QString &ipv4Routes, const QString &ipv6Routes)
{
    QFile ipv4(ipv4Routes);
    if (ipv4.open(QIODevice::ReadOnly) && ipv4Default(ipv4))
        return true;
    QFile ipv6(ipv6Routes);
    return ipv6.open(QIODevice::ReadOnly) && ipv6Default(ipv6);
}
