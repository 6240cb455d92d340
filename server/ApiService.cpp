#include "ApiSupport.h"
#include "InfoPages.h"

#include "PasswordWorkers.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "records/FormEncoding.h"
#include "records/Records.h"
#include "storage/SqlStorage.h"

using namespace ApiSupport;

namespace {
const QString apiPrefix = QStringLiteral("/api/v3/");
const QString resetPath = QStringLiteral("/password/reset");

// The app asks for its interface language with ?lang=; a browser sent there says its own.
Language pageLanguage(const ApiRequest &request)
{
    const QString asked = request.query.queryItemValue(QStringLiteral("lang"));
    if (!asked.isEmpty())
        return languageFrom(asked);
    return languageFrom(QString::fromUtf8(request.header("Accept-Language")).section(QLatin1Char(','), 0, 0));
}
} // namespace

QByteArray ApiRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

ApiService::ApiService(Storage &storage, Outbox &outbox, SocialVerifier &social, PasswordWorkers &passwords,
                       const QByteArray &pinKey, const ServiceSettings &settings, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_storage(storage)
    , m_outbox(outbox)
    , m_social(social)
    , m_passwords(passwords)
    , m_pinKey(pinKey)
    , m_settings(settings)
    , m_clock(clock)
    , m_dummyHash(Crypto::hashPassword(QString::fromLatin1(Crypto::randomToken()), settings.hashCost))
{
}

ApiService::~ApiService() = default;

QByteArray ApiService::refusalBody(int httpStatus, const QByteArray &language)
{
    const Msg message = httpStatus == 413 || httpStatus == 431 ? Msg::requestTooLarge
                        : httpStatus == 408                    ? Msg::requestTimedOut
                                                               : Msg::malformedRequest;
    return refused<BaseModel<QStringList>>(badRequest, text(message, languageFrom(QString::fromUtf8(language))),
                                           httpStatus)
        .body;
}

// The database is away for a moment (restarting): nothing was done, and asking again shortly works.
ApiReply ApiService::databaseAway(Language language)
{
    ApiReply reply = refused<BaseModel<QStringList>>(serverError, text(Msg::busy, language), 503);
    reply.headers.append({QByteArrayLiteral("Retry-After"), QByteArrayLiteral("1")});
    return reply;
}

void ApiService::handle(const ApiRequest &request, const std::function<void(const ApiReply &)> &done)
{
    // A storage failure is answered as a server error: the request is never reported as done.
    try {
        if (request.body.size() > maxBodyBytes) {
            done(refused<BaseModel<QStringList>>(
                badRequest,
                text(Msg::requestTooLarge, languageFrom(QString::fromUtf8(request.header("X-localization")))), 413));
            return;
        }
        if (request.path == resetPath) {
            resetPage(request, done);
        } else if (const auto html = InfoPages::page(request.path, pageLanguage(request));
                   html && request.method == "GET") {
            ApiReply reply;
            reply.contentType = QByteArrayLiteral("text/html; charset=utf-8");
            reply.body = *html;
            done(reply);
        } else {
            dispatch(request, done);
        }
    } catch (const StorageUnavailable &e) {
        Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
        done(databaseAway(languageFrom(QString::fromUtf8(request.header("X-localization")))));
    } catch (const StorageError &e) {
        Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
        done(refused<BaseModel<QStringList>>(
            serverError, text(Msg::serverError, languageFrom(QString::fromUtf8(request.header("X-localization")))),
            500));
    }
}

void ApiService::dispatch(const ApiRequest &request, const Done &done)
{
    enum class Access { app, user, status };
    struct Route {
        QByteArray method;
        Access access;
        ApiReply (ApiService::*handler)(Context &);
        void (ApiService::*later)(Context &, const Done &) = nullptr; // answers through done
        bool beyondClassic = false; // not served by a classic server
    };
    static const QHash<QString, Route> routes{
        {QStringLiteral("signup"), {"POST", Access::app, nullptr, &ApiService::signup}},
        {QStringLiteral("login"), {"POST", Access::app, nullptr, &ApiService::login}},
        {QStringLiteral("forgot-password"), {"POST", Access::app, &ApiService::forgotPassword}},
        {QStringLiteral("update-profile"), {"POST", Access::user, nullptr, &ApiService::updateProfile}},
        {QStringLiteral("setupPin"), {"POST", Access::user, &ApiService::setupPin}},
        {QStringLiteral("checkPin"), {"POST", Access::user, &ApiService::checkPin}},
        {QStringLiteral("retrievePin"), {"POST", Access::user, &ApiService::retrievePin}},
        {QStringLiteral("updatePin"), {"POST", Access::user, &ApiService::updatePin}},
        {QStringLiteral("removepin"), {"POST", Access::user, &ApiService::removePin}},
        {QStringLiteral("getblockwebsitebyuser"), {"POST", Access::user, &ApiService::blacklist}},
        {QStringLiteral("blockwesitebyuser"), {"POST", Access::user, &ApiService::blockWebsite}},
        {QStringLiteral("unblockwesitebyuser"), {"POST", Access::user, &ApiService::unblockWebsite}},
        {QStringLiteral("sync-url"), {"POST", Access::status, &ApiService::syncURL}},
        {QStringLiteral("category"), {"GET", Access::app, &ApiService::categoryList}},
        {QStringLiteral("blockcategory"), {"POST", Access::user, &ApiService::blockCategory}},
        {QStringLiteral("unblockcategory"), {"POST", Access::user, &ApiService::unblockCategory}},
        {QStringLiteral("logout"), {"POST", Access::user, &ApiService::logout}},
        {QStringLiteral("blockapp"), {"POST", Access::user, &ApiService::blockApp, nullptr, true}},
        {QStringLiteral("unblockapp"), {"POST", Access::user, &ApiService::unblockApp, nullptr, true}},
    };

    Context ctx{request,
                decodeForm(request.body),
                languageFrom(QString::fromUtf8(request.header("X-localization"))),
                m_clock.now().toUTC(),
                std::nullopt,
                std::nullopt};

    const auto route =
        request.path.startsWith(apiPrefix) ? routes.constFind(request.path.mid(apiPrefix.size())) : routes.constEnd();
    if (route == routes.constEnd() || (route->beyondClassic && m_settings.classicApi)) {
        done(refused<BaseModel<QStringList>>(notFound, ctx.msg(Msg::notFound), 404));
        return;
    }
    if (request.method != route->method) {
        ApiReply reply = refused<BaseModel<QStringList>>(badRequest, ctx.msg(Msg::methodNotAllowed), 405);
        reply.headers.append({"Allow", route->method});
        done(reply);
        return;
    }

    // Who is calling: the built-in token, a live user token, an old token of ours (revoked or
    // expired) or something else.
    const QByteArray authorization = request.header("Authorization").trimmed();
    const QByteArray bearer = authorization.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0
                                  ? authorization.mid(7).trimmed()
                                  : QByteArray();
    const bool appToken =
        !bearer.isEmpty() && !m_settings.appToken.isEmpty() && Crypto::equalSecrets(bearer, m_settings.appToken);
    std::optional<TokenRow> token;
    if (!bearer.isEmpty() && !appToken)
        token = m_storage.tokenByHash(Crypto::tokenHash(bearer));
    const bool live = token && !token->revokedAt && token->expiresAt > ctx.now;
    if (live) {
        ctx.user = m_storage.userByID(token->userID);
        if (ctx.user)
            ctx.token = token;
    }
    const bool signedIn = ctx.user.has_value();

    const ApiReply unauthenticated = refused<BaseModel<QStringList>>(unauthorized, ctx.msg(Msg::unauthenticated), 401);
    switch (route->access) {
    case Access::app:
        // The app keeps its last token after a logout, so an old token of ours is taken as
        // the built-in one here; otherwise signing in again after a logout would fail.
        if (!appToken && !token) {
            done(unauthenticated);
            return;
        }
        break;
    case Access::user:
        if (!signedIn) {
            done(unauthenticated);
            return;
        }
        break;
    case Access::status:
        if (appToken) {
            done(anonymousSync(ctx));
            return;
        }
        if (!signedIn) {
            done(unauthenticated);
            return;
        }
        break;
    }

    if (route->later) {
        (this->*(route->later))(ctx, done);
        return;
    }
    done((this->*(route->handler))(ctx));
}

bool ApiService::onPasswordWorker(Context &ctx, std::function<void()> work, std::function<ApiReply(Context &)> then,
                                  const Done &done)
{
    // The request outlives this call: keep what the answer needs by value.
    auto request = std::make_shared<const ApiRequest>(ctx.request);
    const QList<QPair<QString, QString>> form = ctx.form;
    const Language language = ctx.language;
    const QDateTime now = ctx.now;
    const std::optional<UserRow> user = ctx.user;
    const std::optional<TokenRow> token = ctx.token;
    return m_passwords.run(this, std::move(work), [=, then = std::move(then)]() {
        Context later{*request, form, language, now, user, token};
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

bool ApiService::overRequestLimit(Context &ctx, const QString &kind)
{
    return m_storage.countRequest(kind, ctx.request.remoteAddress, ctx.now,
                                  ctx.now.addSecs(-requestWindowMinutes * 60)) > maxRequestsPerAddress;
}
