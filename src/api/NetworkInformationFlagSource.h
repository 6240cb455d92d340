#pragma once

#include "ReachabilityFlagSource.h"
#include "platform/Connectivity.h"

#include <QNetworkInformation>
#include <QObject>
#include <memory>

// Reachability flags from Qt's network information backend: where the platform has no
// connectivity monitor of its own.
class NetworkInformationFlagSource : public QObject, public ReachabilityFlagSource
{
    Q_OBJECT
public:
    static constexpr int noBackend = 1;

    // Loads a backend that reports reachability; no value (and *errorCode) when none loads.
    static std::shared_ptr<NetworkInformationFlagSource> create(int *errorCode = nullptr);

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

// Reachability flags from the platform's connectivity monitor.
class ConnectivityFlagSource : public QObject, public ReachabilityFlagSource
{
    Q_OBJECT
public:
    explicit ConnectivityFlagSource(std::unique_ptr<ConnectivityMonitor> monitor);
    ~ConnectivityFlagSource() override;

    static ReachabilityFlags flagsFor(const Connectivity &connectivity);

    int readFlags(ReachabilityFlags &flags) override;
    int setCallback(Callback callback) override;
    int setDelivering(bool on) override;

private:
    std::unique_ptr<ConnectivityMonitor> m_monitor;
    Callback m_callback;
    bool m_delivering = false;
};
