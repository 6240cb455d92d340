#pragma once

#include "ReachabilityFlagSource.h"

#include <QNetworkInformation>
#include <QObject>
#include <memory>

// Reachability flags from Qt's network information backend (NetworkManager or GLib on
// Linux, the system's own elsewhere).
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
