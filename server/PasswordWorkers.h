#pragma once

#include <QAtomicInt>
#include <QObject>
#include <QThreadPool>
#include <functional>

// Password hashing and verification (Argon2id, tens of milliseconds and 64 MiB each) on a few
// threads of their own, so the HTTP threads keep answering while people sign in. The number
// waiting is bounded: when every worker is taken and the queue is full the caller is told at
// once and answers "try again in a moment" instead of letting the queue, and the latency of
// everybody behind it, grow without end. One per process, shared by the HTTP threads.
class PasswordWorkers
{
public:
    PasswordWorkers(int workers, int maxWaiting);
    // Waits for the work under way.
    ~PasswordWorkers();

    int workers() const { return m_workers; }
    // No room now: lets a caller refuse before doing any other work for the request.
    bool full() const { return m_inFlight.loadRelaxed() >= m_capacity; }

    // Runs work on a worker, then then() on context's thread (dropped if context is gone by
    // then). False, and nothing runs, when the workers and the queue are full.
    bool run(QObject *context, std::function<void()> work, std::function<void()> then);

private:
    QThreadPool m_pool;
    const int m_workers;
    const int m_capacity;
    QAtomicInt m_inFlight;
};
