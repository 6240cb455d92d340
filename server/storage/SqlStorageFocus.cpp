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

namespace {
const char *const scheduleColumns =
    "id, user_id, name, days, start_time, end_time, time_zone, websites, categories, locks, updated_at";

ScheduleRow scheduleFrom(const auto &q)
{
    ScheduleRow row;
    row.id = q.integer(0);
    row.userID = q.integer(1);
    row.name = q.text(2);
    row.days = numbersOf(q.text(3));
    row.start = q.text(4);
    row.end = q.text(5);
    row.timeZone = q.text(6);
    row.websites = namesOf(q.text(7));
    row.categories = numbersOf(q.text(8));
    row.locks = q.integer(9) != 0;
    row.updatedAt = timeOf(q.value(10));
    return row;
}
} // namespace

QList<ScheduleRow> SqlStorage::schedules(qint64 userID)
{
    static const QByteArray sql =
        withColumns("SELECT ", scheduleColumns, " FROM schedules WHERE user_id = ? ORDER BY id");
    Query q = query(sql.constData());
    q.bind(userID).exec();
    QList<ScheduleRow> rows;
    while (q.next())
        rows.append(scheduleFrom(q));
    return rows;
}

std::optional<ScheduleRow> SqlStorage::saveSchedule(const ScheduleRow &schedule, qint64 maxCount)
{
    ScheduleRow row = schedule;
    // A window's own columns, in the order both statements name them.
    auto bindWindow = [&row](Query &q) -> Query & {
        return q.bind(row.name)
            .bind(joined(row.days))
            .bind(row.start)
            .bind(row.end)
            .bind(row.timeZone)
            .bind(row.websites.join(QLatin1Char(',')))
            .bind(joined(row.categories))
            .bind(row.locks ? 1 : 0)
            .bind(ms(row.updatedAt));
    };
    if (row.id == 0) {
        // Inserted, then counted with the ones made before it: of two requests at once past the
        // limit, neither keeps its window.
        Query q = query("INSERT INTO schedules (user_id, name, days, start_time, end_time, time_zone, websites,"
                        " categories, locks, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
        bindWindow(q.bind(row.userID)).exec();
        if (!q.next())
            throw StorageError("the schedule was not stored");
        row.id = q.integer(0);
        Query count = query("SELECT COUNT(*) FROM schedules WHERE user_id = ? AND id <= ?");
        count.bind(row.userID).bind(row.id).exec();
        if ((count.next() ? count.integer(0) : 0) <= maxCount)
            return row;
        deleteSchedule(row.userID, row.id);
        return std::nullopt;
    }
    Query q = query("UPDATE schedules SET name = ?, days = ?, start_time = ?, end_time = ?, time_zone = ?,"
                    " websites = ?, categories = ?, locks = ?, updated_at = ? WHERE id = ? AND user_id = ?");
    bindWindow(q).bind(row.id).bind(row.userID).exec();
    if (q.affected() != 1)
        return std::nullopt;
    return row;
}

bool SqlStorage::deleteSchedule(qint64 userID, qint64 scheduleID)
{
    Query q = query("DELETE FROM schedules WHERE id = ? AND user_id = ?");
    q.bind(scheduleID).bind(userID).exec();
    return q.affected() == 1;
}
