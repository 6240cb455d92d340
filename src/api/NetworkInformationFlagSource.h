#pragma once

#include "ReachabilityFlagSource.h"

#include <QNetworkInformation>
#include <QObject>
#include <memory>

class DefaultRouteMonitor;

// Reachability flags from Qt's network information backend (NetworkManager on Linux, the
// system's own elsewhere).
class NetworkInformationFlagSource : public QObject, public ReachabilityFlagSource
{
    Q_OBJECT
public:
    static constexpr int noBackend = 1;

    // Where a backend of Qt's is worth what it costs: NetworkManager's (it also sees captive
    // portals), or any at all.
    enum class Backends { networkManager, any };
    // Loads a backend that reports reachability; no value (and *errorCode) when none loads.
    static std::shared_ptr<NetworkInformationFlagSource> create(int *errorCode = nullptr,
                                                                Backends backends = Backends::any);

    static ReachabilityFlags flagsFor(QNetworkInformation::Reachability reachability, bool behindCaptivePortal);

    int readFlags(ReachabilityFlags &flags) override;
    int setCallback(Callback callback) override;
    int setDelivering(bool on) override;

private:
    NetworkInformationFlagSource() = default;
    void deliver();

    Callback m_callback;
    bool m_delivering = false;
};

// Reachability from the default route alone: reachable while there is one.
class RouteFlagSource : public QObject, public ReachabilityFlagSource
{
    Q_OBJECT
public:
    explicit RouteFlagSource(std::unique_ptr<DefaultRouteMonitor> monitor);
    ~RouteFlagSource() override;

    int readFlags(ReachabilityFlags &flags) override;
    int setCallback(Callback callback) override;
    int setDelivering(bool on) override;

private:
    std::unique_ptr<DefaultRouteMonitor> m_monitor;
    Callback m_callback;
    bool m_delivering = false;
};
