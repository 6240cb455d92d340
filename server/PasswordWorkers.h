#pragma once

#include <QAtomicInt>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <functional>

// Password hashing and verification (Argon2id, tens of milliseconds and 64 MiB each) on a few
// threads of their own, so the HTTP threads keep answering while people sign in. The number
// waiting is bounded: when every worker is taken and the queue is full the caller is told at
// once and answers "try again in a moment" instead of letting the queue, and the latency of
// everybody behind it, grow without end. One per process, shared by the HTTP threads.
//
// The queue is shared fairly: one client address, and one account, have at most a few pieces of
// work in it at a time, so a flood from some addresses leaves room for the others; and a known
// device (one that shows a token its account gave it) has places of its own, taken ahead of the
// queue, so no flood from elsewhere stops the owner signing in.
class PasswordWorkers
{
public:
    // Whose work it is; empty keys are not counted.
    struct Share {
        QString address;
        QString account;
        bool knownDevice = false;
    };
    static constexpr int maxPerAddress = 2;
    static constexpr int maxPerAccount = 2;

    PasswordWorkers(int workers, int maxWaiting);
    // Waits for the work under way.
    ~PasswordWorkers();

    int workers() const { return m_workers; }
    // No room now: lets a caller refuse before doing any other work for the request.
    bool full(bool knownDevice = false) const;

    // Runs work on a worker, then then() on context's thread (dropped if context is gone by
    // then). False, and nothing runs, when there is no room for this share.
    bool run(QObject *context, const Share &share, std::function<void()> work, std::function<void()> then);
    bool run(QObject *context, std::function<void()> work, std::function<void()> then)
    {
        return run(context, Share(), std::move(work), std::move(then));
    }

private:
    bool claim(const Share &share);
    void release(const Share &share);

    QThreadPool m_pool;
    const int m_workers;
    const int m_capacity; // for everybody
    const int m_reserved; // beyond it, for known devices only
    QAtomicInt m_inFlight;
    QMutex m_mutex;
    QHash<QString, int> m_perAddress;
    QHash<QString, int> m_perAccount;
};
