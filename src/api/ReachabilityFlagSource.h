#pragma once

#include <QFlags>
#include <functional>

// Reachability of the default route, as bits with the values the rest of the system knows.
enum class ReachabilityFlag : unsigned {
    TransientConnection = 1u << 0,
    Reachable = 1u << 1,
    ConnectionRequired = 1u << 2,
    ConnectionOnTraffic = 1u << 3,
    InterventionRequired = 1u << 4,
    ConnectionOnDemand = 1u << 5,
    IsLocalAddress = 1u << 16,
    IsDirect = 1u << 17,
};
Q_DECLARE_FLAGS(ReachabilityFlags, ReachabilityFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(ReachabilityFlags)

// Where a Reachability monitor gets its flags: the system's network information in the
// application, a double the test drives in tests. Operations return 0 or an error code.
// Changes are delivered on the thread of the monitor that installed the callback.
class ReachabilityFlagSource
{
public:
    using Callback = std::function<void(ReachabilityFlags flags)>;

    virtual ~ReachabilityFlagSource() = default;
    virtual int readFlags(ReachabilityFlags &flags) = 0;
    // An empty callback removes the current one.
    virtual int setCallback(Callback callback) = 0;
    // Starts or stops delivering changes to the callback.
    virtual int setDelivering(bool on) = 0;
};
