// Focus sessions and weekly windows: what adds to the account's blocks for a time.
#include "SqlStorageQuery.h"

using namespace SqlRows;

namespace {
QString joined(const QList<qint64> &numbers)
{
    QStringList texts;
    for (const qint64 n : numbers)
        texts.append(QString::number(n));
    return texts.join(QLatin1Char(','));
}

QList<qint64> numbersOf(const QString &text)
{
    QList<qint64> numbers;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        numbers.append(part.toLongLong());
    return numbers;
}

QStringList namesOf(const QString &text)
{
    return text.split(QLatin1Char(','), Qt::SkipEmptyParts);
}
} // namespace

std::optional<FocusSessionRow> SqlStorage::startFocusSession(const FocusSessionRow &session)
{
    // The claim on the account's row is the one conditional step: of two servers starting a
    // session at once, one changes the row and the other finds it taken.
    {
        Query claim =
            query("UPDATE users SET focus_until = ? WHERE id = ? AND (focus_until IS NULL OR focus_until <= ?)");
        claim.bind(ms(session.endsAt)).bind(session.userID).bind(ms(session.startedAt)).exec();
        if (claim.affected() != 1)
            return std::nullopt;
    }
    Query q = query("INSERT INTO focus_sessions (user_id, started_at, ends_at, websites, categories)"
                    " VALUES (?, ?, ?, ?, ?) RETURNING id");
    q.bind(session.userID)
        .bind(ms(session.startedAt))
        .bind(ms(session.endsAt))
        .bind(session.websites.join(QLatin1Char(',')))
        .bind(joined(session.categories))
        .exec();
    if (!q.next())
        throw StorageError("the focus session was not stored");
    FocusSessionRow row = session;
    row.id = q.integer(0);
    return row;
}

std::optional<FocusSessionRow> SqlStorage::latestFocusSession(qint64 userID)
{
    Query q = query("SELECT id, user_id, started_at, ends_at, websites, categories FROM focus_sessions"
                    " WHERE user_id = ? ORDER BY ends_at DESC, id DESC LIMIT 1");
    q.bind(userID).exec();
    if (!q.next())
        return std::nullopt;
    return FocusSessionRow{q.integer(0),       q.integer(1),       timeOf(q.value(2)),
                           timeOf(q.value(3)), namesOf(q.text(4)), numbersOf(q.text(5))};
}
