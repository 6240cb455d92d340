#pragma once

#include <QObject>
#include <memory>

// Whether the network reaches beyond this computer, as the system knows it.
struct Connectivity
{
    bool reachable = true;
    bool captivePortal = false; // reachable, but only a sign-in page answers

    friend bool operator==(const Connectivity &, const Connectivity &) = default;
};

// The system's report of connectivity, with news when it may have changed.
class ConnectivityMonitor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual Connectivity connectivity() const = 0;

signals:
    void changed();
};

// NetworkManager's report where it runs, else the kernel's routes; none where the system
// gives no such news (the caller then asks Qt's network information).
std::unique_ptr<ConnectivityMonitor> makeConnectivityMonitor();
