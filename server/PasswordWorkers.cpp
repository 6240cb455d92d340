#include "PasswordWorkers.h"

#include <QMetaObject>
#include <sys/resource.h>
#include <unistd.h>

PasswordWorkers::PasswordWorkers(int workers, int maxWaiting)
    : m_workers(qMax(1, workers))
    , m_capacity(qMax(1, workers) + qMax(0, maxWaiting))
    , m_reserved(qMax(1, workers) * 2)
{
    m_pool.setMaxThreadCount(m_workers);
    // A hash holds 64 MiB while it runs; idle threads give it back.
    m_pool.setExpiryTimeout(30000);
}

PasswordWorkers::~PasswordWorkers()
{
    m_pool.waitForDone();
}

bool PasswordWorkers::full(bool knownDevice) const
{
    return m_inFlight.loadRelaxed() >= m_capacity + (knownDevice ? m_reserved : 0);
}

bool PasswordWorkers::claim(const Share &share)
{
    QMutexLocker lock(&m_mutex);
    if (m_inFlight.loadRelaxed() >= m_capacity + (share.knownDevice ? m_reserved : 0))
        return false;
    // A known device is not held to the shares: a flood in its name or from its network would
    // otherwise take its places.
    if (!share.knownDevice && ((!share.address.isEmpty() && m_perAddress.value(share.address) >= maxPerAddress) ||
                               (!share.account.isEmpty() && m_perAccount.value(share.account) >= maxPerAccount)))
        return false;
    m_inFlight.fetchAndAddOrdered(1);
    if (!share.address.isEmpty())
        ++m_perAddress[share.address];
    if (!share.account.isEmpty())
        ++m_perAccount[share.account];
    return true;
}

void PasswordWorkers::release(const Share &share)
{
    QMutexLocker lock(&m_mutex);
    m_inFlight.fetchAndAddOrdered(-1);
    for (auto [counts, key] : {std::pair{&m_perAddress, share.address}, std::pair{&m_perAccount, share.account}}) {
        if (key.isEmpty())
            continue;
        auto count = counts->find(key);
        if (count != counts->end() && --*count <= 0)
            counts->erase(count);
    }
}

bool PasswordWorkers::run(QObject *context, const Share &share, std::function<void()> work, std::function<void()> then)
{
    if (!claim(share))
        return false;
    m_pool.start(
        [this, context, share, work = std::move(work), then = std::move(then)]() mutable {
            // Hashing yields the cores to the HTTP threads: reads stay quick while many sign in.
            thread_local const bool niced = ::setpriority(PRIO_PROCESS, ::gettid(), 10) == 0;
            Q_UNUSED(niced);
            work();
            release(share);
            // Posted to the context's thread; Qt drops the call when the context is deleted
            // before it runs. The context outlives the pool: the server destroys the pool first.
            QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
        },
        share.knownDevice ? 1 : 0); // ahead of the queue
    return true;
}
