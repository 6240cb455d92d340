#include "FocusService.h"

#include "ApiSupport.h"
#include "DeviceService.h"
#include "FocusState.h"

#include "dns/DomainName.h"

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

ApiReply FocusService::focusStart(ApiCall &ctx)
{
    bool number = false;
    const qint64 minutes = ctx.field(QStringLiteral("minutes")).trimmed().toLongLong(&number);
    if (!number || minutes < minMinutes || minutes > maxMinutes)
        return refused<Answer>(unprocessable, ctx.msg(Msg::focusMinutes));
    FocusSessionRow session;
    for (const QString &site : listOf(ctx.field(QStringLiteral("websites")))) {
        const std::optional<QString> name = blacklistDomain(site);
        if (!name)
            return refused<Answer>(unprocessable, ctx.msg(Msg::websiteInvalid));
        if (!session.websites.contains(*name))
            session.websites.append(*name);
    }
    for (const QString &id : listOf(ctx.field(QStringLiteral("categories")))) {
        const std::optional<qint64> category = positiveInteger(id);
        if (!category || !m_ctx.storage.categoryExists(*category))
            return refused<Answer>(unprocessable, ctx.msg(Msg::categoryNotFound));
        if (!session.categories.contains(*category))
            session.categories.append(*category);
    }
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
