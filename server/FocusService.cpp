#include "FocusService.h"

#include "ApiSupport.h"
#include "DeviceService.h"
#include "FocusState.h"

#include "dns/DomainName.h"
#include "storage/ScheduleTimes.h"

#include <QTimeZone>

using namespace ApiSupport;

namespace {
using Answer = BaseModel<FocusStatusModel>;

QStringList listOf(const QString &text)
{
    QStringList items;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            items.append(part.trimmed());
    }
    return items;
}
} // namespace

std::optional<ApiReply> FocusService::readAdditions(ApiCall &ctx, QStringList &websites, QList<qint64> &categories)
{
    for (const QString &site : listOf(ctx.field(QStringLiteral("websites")))) {
        const std::optional<QString> name = blacklistDomain(site);
        if (!name)
            return refused<Answer>(unprocessable, ctx.msg(Msg::websiteInvalid));
        if (!websites.contains(*name))
            websites.append(*name);
    }
    for (const QString &id : listOf(ctx.field(QStringLiteral("categories")))) {
        const std::optional<qint64> category = positiveInteger(id);
        if (!category || !m_ctx.storage.categoryExists(*category))
            return refused<Answer>(unprocessable, ctx.msg(Msg::categoryNotFound));
        if (!categories.contains(*category))
            categories.append(*category);
    }
    return std::nullopt;
}

ApiReply FocusService::focusStart(ApiCall &ctx)
{
    bool number = false;
    const qint64 minutes = ctx.field(QStringLiteral("minutes")).trimmed().toLongLong(&number);
    if (!number || minutes < minMinutes || minutes > maxMinutes)
        return refused<Answer>(unprocessable, ctx.msg(Msg::focusMinutes));
    FocusSessionRow session;
    if (std::optional<ApiReply> bad = readAdditions(ctx, session.websites, session.categories))
        return *bad;
    session.userID = ctx.user->id;
    session.startedAt = ctx.now;
    session.endsAt = ctx.now.addSecs(minutes * 60);
    if (!m_ctx.storage.startFocusSession(session)) {
        const std::optional<FocusSessionRow> running = FocusState::read(m_ctx.storage, ctx.user->id).running(ctx.now);
        const QTimeZone zone(ctx.field(QStringLiteral("time_zone")).trimmed().toLatin1());
        return refused<Answer>(
            conflict,
            ctx.msg(Msg::focusRunning).arg(FocusState::endText(running ? running->endsAt : ctx.now, ctx.now, zone)));
    }
    m_devices.keepProtected(ctx);
    // The DNS applies the session's sites at once; the account status kept goes.
    m_ctx.listsChanged(ctx.user->id);
    return accepted(ok, ctx.msg(Msg::focusStarted), FocusState::read(m_ctx.storage, ctx.user->id).model(ctx.now));
}

ApiReply FocusService::focusStatus(ApiCall &ctx)
{
    return accepted(ok, ctx.msg(Msg::focusStatus), FocusState::read(m_ctx.storage, ctx.user->id).model(ctx.now));
}

std::optional<ApiReply> FocusService::refuseOpenWindowChange(ApiCall &ctx, const FocusState &state, qint64 scheduleID)
{
    for (const ScheduleRow &schedule : state.schedules) {
        if (schedule.id != scheduleID || !ScheduleTimes::openAt(schedule, ctx.now))
            continue;
        if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
            return refused<Answer>(locked, *why);
    }
    return std::nullopt;
}

ApiReply FocusService::saveSchedule(ApiCall &ctx)
{
    ScheduleRow row;
    row.userID = ctx.user->id;
    const QString id = ctx.field(QStringLiteral("id")).trimmed();
    if (!id.isEmpty() && id != QLatin1String("0")) {
        const std::optional<qint64> known = positiveInteger(id);
        if (!known)
            return refused<Answer>(notFound, ctx.msg(Msg::scheduleNotFound));
        row.id = *known;
    }
    row.name = ctx.field(QStringLiteral("name")).trimmed();
    if (row.name.isEmpty() || !validText(row.name))
        return refused<Answer>(unprocessable, ctx.msg(Msg::scheduleName));
    for (const QString &day : listOf(ctx.field(QStringLiteral("days")))) {
        bool number = false;
        const qint64 weekday = day.toLongLong(&number);
        if (!number || weekday < 1 || weekday > 7)
            return refused<Answer>(unprocessable, ctx.msg(Msg::scheduleDays));
        if (!row.days.contains(weekday))
            row.days.append(weekday);
    }
    if (row.days.isEmpty())
        return refused<Answer>(unprocessable, ctx.msg(Msg::scheduleDays));
    std::sort(row.days.begin(), row.days.end());
    // Stored as read back: "9:00" is kept as "09:00".
    const QTime start = QTime::fromString(ctx.field(QStringLiteral("start")).trimmed(), QStringLiteral("H:mm"));
    const QTime end = QTime::fromString(ctx.field(QStringLiteral("end")).trimmed(), QStringLiteral("H:mm"));
    if (!start.isValid() || !end.isValid())
        return refused<Answer>(unprocessable, ctx.msg(Msg::scheduleTimes));
    row.start = start.toString(QStringLiteral("HH:mm"));
    row.end = end.toString(QStringLiteral("HH:mm"));
    row.timeZone = ctx.field(QStringLiteral("time_zone")).trimmed();
    if (row.timeZone.isEmpty() || !QTimeZone(row.timeZone.toLatin1()).isValid())
        return refused<Answer>(unprocessable, ctx.msg(Msg::scheduleTimeZone));
    if (std::optional<ApiReply> bad = readAdditions(ctx, row.websites, row.categories))
        return *bad;
    row.locks = ctx.field(QStringLiteral("locks")).trimmed() == QLatin1String("1");
    row.updatedAt = ctx.now;

    const FocusState before = FocusState::read(m_ctx.storage, ctx.user->id);
    if (row.id != 0) {
        if (std::optional<ApiReply> refusal = refuseOpenWindowChange(ctx, before, row.id))
            return *refusal;
    }
    if (!m_ctx.storage.saveSchedule(row, FocusState::maxSchedules)) {
        return row.id == 0 ? refused<Answer>(unprocessable, ctx.msg(Msg::scheduleLimit))
                           : refused<Answer>(notFound, ctx.msg(Msg::scheduleNotFound));
    }
    m_ctx.listsChanged(ctx.user->id);
    return accepted(ok, ctx.msg(Msg::scheduleSaved), FocusState::read(m_ctx.storage, ctx.user->id).model(ctx.now));
}

ApiReply FocusService::deleteSchedule(ApiCall &ctx)
{
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("id")));
    if (!id)
        return refused<Answer>(notFound, ctx.msg(Msg::scheduleNotFound));
    if (std::optional<ApiReply> refusal =
            refuseOpenWindowChange(ctx, FocusState::read(m_ctx.storage, ctx.user->id), *id))
        return *refusal;
    if (!m_ctx.storage.deleteSchedule(ctx.user->id, *id))
        return refused<Answer>(notFound, ctx.msg(Msg::scheduleNotFound));
    m_ctx.listsChanged(ctx.user->id);
    return accepted(ok, ctx.msg(Msg::scheduleDeleted), FocusState::read(m_ctx.storage, ctx.user->id).model(ctx.now));
}
