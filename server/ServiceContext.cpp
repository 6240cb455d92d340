#include "ServiceContext.h"

#include "ApiSupport.h"
#include "FocusState.h"
#include "PasswordWorkers.h"
#include "SessionCache.h"
#include "core/Log.h"
#include "storage/SqlStorage.h"

#include <QTimeZone>

using namespace ApiSupport;

QByteArray ApiRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QString ApiCall::field(const QString &key) const
{
    for (const auto &[k, v] : form) {
        if (k == key)
            return v;
    }
    return {};
}

bool ApiCall::userIDMatches() const
{
    const QString claimed = field(QStringLiteral("user_id")).trimmed();
    return claimed.isEmpty() || claimed == QString::number(user->id);
}

ServiceContext::ServiceContext(Storage &storage, Outbox &outbox, SocialVerifier &social, PasswordWorkers &passwords,
                               const QByteArray &pinKey, const ServiceSettings &settings, Clock &clock,
                               SessionCache &cache, QObject *owner, std::function<void(qint64 userID)> changed)
    : storage(storage)
    , outbox(outbox)
    , social(social)
    , passwords(passwords)
    , pinKey(pinKey)
    , settings(settings)
    , clock(clock)
    , cache(cache)
    , owner(owner)
    , m_changed(std::move(changed))
{
}

void ServiceContext::listsChanged(qint64 userID) const
{
    cache.answersChanged(userID);
    m_changed(userID);
}

void ServiceContext::statusChanged(qint64 userID) const
{
    cache.answersChanged(userID);
}

void ServiceContext::accountChanged(qint64 userID) const
{
    cache.accountChanged(userID);
    // A revoked session takes its devices' DNS keys with it.
    m_changed(userID);
}

bool ServiceContext::pinWindowOpen(const ApiCall &call)
{
    if (!storage.pinForUser(call.user->id))
        return true;
    return call.token->pinVerifiedUntil && *call.token->pinVerifiedUntil > call.now;
}

std::optional<QString> ServiceContext::weakeningLocked(const ApiCall &call)
{
    const std::optional<FocusState::Lock> lock = FocusState::read(storage, call.user->id).lockAt(call.now);
    if (!lock)
        return std::nullopt;
    // The time is shown in the caller's zone when it says which.
    const QTimeZone zone(call.field(QStringLiteral("time_zone")).trimmed().toLatin1());
    return FocusState::lockMessage(*lock, call.now, zone, call.language);
}

bool ServiceContext::overRequestLimit(ApiCall &call, const QString &kind, qint64 limit)
{
    return storage.countRequest(kind, call.request.remoteAddress, call.now,
                                call.now.addSecs(-ServiceLimits::requestWindowMinutes * 60)) > limit;
}

bool ServiceContext::onPasswordWorker(ApiCall &call, std::function<void()> work,
                                      std::function<ApiReply(ApiCall &)> then, const Done &done,
                                      PasswordWorkers::Share share)
{
    share.address = call.request.remoteAddress;
    if (share.account.isEmpty() && call.user)
        share.account = QString::number(call.user->id);
    // The request outlives this call: keep what the answer needs by value.
    auto request = std::make_shared<const ApiRequest>(call.request);
    const QList<QPair<QString, QString>> form = call.form;
    const Language language = call.language;
    const QDateTime now = call.now;
    const std::optional<UserRow> user = call.user;
    const std::optional<TokenRow> token = call.token;
    return passwords.run(owner, share, std::move(work), [=, then = std::move(then)]() {
        ApiCall later{*request, form, language, now, user, token};
        try {
            done(then(later));
        } catch (const StorageUnavailable &e) {
            Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
            done(databaseAway(later.language));
        } catch (const StorageError &e) {
            Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
            done(refused<BaseModel<QStringList>>(serverError, later.msg(Msg::serverError), 500));
        }
    });
}
