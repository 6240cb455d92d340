#include "NetworkInformationFlagSource.h"

#include "platform/DefaultRoute.h"

std::shared_ptr<NetworkInformationFlagSource> NetworkInformationFlagSource::create(int *errorCode, Backends backends)
{
    // By name: asked by features, Qt may settle on its GLib backend, which brings GIO and its
    // modules (a few megabytes) even where NetworkManager runs.
    const bool loaded = QNetworkInformation::instance() ||
                        QNetworkInformation::loadBackendByName(u"networkmanager") ||
                        (backends == Backends::any &&
                         (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability) ||
                          QNetworkInformation::loadDefaultBackend()));
    if (!loaded) {
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

RouteFlagSource::RouteFlagSource(std::unique_ptr<DefaultRouteMonitor> monitor)
    : m_monitor(std::move(monitor))
{
}

RouteFlagSource::~RouteFlagSource() = default;

int RouteFlagSource::readFlags(ReachabilityFlags &flags)
{
    flags = m_monitor->hasDefaultRoute() ? ReachabilityFlags(ReachabilityFlag::Reachable) : ReachabilityFlags();
    return 0;
}

int RouteFlagSource::setCallback(Callback callback)
{
    m_callback = std::move(callback);
    return 0;
}

int RouteFlagSource::setDelivering(bool on)
{
    if (on == m_delivering)
        return 0;
    m_delivering = on;
    if (on) {
        connect(m_monitor.get(), &DefaultRouteMonitor::routesChanged, this, [this] {
            ReachabilityFlags flags;
            if (m_callback && readFlags(flags) == 0)
                m_callback(flags);
        });
    } else {
        disconnect(m_monitor.get(), nullptr, this, nullptr);
    }
    return 0;
}
