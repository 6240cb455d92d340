#include "FakeClock.h"


FakeClock::FakeClock()
    : m_now(QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC))
{
    Clock::setShared(this);
}

FakeClock::~FakeClock()
{
    if (&Clock::shared() == this)
        Clock::setShared(nullptr);
}

int FakeClock::schedule(int ms, bool repeating, QObject *context, std::function<void()> fn)
{
    const int id = m_nextId++;
    if (onSchedule)
        onSchedule(ms);
    m_timers.append({id, ms, repeating, context, std::move(fn), m_now.addMSecs(ms)});
    return id;
}

void FakeClock::cancel(int id)
{
    m_timers.removeIf([id](const Timer &t) { return t.id == id; });
}

void FakeClock::advance(qint64 ms)
{
    const QDateTime end = m_now.addMSecs(ms);
    for (;;) {
        m_timers.removeIf([](const Timer &t) { return t.context.isNull(); });
        auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                     [](const Timer &a, const Timer &b) { return a.due < b.due; });
        if (next == m_timers.end() || next->due > end)
            break;
        m_now = next->due;
        std::function<void()> fn = next->fn;
        if (next->repeating)
            next->due = next->due.addMSecs(next->interval);
        else
            m_timers.erase(next);
        fn();
    }
    m_now = end;
}

QList<int> FakeClock::pendingIntervals() const
{
    QList<int> out;
    for (const Timer &t : m_timers) {
        if (!t.context.isNull())
            out.append(t.interval);
    }
    return out;
}
