#pragma once

#include "FocusState.h"
#include "storage/Storage.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QPair>
#include <QSet>
#include <optional>

// What signed-in requests read again and again, kept in memory for every HTTP thread of the
// process: the live token with its user, and per user the answers built from their lists
// (the categories, the blacklist pages). Bounded; an entry goes the moment its user changes.
//
// Only a server that is the only writer of its database may trust it (SQLite: one server owns
// the file). Several servers on PostgreSQL read a token from the database every time: a
// revocation through another server must hold on the very next request, and no notification
// between servers can be relied on to arrive before it.
class SessionCache
{
public:
    explicit SessionCache(bool enabled, qsizetype maxTokens = 16384, qsizetype maxAnswers = 16384);

    bool enabled() const { return m_enabled; }

    // Taken before reading the database; an entry made from what was read is kept only when
    // nothing changed meanwhile (a change between the read and the insert would be lost).
    quint64 generation() const;

    struct Session {
        TokenRow token;
        UserRow user;
    };
    std::optional<Session> session(const QByteArray &tokenHash) const;
    void keepSession(quint64 generation, const QByteArray &tokenHash, const Session &session);

    // An answer built from one user's rows, under a key of the caller's (language, page).
    std::optional<QByteArray> answer(qint64 userID, const QByteArray &key) const;
    void keepAnswer(quint64 generation, qint64 userID, const QByteArray &key, const QByteArray &body);

    // What the account status call answers besides the account: kept until it changes.
    struct AccountStatus {
        std::optional<PinRow> pin;
        QList<BlockedAppRow> apps;
        QHash<QString, DeviceRow> devices; // by computer
        FocusState focus;
    };
    std::optional<AccountStatus> status(qint64 userID) const;
    void keepStatus(quint64 generation, qint64 userID, const AccountStatus &status);

    // True when a status call repeats the last one recorded for its address, its user and its
    // computer alike (then the order of devices by their latest call stands as it is). Always
    // false when the cache is not trusted.
    bool repeatsLastSync(qint64 userID, const QString &platformID, const QString &address) const;
    // After the call was written to the database.
    void syncRecorded(qint64 userID, const QString &platformID, const QString &address);

    // The user's tokens or account changed (sign-out, password, profile, PIN check): all of the
    // user's entries go.
    void accountChanged(qint64 userID);
    // The user's lists, PIN, devices or blocked applications changed: the answers and the
    // account status kept for them go.
    void answersChanged(qint64 userID);

private:
    const bool m_enabled;
    const qsizetype m_maxTokens;
    const qsizetype m_maxAnswers;
    mutable QMutex m_mutex;
    quint64 m_generation = 0;
    QHash<QByteArray, Session> m_sessions;
    QHash<qint64, QSet<QByteArray>> m_tokensOfUser;
    QHash<qint64, QHash<QByteArray, QByteArray>> m_answers;
    qsizetype m_answerCount = 0;
    QHash<qint64, AccountStatus> m_statuses;
    // The last status call recorded: by address, by user, by computer.
    QHash<QString, QPair<qint64, QString>> m_lastAtAddress;
    QHash<qint64, QString> m_lastOfUser;
    QHash<QString, qint64> m_lastOnPlatform;
};
