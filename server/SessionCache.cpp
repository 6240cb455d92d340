#include "SessionCache.h"

#include <QMutexLocker>

SessionCache::SessionCache(bool enabled, qsizetype maxTokens, qsizetype maxAnswers)
    : m_enabled(enabled)
    , m_maxTokens(maxTokens)
    , m_maxAnswers(maxAnswers)
{
}

quint64 SessionCache::generation() const
{
    QMutexLocker lock(&m_mutex);
    return m_generation;
}

std::optional<SessionCache::Session> SessionCache::session(const QByteArray &tokenHash) const
{
    if (!m_enabled)
        return std::nullopt;
    QMutexLocker lock(&m_mutex);
    const auto it = m_sessions.constFind(tokenHash);
    if (it == m_sessions.constEnd())
        return std::nullopt;
    return *it;
}

void SessionCache::keepSession(quint64 generation, const QByteArray &tokenHash, const Session &session)
{
    if (!m_enabled)
        return;
    QMutexLocker lock(&m_mutex);
    if (generation != m_generation)
        return;
    // Full: start again rather than track ages; the sessions in use come back at once.
    if (m_sessions.size() >= m_maxTokens) {
        m_sessions.clear();
        m_tokensOfUser.clear();
    }
    m_sessions.insert(tokenHash, session);
    m_tokensOfUser[session.user.id].insert(tokenHash);
}

std::optional<QByteArray> SessionCache::answer(qint64 userID, const QByteArray &key) const
{
    if (!m_enabled)
        return std::nullopt;
    QMutexLocker lock(&m_mutex);
    const auto user = m_answers.constFind(userID);
    if (user == m_answers.constEnd())
        return std::nullopt;
    const auto it = user->constFind(key);
    if (it == user->constEnd())
        return std::nullopt;
    return *it;
}

void SessionCache::keepAnswer(quint64 generation, qint64 userID, const QByteArray &key, const QByteArray &body)
{
    if (!m_enabled)
        return;
    QMutexLocker lock(&m_mutex);
    if (generation != m_generation)
        return;
    if (m_answerCount >= m_maxAnswers) {
        m_answers.clear();
        m_answerCount = 0;
    }
    QHash<QByteArray, QByteArray> &answers = m_answers[userID];
    if (!answers.contains(key))
        ++m_answerCount;
    answers.insert(key, body);
}

void SessionCache::accountChanged(qint64 userID)
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    for (const QByteArray &hash : m_tokensOfUser.take(userID))
        m_sessions.remove(hash);
    m_answerCount -= m_answers.take(userID).size();
    m_statuses.remove(userID);
}

void SessionCache::answersChanged(qint64 userID)
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    m_answerCount -= m_answers.take(userID).size();
    m_statuses.remove(userID);
}

std::optional<SessionCache::AccountStatus> SessionCache::status(qint64 userID) const
{
    if (!m_enabled)
        return std::nullopt;
    QMutexLocker lock(&m_mutex);
    const auto it = m_statuses.constFind(userID);
    if (it == m_statuses.constEnd())
        return std::nullopt;
    return *it;
}

void SessionCache::keepStatus(quint64 generation, qint64 userID, const AccountStatus &status)
{
    if (!m_enabled)
        return;
    QMutexLocker lock(&m_mutex);
    if (generation != m_generation)
        return;
    if (m_statuses.size() >= m_maxTokens)
        m_statuses.clear();
    m_statuses.insert(userID, status);
}

bool SessionCache::repeatsLastSync(qint64 userID, const QString &platformID, const QString &address) const
{
    if (!m_enabled)
        return false;
    QMutexLocker lock(&m_mutex);
    const auto last = m_lastAtAddress.constFind(address);
    return last != m_lastAtAddress.constEnd() && last->first == userID && last->second == platformID &&
           m_lastOfUser.value(userID) == platformID && m_lastOnPlatform.value(platformID) == userID;
}

void SessionCache::syncRecorded(qint64 userID, const QString &platformID, const QString &address)
{
    if (!m_enabled)
        return;
    QMutexLocker lock(&m_mutex);
    if (m_lastAtAddress.size() >= m_maxTokens || m_lastOfUser.size() >= m_maxTokens ||
        m_lastOnPlatform.size() >= m_maxTokens) {
        m_lastAtAddress.clear();
        m_lastOfUser.clear();
        m_lastOnPlatform.clear();
    }
    m_lastAtAddress.insert(address, {userID, platformID});
    m_lastOfUser.insert(userID, platformID);
    m_lastOnPlatform.insert(platformID, userID);
}
