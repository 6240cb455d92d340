#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

// Time as the application sees it. Behaviour that waits (the watchdog, the start-up delay)
// asks the shared clock, so tests can move time forward instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Calls fn after ms milliseconds (again every ms when repeating) while context lives.
    virtual int schedule(int ms, bool repeating, QObject *context, std::function<void()> fn) = 0;
    virtual void cancel(int id) = 0;

    static Clock &shared();
    // Installs a clock for the process (tests); nullptr goes back to the system clock.
    static void setShared(Clock *clock);
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override;
    int schedule(int ms, bool repeating, QObject *context, std::function<void()> fn) override;
    void cancel(int id) override;

private:
    QHash<int, QPointer<QTimer>> m_timers;
    int m_nextId = 1;
};
