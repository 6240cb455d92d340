#pragma once

// What the parts of SqlStorage share and nobody else sees: the prepared statement wrapper and
// the conversions between rows and values. Included by SqlStorage*.cpp only.

#include "SqlStorage.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

namespace SqlRows {
inline QVariant ms(const QDateTime &time)
{
    return QVariant(qlonglong(time.toMSecsSinceEpoch()));
}

inline QDateTime timeOf(const QVariant &value)
{
    return QDateTime::fromMSecsSinceEpoch(value.toLongLong(), QTimeZone::utc());
}

inline std::optional<QDateTime> optionalTimeOf(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return timeOf(value);
}

inline QString emailKey(const QString &email)
{
    return email.trimmed().toLower();
}

inline const char *const userColumns =
    "id, name, email, device_name, social_media, profile_id, password_hash, created_at, updated_at";
inline const char *const tokenColumns = "id, user_id, created_at, expires_at, revoked_at, pin_verified_until";
inline const char *const pinColumns = "id, user_id, sealed_pin, hours, failed_attempts, blocked_until, retrieval_due_at, "
                               "retrieval_sent_at, created_at, updated_at";

UserRow userFrom(const auto &q)
{
    UserRow row;
    row.id = q.integer(0);
    row.name = q.text(1);
    row.email = q.text(2);
    row.deviceName = q.text(3);
    row.socialMedia = q.integer(4);
    row.profileID = q.text(5);
    row.passwordHash = q.text(6);
    row.createdAt = timeOf(q.value(7));
    row.updatedAt = timeOf(q.value(8));
    return row;
}

TokenRow tokenFrom(const auto &q)
{
    TokenRow row;
    row.id = q.integer(0);
    row.userID = q.integer(1);
    row.createdAt = timeOf(q.value(2));
    row.expiresAt = timeOf(q.value(3));
    row.revokedAt = optionalTimeOf(q.value(4));
    row.pinVerifiedUntil = optionalTimeOf(q.value(5));
    return row;
}

PinRow pinFrom(const auto &q)
{
    PinRow row;
    row.id = q.integer(0);
    row.userID = q.integer(1);
    row.sealedPin = q.text(2).toLatin1();
    row.hours = q.integer(3);
    row.failedAttempts = q.integer(4);
    row.blockedUntil = optionalTimeOf(q.value(5));
    row.retrievalDueAt = optionalTimeOf(q.value(6));
    row.retrievalSentAt = optionalTimeOf(q.value(7));
    row.createdAt = timeOf(q.value(8));
    row.updatedAt = timeOf(q.value(9));
    return row;
}

// Statements with a column list spliced in are built once per call site.
inline QByteArray withColumns(const char *before, const char *columns, const char *after = "")
{
    return QByteArray(before) + columns + after;
}
} // namespace SqlRows

// A prepared statement that throws StorageError when the database refuses it. The message
// names the statement, never the values bound to it.
class SqlStorage::Query
{
public:
    Query(const SqlStorage &storage, const char *sql)
        : m_own(storage.m_db)
        , m_storage(storage)
        , m_sql(sql)
    {
        m_own.setForwardOnly(true);
        ++m_storage.m_liveQueries;
    }
    // Steps the statement to its end. SQLite runs its automatic WAL checkpoint only when a
    // statement that wrote reaches its end in a step: an "INSERT ... RETURNING" left after its
    // first row commits when it is finalized, without the checkpoint, and the WAL then grows
    // without bound. A kept statement is then reset, so it holds no read snapshot.
    ~Query()
    {
        while (m_query->isActive() && m_query->next()) {
        }
        if (m_query != &m_own)
            m_query->finish();
        if (--m_storage.m_liveQueries == 0)
            m_storage.m_retired.clear();
    }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;
    Query &bind(const QVariant &value)
    {
        // Qt binds a null QString as SQL NULL; an empty text is a text.
        if (value.typeId() == QMetaType::QString && value.toString().isNull())
            m_values.append(QStringLiteral(""));
        else
            m_values.append(value);
        return *this;
    }
    Query &exec()
    {
        // While the database is away, no statement is tried on the closed connection.
        if (m_storage.m_away)
            m_storage.recover(true);
        if (run())
            return *this;
        // A read runs again on a connection made anew; a write might have been done already.
        if (m_storage.recover(qstrncmp(m_sql, "SELECT", 6) == 0)) {
            m_own = QSqlQuery(m_storage.m_db);
            m_own.setForwardOnly(true);
            m_query = &m_own;
            if (run())
                return *this;
        }
        fail();
    }
    bool next() { return m_query->next(); }
    QVariant value(int column) const { return m_query->value(column); }
    qint64 integer(int column) const { return m_query->value(column).toLongLong(); }
    QString text(int column) const { return m_query->value(column).toString(); }
    int affected() const { return m_query->numRowsAffected(); }

private:
    bool run()
    {
        // PostgreSQL prepares only queries and changes of rows, so a statement without values
        // (the table definitions) runs as it is.
        if (m_values.isEmpty())
            return m_own.exec(QString::fromLatin1(m_sql));
        m_query = kept();
        if (!m_query) {
            m_query = &m_own;
            if (!m_own.prepare(QString::fromLatin1(m_sql)))
                return false;
        }
        for (qsizetype i = 0; i < m_values.size(); ++i)
            m_query->bindValue(int(i), m_values[i]);
        return m_query->exec();
    }

    // The statement prepared at its first use on this connection, unless it is in use by a
    // caller further up (then this one is prepared on its own).
    QSqlQuery *kept()
    {
        Prepared &prepared = m_storage.m_prepared;
        const QByteArray key = QByteArray::fromRawData(m_sql, qstrlen(m_sql));
        auto it = prepared.find(key);
        if (it == prepared.end()) {
            auto statement = std::make_unique<QSqlQuery>(m_storage.m_db);
            statement->setForwardOnly(true);
            if (!statement->prepare(QString::fromLatin1(m_sql)))
                return nullptr;
            it = prepared.emplace(QByteArray(m_sql), std::move(statement)).first;
        }
        return it->second->isActive() ? nullptr : it->second.get();
    }

    [[noreturn]] void fail()
    {
        QString statement = QString::fromLatin1(m_sql).simplified();
        if (statement.size() > 60)
            statement = statement.left(60) + QStringLiteral("...");
        throw StorageError(
            QStringLiteral("database error in \"%1\": %2").arg(statement, m_query->lastError().text()).toStdString());
    }

    QSqlQuery m_own;
    const SqlStorage &m_storage;
    QSqlQuery *m_query = &m_own;
    const char *m_sql;
    QVariantList m_values;
};
