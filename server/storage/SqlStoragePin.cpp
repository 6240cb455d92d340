// The PIN of each account and its retrieval by e-mail.
#include "SqlStorageQuery.h"

using namespace SqlRows;

// PIN

std::optional<PinRow> SqlStorage::pinForUser(qint64 userID)
{
    static const QByteArray sql = withColumns("SELECT ", pinColumns, " FROM pins WHERE user_id = ?");
    Query q = query(sql.constData());
    q.bind(userID).exec();
    if (!q.next())
        return std::nullopt;
    return pinFrom(q);
}

std::optional<PinRow> SqlStorage::createPin(qint64 userID, const QByteArray &sealedPin, qint64 hours,
                                            const QDateTime &at)
{
    Query q = query("INSERT INTO pins (user_id, sealed_pin, hours, created_at, updated_at) VALUES (?, ?, ?, ?, ?)"
                    " ON CONFLICT (user_id) DO NOTHING RETURNING id");
    q.bind(userID).bind(QString::fromLatin1(sealedPin)).bind(hours).bind(ms(at)).bind(ms(at)).exec();
    if (!q.next())
        return std::nullopt;
    return pinForUser(userID);
}

std::optional<PinRow> SqlStorage::recordWrongPin(qint64 pinID, qint64 blockAfter, const QDateTime &blockedUntil,
                                                 const QDateTime &at)
{
    // One statement, so that two servers counting at once never lose a wrong PIN.
    static const QByteArray sql =
        withColumns("UPDATE pins SET"
                    " blocked_until = CASE WHEN failed_attempts + 1 >= ? THEN ? ELSE blocked_until END,"
                    " failed_attempts = CASE WHEN failed_attempts + 1 >= ? THEN 0 ELSE failed_attempts + 1 END,"
                    " updated_at = ?"
                    " WHERE id = ? RETURNING ",
                    pinColumns);
    Query q = query(sql.constData());
    q.bind(blockAfter).bind(ms(blockedUntil)).bind(blockAfter).bind(ms(at)).bind(pinID).exec();
    if (!q.next())
        return std::nullopt;
    return pinFrom(q);
}

bool SqlStorage::clearWrongPins(qint64 pinID, const QDateTime &at)
{
    Query q = query("UPDATE pins SET failed_attempts = 0, blocked_until = NULL, updated_at = ? WHERE id = ?");
    q.bind(ms(at)).bind(pinID).exec();
    return q.affected() == 1;
}

bool SqlStorage::replacePin(qint64 pinID, const QByteArray &sealedPin, const QDateTime &at)
{
    // A new PIN is known to its owner: a retrieval still waiting has nothing left to send.
    Query q = query("UPDATE pins SET sealed_pin = ?, retrieval_due_at = NULL, retrieval_sent_at = NULL,"
                    " retrieval_claimed_until = NULL, updated_at = ? WHERE id = ?");
    q.bind(QString::fromLatin1(sealedPin)).bind(ms(at)).bind(pinID).exec();
    return q.affected() == 1;
}

bool SqlStorage::deletePin(qint64 userID)
{
    Query q = query("DELETE FROM pins WHERE user_id = ?");
    q.bind(userID).exec();
    return q.affected() == 1;
}

bool SqlStorage::scheduleRetrieval(qint64 pinID, const QDateTime &dueAt, const QDateTime &at)
{
    Query q = query("UPDATE pins SET retrieval_due_at = ?, retrieval_sent_at = NULL, retrieval_claimed_until = NULL,"
                    " updated_at = ? WHERE id = ?");
    q.bind(ms(dueAt)).bind(ms(at)).bind(pinID).exec();
    return q.affected() == 1;
}

QList<PinRow> SqlStorage::retrievalsDue(const QDateTime &now)
{
    static const QByteArray sql = withColumns(
        "SELECT ", pinColumns,
        " FROM pins WHERE retrieval_due_at IS NOT NULL AND retrieval_due_at <= ? AND retrieval_sent_at IS NULL"
        " AND (retrieval_claimed_until IS NULL OR retrieval_claimed_until <= ?)"
        " ORDER BY retrieval_due_at");
    Query q = query(sql.constData());
    q.bind(ms(now)).bind(ms(now)).exec();
    QList<PinRow> rows;
    while (q.next())
        rows.append(pinFrom(q));
    return rows;
}

bool SqlStorage::claimRetrieval(qint64 pinID, const QDateTime &at, const QDateTime &claimedUntil)
{
    Query q = query("UPDATE pins SET retrieval_claimed_until = ? WHERE id = ? AND retrieval_due_at IS NOT NULL"
                    " AND retrieval_sent_at IS NULL"
                    " AND (retrieval_claimed_until IS NULL OR retrieval_claimed_until <= ?)");
    q.bind(ms(claimedUntil)).bind(pinID).bind(ms(at)).exec();
    return q.affected() == 1;
}

bool SqlStorage::markRetrievalSent(qint64 pinID, const QDateTime &at)
{
    Query q = query("UPDATE pins SET retrieval_sent_at = ?, retrieval_claimed_until = NULL WHERE id = ?"
                    " AND retrieval_due_at IS NOT NULL");
    q.bind(ms(at)).bind(pinID).exec();
    return q.affected() == 1;
}

void SqlStorage::releaseRetrieval(qint64 pinID)
{
    query("UPDATE pins SET retrieval_claimed_until = NULL WHERE id = ?").bind(pinID).exec();
}
