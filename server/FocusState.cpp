#include "FocusState.h"

#include "ApiSupport.h"
#include "storage/ScheduleTimes.h"

#include <QTimeZone>

using namespace ApiSupport;

FocusState FocusState::read(Storage &storage, qint64 userID)
{
    FocusState state;
    state.session = storage.latestFocusSession(userID);
    state.schedules = storage.schedules(userID);
    return state;
}

std::optional<FocusSessionRow> FocusState::running(const QDateTime &now) const
{
    if (session && session->startedAt <= now && now < session->endsAt)
        return session;
    return std::nullopt;
}

std::optional<FocusState::Lock> FocusState::lockAt(const QDateTime &now) const
{
    std::optional<Lock> lock;
    if (const std::optional<FocusSessionRow> on = running(now))
        lock = Lock{on->endsAt, std::nullopt};
    // A locking window open when the lock would end carries it on: follow the chain (each step
    // moves the end later, so it stops within one step a window).
    for (qsizetype step = 0; step <= schedules.size(); ++step) {
        const QDateTime at = lock ? lock->until : now;
        bool extended = false;
        for (const ScheduleRow &schedule : schedules) {
            if (!schedule.locks)
                continue;
            const std::optional<ScheduleTimes::Occurrence> open = ScheduleTimes::openAt(schedule, at);
            if (open && (!lock || open->end > lock->until)) {
                lock = Lock{open->end, schedule.name};
                extended = true;
            }
        }
        if (!extended)
            break;
    }
    return lock;
}

std::optional<QDateTime> FocusState::nextEdge(const QDateTime &now) const
{
    std::optional<QDateTime> next;
    for (const ScheduleRow &schedule : schedules) {
        const std::optional<QDateTime> edge = ScheduleTimes::nextEdge(schedule, now);
        if (edge && (!next || *edge < *next))
            next = edge;
    }
    return next;
}

qint64 FocusState::lockSeconds(const QDateTime &now) const
{
    const std::optional<Lock> lock = lockAt(now);
    // Rounded up: a lock with half a second left still holds.
    return lock ? (now.msecsTo(lock->until) + 999) / 1000 : 0;
}

FocusSessionModel FocusState::sessionModel(const FocusSessionRow &row, const QDateTime &now)
{
    FocusSessionModel model;
    model.startedAt = wireTime(row.startedAt);
    model.endsAt = wireTime(row.endsAt);
    model.remainingSeconds = qMax<qint64>(0, (now.msecsTo(row.endsAt) + 999) / 1000);
    model.websites = row.websites;
    model.categories = row.categories;
    return model;
}

ScheduleModel FocusState::scheduleModel(const ScheduleRow &row, const QDateTime &now)
{
    ScheduleModel model;
    model.id = row.id;
    model.name = row.name;
    model.days = row.days;
    model.start = row.start;
    model.end = row.end;
    model.timeZone = row.timeZone;
    model.websites = row.websites;
    model.categories = row.categories;
    model.locks = row.locks;
    model.open = ScheduleTimes::openAt(row, now).has_value();
    return model;
}

FocusStatusModel FocusState::model(const QDateTime &now) const
{
    FocusStatusModel model;
    if (const std::optional<FocusSessionRow> on = running(now))
        model.focus = sessionModel(*on, now);
    for (const ScheduleRow &row : schedules)
        model.schedules.append(scheduleModel(row, now));
    model.lockSeconds = lockSeconds(now);
    if (const std::optional<QDateTime> edge = nextEdge(now))
        model.nextEdgeSeconds = (now.msecsTo(*edge) + 999) / 1000;
    model.serverTime = wireTime(now);
    return model;
}

QString FocusState::endText(const QDateTime &until, const QDateTime &now, const QTimeZone &zone)
{
    const QTimeZone shown = zone.isValid() ? zone : QTimeZone::utc();
    const QDateTime end = until.toTimeZone(shown);
    if (end.date() == now.toTimeZone(shown).date())
        return end.toString(QStringLiteral("HH:mm"));
    return end.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString FocusState::lockMessage(const Lock &lock, const QDateTime &now, const QTimeZone &zone, Language language)
{
    const qint64 minutes = qMax<qint64>(1, (now.msecsTo(lock.until) + 59999) / 60000);
    const QString left = minutes < 60        ? QStringLiteral("%1 min").arg(minutes)
                         : minutes % 60 == 0 ? QStringLiteral("%1 h").arg(minutes / 60)
                                             : QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    if (lock.window)
        return text(Msg::scheduleLocked, language).arg(*lock.window, endText(lock.until, now, zone), left);
    return text(Msg::focusLocked, language).arg(endText(lock.until, now, zone), left);
}
