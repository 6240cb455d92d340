#pragma once

#include "api/ReachabilityFlagSource.h"

// Reachability flags the test sets, delivered the way the system would deliver a change.
class FakeFlagSource : public ReachabilityFlagSource
{
public:
    explicit FakeFlagSource(ReachabilityFlags initial = ReachabilityFlag::Reachable)
        : current(initial)
    {
    }

    int readFlags(ReachabilityFlags &flags) override
    {
        ++reads;
        if (readError)
            return readError;
        flags = current;
        return 0;
    }
    int setCallback(Callback cb) override
    {
        if (cb && callbackError)
            return callbackError;
        if (cb)
            lastInstalled = cb;
        callback = std::move(cb);
        return 0;
    }
    int setDelivering(bool on) override
    {
        if (on && deliveringError)
            return deliveringError;
        delivering = on;
        return 0;
    }

    // A change of the network: new flags, delivered when the monitor listens.
    void change(ReachabilityFlags flags)
    {
        current = flags;
        if (callback && delivering)
            callback(flags);
    }

    ReachabilityFlags current;
    int readError = 0;
    int callbackError = 0;
    int deliveringError = 0;
    int reads = 0;
    bool delivering = false;
    Callback callback;
    // Kept after the monitor removed it, to play a delivery that was already under way.
    Callback lastInstalled;
};
