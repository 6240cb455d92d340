#include "PinService.h"

#include "ApiSupport.h"

#include "Outbox.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "storage/SqlStorage.h"

using namespace ApiSupport;

// PIN

PinService::PinCheck PinService::tryPin(const PinRow &pin, const QString &candidate)
{
    const QDateTime now = m_ctx.clock.now().toUTC();
    if (pin.blockedUntil && *pin.blockedUntil > now)
        return PinCheck::blocked;
    const std::optional<QString> stored = Crypto::openPin(m_ctx.pinKey, pin.userID, pin.sealedPin);
    if (!stored)
        throw StorageError("a PIN cannot be opened with this server's key (was the key file replaced?)");
    if (Crypto::equalSecrets(stored->toUtf8(), candidate.toUtf8())) {
        if (pin.failedAttempts != 0 || pin.blockedUntil) {
            m_ctx.storage.clearWrongPins(pin.id, now);
            m_ctx.statusChanged(pin.userID);
        }
        return PinCheck::matched;
    }
    const std::optional<PinRow> after =
        m_ctx.storage.recordWrongPin(pin.id, wrongPinsBeforeBlock, now.addSecs(pinBlockMinutes * 60), now);
    m_ctx.statusChanged(pin.userID);
    if (!after)
        throw StorageError("the wrong PIN was not counted");
    return after->blockedUntil && *after->blockedUntil > now ? PinCheck::blocked : PinCheck::wrong;
}

namespace {
bool sixDigits(const QString &pin)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{6}")));
    return pattern.match(pin).hasMatch();
}
} // namespace

ApiReply PinService::setupPin(ApiCall &ctx)
{
    using Answer = BaseModel<SetupPinModel>;
    const QString pin = ctx.field(QStringLiteral("pin"));
    const QString time = ctx.field(QStringLiteral("time")).trimmed();
    if (!sixDigits(pin))
        return refused<Answer>(unprocessable, ctx.msg(Msg::pinFormat));
    static const QStringList waitingTimes{QStringLiteral("12"), QStringLiteral("24"), QStringLiteral("48"),
                                          QString::number(foreverHours)};
    if (!waitingTimes.contains(time))
        return refused<Answer>(unprocessable, ctx.msg(Msg::pinWaitingTime));
    // Setting up over an existing PIN would change it.
    if (m_ctx.storage.pinForUser(ctx.user->id)) {
        if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
            return refused<Answer>(locked, *why);
    }
    const std::optional<PinRow> row = m_ctx.storage.createPin(
        ctx.user->id, Crypto::sealPin(m_ctx.pinKey, ctx.user->id, pin), time.toLongLong(), ctx.now);
    m_ctx.statusChanged(ctx.user->id);
    if (!row)
        return refused<Answer>(conflict, ctx.msg(Msg::pinAlreadySet));

    SetupPinModel model;
    model.id = row->id;
    model.userID = row->userID;
    model.time = QString::number(row->hours);
    model.pin = maskedPin;
    model.isBlock = 0;
    model.currentTime = wireTime(ctx.now);
    model.createdAt = wireTime(row->createdAt);
    model.updatedAt = wireTime(row->updatedAt);
    return accepted(ok, ctx.msg(Msg::pinSet), model);
}

ApiReply PinService::checkPin(ApiCall &ctx)
{
    using Answer = BaseModel<CheckPinModel>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const std::optional<PinRow> pin = m_ctx.storage.pinForUser(ctx.user->id);
    if (!pin)
        return refused<Answer>(notFound, ctx.msg(Msg::noPin));
    switch (tryPin(*pin, ctx.field(QStringLiteral("pin")))) {
    case PinCheck::wrong:
        return refused<Answer>(unprocessable, ctx.msg(Msg::wrongPin));
    case PinCheck::blocked:
        return refused<Answer>(locked, ctx.msg(Msg::pinBlocked));
    case PinCheck::matched:
        break;
    }
    m_ctx.storage.setPinVerifiedUntil(ctx.token->id, ctx.now.addSecs(pinWindowMinutes * 60));
    m_ctx.accountChanged(ctx.user->id);

    CheckPinModel model;
    model.id = pin->id;
    model.userID = pin->userID;
    model.time = pin->hours;
    model.pin = 0;
    model.isBlock = 0;
    model.currentTime = wireTime(ctx.now);
    model.createdAt = wireTime(pin->createdAt);
    model.updatedAt = wireTime(ctx.now);
    return accepted(ok, ctx.msg(Msg::pinMatched), model);
}

