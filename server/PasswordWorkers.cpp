#include "PasswordWorkers.h"

#include <QMetaObject>
#include <sys/resource.h>
#include <unistd.h>

PasswordWorkers::PasswordWorkers(int workers, int maxWaiting)
    : m_workers(qMax(1, workers))
    , m_capacity(qMax(1, workers) + qMax(0, maxWaiting))
{
    m_pool.setMaxThreadCount(m_workers);
    // A hash holds 64 MiB while it runs; idle threads give it back.
    m_pool.setExpiryTimeout(30000);
}

PasswordWorkers::~PasswordWorkers()
{
    m_pool.waitForDone();
}

bool PasswordWorkers::run(QObject *context, std::function<void()> work, std::function<void()> then)
{
    if (m_inFlight.fetchAndAddOrdered(1) >= m_capacity) {
        m_inFlight.fetchAndAddOrdered(-1);
        return false;
    }
    m_pool.start([this, context, work = std::move(work), then = std::move(then)]() mutable {
        // Hashing yields the cores to the HTTP threads: reads stay quick while many sign in.
        thread_local const bool niced = ::setpriority(PRIO_PROCESS, ::gettid(), 10) == 0;
        Q_UNUSED(niced);
        work();
        m_inFlight.fetchAndAddOrdered(-1);
        // Posted to the context's thread; Qt drops the call when the context is deleted before
        // it runs. The context outlives the pool: the server destroys the pool first.
        QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
    });
    return true;
}
