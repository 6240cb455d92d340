#include "Reachability.h"

#include "NetworkInformationFlagSource.h"
#include "platform/NotificationCenter.h"

#include <QPointer>

QString description(Connection connection)
{
    switch (connection) {
    case Connection::unavailable:
        return QStringLiteral("No Connection");
    case Connection::wifi:
        return QStringLiteral("WiFi");
    case Connection::cellular:
        return QStringLiteral("Cellular");
    }
    return {};
}

QString ReachabilityError::description() const
{
    switch (kind) {
    case Kind::failedToCreateWithAddress:
        return QStringLiteral("failedToCreateWithAddress (error %1)").arg(code);
    case Kind::failedToCreateWithHostname:
        return QStringLiteral("failedToCreateWithHostname %1 (error %2)").arg(hostname).arg(code);
    case Kind::unableToSetCallback:
        return QStringLiteral("unableToSetCallback (error %1)").arg(code);
    case Kind::unableToSetDispatchQueue:
        return QStringLiteral("unableToSetDispatchQueue (error %1)").arg(code);
    case Kind::unableToGetFlags:
        return QStringLiteral("unableToGetFlags (error %1)").arg(code);
    }
    return {};
}

namespace {
// What the flag source's callback holds: never the monitor itself, so the source cannot keep
// it alive, and a change delivered after the monitor is gone finds nothing to update.
struct ReachabilityWeakifier {
    QPointer<Reachability> reachability;
};
} // namespace

Reachability::Reachability(std::shared_ptr<ReachabilityFlagSource> source, QObject *parent)
    : QObject(parent)
    , notificationCenter(&NotificationCenter::defaultCenter())
    , m_source(std::move(source))
{
}

Reachability::~Reachability()
{
    stopNotifier();
}

std::unique_ptr<Reachability> Reachability::forDefaultRoute(ReachabilityError *error)
{
    int code = 0;
    // The platform's own monitor first, then whatever Qt has.
    std::shared_ptr<ReachabilityFlagSource> source;
    if (std::unique_ptr<ConnectivityMonitor> monitor = makeConnectivityMonitor())
        source = std::make_shared<ConnectivityFlagSource>(std::move(monitor));
    else
        source = NetworkInformationFlagSource::create(&code);
    if (!source) {
        if (error)
            *error = {ReachabilityError::Kind::failedToCreateWithAddress, code, {}};
        return nullptr;
    }
    return std::make_unique<Reachability>(std::move(source));
}

std::optional<ReachabilityError> Reachability::startNotifier()
{
    if (m_notifierRunning)
        return std::nullopt;
    auto weakifier = std::make_shared<ReachabilityWeakifier>();
    weakifier->reachability = this;
    int code = m_source->setCallback([weakifier](ReachabilityFlags flags) {
        if (Reachability *monitor = weakifier->reachability)
            monitor->setFlags(flags);
    });
    if (code != 0) {
        stopNotifier();
        return ReachabilityError{ReachabilityError::Kind::unableToSetCallback, code, {}};
    }
    code = m_source->setDelivering(true);
    if (code != 0) {
        stopNotifier();
        return ReachabilityError{ReachabilityError::Kind::unableToSetDispatchQueue, code, {}};
    }
    if (std::optional<ReachabilityError> error = readFlags())
        return error;
    m_notifierRunning = true;
    return std::nullopt;
}

void Reachability::stopNotifier()
{
    m_source->setCallback({});
    m_source->setDelivering(false);
    m_notifierRunning = false;
}

std::optional<ReachabilityError> Reachability::readFlags()
{
    ReachabilityFlags current;
    const int code = m_source->readFlags(current);
    if (code != 0) {
        stopNotifier();
        return ReachabilityError{ReachabilityError::Kind::unableToGetFlags, code, {}};
    }
    setFlags(current);
    return std::nullopt;
}

void Reachability::setFlags(ReachabilityFlags flags)
{
    if (m_flags == flags)
        return;
    m_flags = flags;
    // Observers run later on this thread, never inside the source's callback; a pending
    // delivery is dropped with the monitor.
    QMetaObject::invokeMethod(
        this, [this] { notifyChange(); }, Qt::QueuedConnection);
}

void Reachability::notifyChange()
{
    if (connection() != Connection::unavailable) {
        if (whenReachable)
            whenReachable(this);
    } else if (whenUnreachable) {
        whenUnreachable(this);
    }
    notificationCenter->post(changedNotification, QVariant::fromValue(this));
}

Connection Reachability::connection()
{
    if (!m_flags)
        readFlags();
    return connectionFor(m_flags);
}

// A computer has no cellular interface, so the result is never cellular and
// allowsCellularConnection never changes it.
Connection Reachability::connectionFor(std::optional<ReachabilityFlags> flags)
{
    if (!flags || !flags->testFlag(ReachabilityFlag::Reachable))
        return Connection::unavailable;
    if (flags->testFlag(ReachabilityFlag::ConnectionRequired)) {
        const bool automatic = flags->testFlag(ReachabilityFlag::ConnectionOnTraffic) ||
                               flags->testFlag(ReachabilityFlag::ConnectionOnDemand);
        if (!automatic || flags->testFlag(ReachabilityFlag::InterventionRequired))
            return Connection::unavailable;
    }
    return Connection::wifi;
}

NetworkStatus Reachability::currentReachabilityStatus()
{
    switch (connection()) {
    case Connection::wifi:
        return NetworkStatus::reachableViaWiFi;
    case Connection::cellular:
        return NetworkStatus::reachableViaWWAN;
    case Connection::unavailable:
        break;
    }
    return NetworkStatus::notReachable;
}

QString Reachability::description() const
{
    if (!m_flags)
        return QStringLiteral("unavailable flags");
    const ReachabilityFlags f = *m_flags;
    const auto bit = [f](ReachabilityFlag flag, char set) { return QLatin1Char(f.testFlag(flag) ? set : '-'); };
    QString text;
    // The first position is the cellular one: "-" on a computer, "X" off a real device.
    text += QLatin1Char(isRunningOnDevice ? '-' : 'X');
    text += bit(ReachabilityFlag::Reachable, 'R');
    text += QLatin1Char(' ');
    text += bit(ReachabilityFlag::ConnectionRequired, 'c');
    text += bit(ReachabilityFlag::TransientConnection, 't');
    text += bit(ReachabilityFlag::InterventionRequired, 'i');
    text += bit(ReachabilityFlag::ConnectionOnTraffic, 'C');
    text += bit(ReachabilityFlag::ConnectionOnDemand, 'D');
    text += bit(ReachabilityFlag::IsLocalAddress, 'l');
    text += bit(ReachabilityFlag::IsDirect, 'd');
    return text;
}