ApiReply PinService::retrievePin(ApiCall &ctx)
{
    using Answer = BaseModel<RetrievePinModel>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const std::optional<PinRow> pin = m_ctx.storage.pinForUser(ctx.user->id);
    if (!pin)
        return refused<Answer>(notFound, ctx.msg(Msg::noPin));
    if (pin->hours >= foreverHours)
        return refused<Answer>(forbidden, ctx.msg(Msg::retrievalForever));
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm");
    if (pin->retrievalDueAt && !pin->retrievalSentAt)
        return refused<Answer>(conflict, ctx.msg(Msg::retrievalPending).arg(pin->retrievalDueAt->toString(format)));

    const QDateTime due = ctx.now.addSecs(pin->hours * 3600);
    m_ctx.storage.scheduleRetrieval(pin->id, due, ctx.now);
    m_ctx.statusChanged(ctx.user->id);
    RetrievePinModel model;
    model.id = pin->id;
    model.userID = pin->userID;
    model.time = pin->hours;
    model.pin = 0;
    model.isBlock = pin->blockedUntil && *pin->blockedUntil > ctx.now ? 1 : 0;
    model.currentTime = wireTime(ctx.now);
    model.createdAt = wireTime(pin->createdAt);
    model.updatedAt = wireTime(ctx.now);
    model.user = userModel(*ctx.user);
    return accepted(ok, ctx.msg(Msg::retrievalScheduled).arg(due.toString(format)), model);
}

ApiReply PinService::updatePin(ApiCall &ctx)
{
    using Answer = BaseModel<UpdatePinModel>;
    const std::optional<PinRow> pin = m_ctx.storage.pinForUser(ctx.user->id);
    if (!pin)
        return refused<Answer>(notFound, ctx.msg(Msg::noPin));
    const QString newPin = ctx.field(QStringLiteral("pin"));
    if (!sixDigits(newPin))
        return refused<Answer>(unprocessable, ctx.msg(Msg::pinFormat));
    // Refused before the old PIN is tried: a locked change counts no wrong PIN.
    if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
        return refused<Answer>(locked, *why);
    switch (tryPin(*pin, ctx.field(QStringLiteral("old_pin")))) {
    case PinCheck::wrong:
        return refused<Answer>(unprocessable, ctx.msg(Msg::wrongPin));
    case PinCheck::blocked:
        return refused<Answer>(locked, ctx.msg(Msg::pinBlocked));
    case PinCheck::matched:
        break;
    }
    m_ctx.storage.replacePin(pin->id, Crypto::sealPin(m_ctx.pinKey, ctx.user->id, newPin), ctx.now);
    m_ctx.statusChanged(ctx.user->id);

    UpdatePinModel model;
    model.id = pin->id;
    model.userID = pin->userID;
    model.time = pin->hours;
    model.pin = maskedPin;
    model.isBlock = 0;
    model.currentTime = wireTime(ctx.now);
    model.createdAt = wireTime(pin->createdAt);
    model.updatedAt = wireTime(ctx.now);
    return accepted(ok, ctx.msg(Msg::pinUpdated), model);
}

ApiReply PinService::removePin(ApiCall &ctx)
{
    if (!m_ctx.storage.pinForUser(ctx.user->id))
        return refused<DisablePinModel>(notFound, ctx.msg(Msg::noPin));
    if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
        return refused<DisablePinModel>(locked, *why);
    if (!m_ctx.pinWindowOpen(ctx))
        return refused<DisablePinModel>(forbidden, ctx.msg(Msg::pinRequired));
    m_ctx.storage.deletePin(ctx.user->id);
    m_ctx.statusChanged(ctx.user->id);
    return acceptedRequired(ctx.msg(Msg::pinRemoved), QStringList());
}

int PinService::sendDuePins()
{
    const QDateTime now = m_ctx.clock.now().toUTC();
    int sent = 0;
    for (const PinRow &pin : m_ctx.storage.retrievalsDue(now)) {
        const std::optional<UserRow> user = m_ctx.storage.userByID(pin.userID);
        const std::optional<QString> secret = Crypto::openPin(m_ctx.pinKey, pin.userID, pin.sealedPin);
        if (!user || !secret) {
            Log::line(
                QStringLiteral("mail: the PIN of account %1 cannot be opened with this server's key").arg(pin.userID));
            continue;
        }
        if (!m_ctx.storage.claimRetrieval(pin.id, now, now.addSecs(retrievalClaimSeconds)))
            continue; // another server is sending it
        // The address does not say which language its owner reads: both.
        const QString subject = text(Msg::pinMailSubject, Language::english) + QStringLiteral(" / ") +
                                text(Msg::pinMailSubject, Language::french);
        const QString body = text(Msg::pinMailBody, Language::english).arg(*secret) + QStringLiteral("\n---\n\n") +
                             text(Msg::pinMailBody, Language::french).arg(*secret);
        // Marked sent only once written; a failed write is tried again at the next look.
        if (m_ctx.outbox.send(user->email, subject, body, now).isEmpty()) {
            m_ctx.storage.releaseRetrieval(pin.id);
            continue;
        }
        m_ctx.storage.markRetrievalSent(pin.id, now);
        m_ctx.statusChanged(pin.userID);
        ++sent;
    }
    return sent;
}
