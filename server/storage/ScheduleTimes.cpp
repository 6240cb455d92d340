#include "ScheduleTimes.h"

#include <QTimeZone>

namespace ScheduleTimes {
namespace {
QDateTime instant(const QDate &date, const QTime &time, const QTimeZone &zone)
{
    // Read with the offsets in force half a day before and after (no zone changes twice in a
    // day): each gives a candidate that stands if the zone has that offset at that instant.
    // Both stand for a time met twice (the first is taken), neither for a skipped one (read
    // with the offset before the change). Qt's own choice in those cases varies by zone.
    const QDateTime naive(date, time, QTimeZone::utc());
    const int before = zone.offsetFromUtc(naive.addSecs(-12 * 3600));
    const int after = zone.offsetFromUtc(naive.addSecs(12 * 3600));
    std::optional<QDateTime> found;
    for (const int offset : {before, after}) {
        const QDateTime candidate = naive.addSecs(-offset);
        if (zone.offsetFromUtc(candidate) == offset && (!found || candidate < *found))
            found = candidate;
    }
    return found ? *found : naive.addSecs(-before);
}

// The occurrences that start on local days first .. last.
QList<Occurrence> occurrences(const ScheduleRow &schedule, const QDate &first, const QDate &last)
{
    const QTimeZone zone(schedule.timeZone.toLatin1());
    const QTime start = QTime::fromString(schedule.start, QStringLiteral("HH:mm"));
    const QTime end = QTime::fromString(schedule.end, QStringLiteral("HH:mm"));
    QList<Occurrence> found;
    if (!zone.isValid() || !start.isValid() || !end.isValid())
        return found;
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        if (!schedule.days.contains(day.dayOfWeek()))
            continue;
        // An end at or before the start is on the next day.
        const QDate endDay = end <= start ? day.addDays(1) : day;
        found.append({instant(day, start, zone), instant(endDay, end, zone)});
    }
    return found;
}

QDate localDate(const ScheduleRow &schedule, const QDateTime &at)
{
    const QTimeZone zone(schedule.timeZone.toLatin1());
    return at.toTimeZone(zone.isValid() ? zone : QTimeZone::utc()).date();
}
} // namespace

std::optional<Occurrence> openAt(const ScheduleRow &schedule, const QDateTime &at)
{
    // An occurrence lasts at most a day (and an hour on a clock change): one that started
    // two local days ago has ended.
    const QDate today = localDate(schedule, at);
    for (const Occurrence &o : occurrences(schedule, today.addDays(-2), today)) {
        if (o.start <= at && at < o.end)
            return o;
    }
    return std::nullopt;
}

std::optional<QDateTime> nextEdge(const ScheduleRow &schedule, const QDateTime &at)
{
    const QDate today = localDate(schedule, at);
    std::optional<QDateTime> next;
    for (const Occurrence &o : occurrences(schedule, today.addDays(-2), today.addDays(8))) {
        for (const QDateTime &edge : {o.start, o.end}) {
            if (edge > at && (!next || edge < *next))
                next = edge;
        }
    }
    return next;
}
} // namespace ScheduleTimes
