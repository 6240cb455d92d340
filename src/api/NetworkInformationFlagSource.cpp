#include "NetworkInformationFlagSource.h"


std::shared_ptr<NetworkInformationFlagSource> NetworkInformationFlagSource::create(int *errorCode)
{
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability) &&
        !QNetworkInformation::loadDefaultBackend()) {
        if (errorCode)
            *errorCode = noBackend;
        return nullptr;
    }
    return std::shared_ptr<NetworkInformationFlagSource>(new NetworkInformationFlagSource);
}

ReachabilityFlags NetworkInformationFlagSource::flagsFor(QNetworkInformation::Reachability reachability,
                                                         bool behindCaptivePortal)
{
    using R = QNetworkInformation::Reachability;
    ReachabilityFlags flags;
    switch (reachability) {
    case R::Disconnected:
        return flags;
    case R::Local:
        // A route on the local segment only, as a system reachability service reports it.
        flags = ReachabilityFlag::Reachable | ReachabilityFlag::IsDirect;
        break;
    case R::Unknown: // a backend that cannot tell must not lock the user out: let requests try
    case R::Site:
    case R::Online:
        flags = ReachabilityFlag::Reachable;
        break;
    }
    if (behindCaptivePortal)
        flags |= ReachabilityFlag::ConnectionRequired | ReachabilityFlag::InterventionRequired;
    return flags;
}

int NetworkInformationFlagSource::readFlags(ReachabilityFlags &flags)
{
    const QNetworkInformation *info = QNetworkInformation::instance();
    if (!info)
        return noBackend;
    flags = flagsFor(info->reachability(), info->isBehindCaptivePortal());
    return 0;
}

int NetworkInformationFlagSource::setCallback(Callback callback)
{
    m_callback = std::move(callback);
    return 0;
}

int NetworkInformationFlagSource::setDelivering(bool on)
{
    QNetworkInformation *info = QNetworkInformation::instance();
    if (!info)
        return noBackend;
    if (on == m_delivering)
        return 0;
    m_delivering = on;
    if (on) {
        connect(info, &QNetworkInformation::reachabilityChanged, this, &NetworkInformationFlagSource::deliver);
        connect(info, &QNetworkInformation::isBehindCaptivePortalChanged, this, &NetworkInformationFlagSource::deliver);
    } else {
        disconnect(info, nullptr, this, nullptr);
    }
    return 0;
}

void NetworkInformationFlagSource::deliver()
{
    ReachabilityFlags flags;
    if (m_callback && readFlags(flags) == 0)
        m_callback(flags);
}

ConnectivityFlagSource::ConnectivityFlagSource(std::unique_ptr<ConnectivityMonitor> monitor)
    : m_monitor(std::move(monitor))
{
}

ConnectivityFlagSource::~ConnectivityFlagSource() = default;

ReachabilityFlags ConnectivityFlagSource::flagsFor(const Connectivity &connectivity)
{
    if (!connectivity.reachable)
        return {};
    ReachabilityFlags flags = ReachabilityFlag::Reachable;
    if (connectivity.captivePortal)
        flags |= ReachabilityFlag::ConnectionRequired | ReachabilityFlag::InterventionRequired;
    return flags;
}

int ConnectivityFlagSource::readFlags(ReachabilityFlags &flags)
{
    flags = flagsFor(m_monitor->connectivity());
    return 0;
}

int ConnectivityFlagSource::setCallback(Callback callback)
{
    m_callback = std::move(callback);
    return 0;
}

int ConnectivityFlagSource::setDelivering(bool on)
{
    if (on == m_delivering)
        return 0;
    m_delivering = on;
    if (on) {
        connect(m_monitor.get(), &ConnectivityMonitor::changed, this, [this] {
            ReachabilityFlags flags;
            if (m_callback && readFlags(flags) == 0)
                m_callback(flags);
        });
    } else {
        disconnect(m_monitor.get(), nullptr, this, nullptr);
    }
    return 0;
}
