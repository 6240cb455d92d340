#include "FocusState.h"

#include "ApiSupport.h"

#include <QTimeZone>

using namespace ApiSupport;

FocusState FocusState::read(Storage &storage, qint64 userID)
{
    FocusState state;
    state.session = storage.latestFocusSession(userID);
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
    if (const std::optional<FocusSessionRow> on = running(now))
        return Lock{on->endsAt};
    return std::nullopt;
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

FocusStatusModel FocusState::model(const QDateTime &now) const
{
    FocusStatusModel model;
    if (const std::optional<FocusSessionRow> on = running(now))
        model.focus = sessionModel(*on, now);
    model.lockSeconds = lockSeconds(now);
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
    return text(Msg::focusLocked, language).arg(endText(lock.until, now, zone), left);
}
