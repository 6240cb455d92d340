#include "Clock.h"

namespace {
Clock *installed = nullptr;
}

Clock &Clock::shared()
{
    static SystemClock system;
    return installed ? *installed : system;
}

void Clock::setShared(Clock *clock)
{
    installed = clock;
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

int SystemClock::schedule(int ms, bool repeating, QObject *context, std::function<void()> fn)
{
    auto *timer = new QTimer(context);
    timer->setSingleShot(!repeating);
    timer->setInterval(ms);
    const int id = m_nextId++;
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, id, repeating, fn = std::move(fn)] {
        if (!repeating) {
            m_timers.remove(id);
            timer->deleteLater();
        }
        fn();
    });
    m_timers.insert(id, timer);
    timer->start();
    return id;
}

void SystemClock::cancel(int id)
{
    if (QPointer<QTimer> timer = m_timers.take(id))
        timer->deleteLater();
}
