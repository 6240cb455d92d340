#pragma once

#include "core/Clock.h"

#include <QList>

// A clock that stands still until the test moves it; due timers fire in time order.
class FakeClock : public Clock
{
public:
    FakeClock();
    ~FakeClock() override;

    QDateTime now() const override { return m_now; }
    int schedule(int ms, bool repeating, QObject *context, std::function<void()> fn) override;
    void cancel(int id) override;

    void advance(qint64 ms);
    // Intervals of the timers still pending, in the order they were scheduled.
    QList<int> pendingIntervals() const;
    // Called with the interval of every timer scheduled, when it is scheduled.
    std::function<void(int ms)> onSchedule;

private:
    struct Timer {
        int id;
        int interval;
        bool repeating;
        QPointer<QObject> context;
        std::function<void()> fn;
        QDateTime due;
    };
    QDateTime m_now;
    QList<Timer> m_timers;
    int m_nextId = 1;
};
