#include "ApiService.h"

#include "AccountService.h"
#include "ApiSupport.h"
#include "DeviceService.h"
#include "FocusService.h"
#include "DnsOverHttps.h"
#include "InfoPages.h"
#include "ListService.h"
#include "PasswordWorkers.h"
#include "PinService.h"
#include "SessionCache.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "records/FormEncoding.h"
#include "records/Records.h"
#include "records/WebService.h"
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

ApiService::ApiService(Storage &storage, Outbox &outbox, SocialVerifier &social, PasswordWorkers &passwords,
                       const QByteArray &pinKey, const ServiceSettings &settings, Clock &clock, SessionCache &cache,
                       QObject *parent)
    : QObject(parent)
    , m_context(storage, outbox, social, passwords, pinKey, settings, clock, cache, this,
                [this](qint64 userID) { emit listsChanged(userID); })
    , m_pins(std::make_unique<PinService>(m_context))
    , m_lists(std::make_unique<ListService>(m_context))
    , m_devices(std::make_unique<DeviceService>(m_context))
    , m_accounts(std::make_unique<AccountService>(m_context, *m_devices))
    , m_focus(std::make_unique<FocusService>(m_context, *m_devices))
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

void ApiService::handle(const ApiRequest &request, const Done &done)
{
    // A storage failure is answered as a server error: the request is never reported as done.
    try {
        if (request.body.size() > maxBodyBytes) {
            done(refused<BaseModel<QStringList>>(
                badRequest,
                text(Msg::requestTooLarge, languageFrom(QString::fromUtf8(request.header("X-localization")))), 413));
            return;
        }
        if (request.path.startsWith(DnsOverHttps::pathPrefix)) {
            DnsOverHttps::answer(request, m_dns, this, done);
        } else if (request.path == resetPath) {
            m_accounts->resetPage(request, done);
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
    // The routes are the contract table's and nothing else.
    static const QHash<QString, Endpoint> routes = [] {
        QHash<QString, Endpoint> byName;
        for (const Endpoint &e : endpoints())
            byName.insert(routeName(e.service), e);
        return byName;
    }();

    ApiCall ctx{request,
                decodeForm(request.body),
                languageFrom(QString::fromUtf8(request.header("X-localization"))),
                m_context.clock.now().toUTC(),
                std::nullopt,
                std::nullopt};

    const auto route =
        request.path.startsWith(apiPrefix) ? routes.constFind(request.path.mid(apiPrefix.size())) : routes.constEnd();
    if (route == routes.constEnd() || (route->beyondClassic && m_context.settings.classicApi)) {
        done(refused<BaseModel<QStringList>>(notFound, ctx.msg(Msg::notFound), 404));
        return;
    }
    if (request.method != methodName(route->method)) {
        ApiReply reply = refused<BaseModel<QStringList>>(badRequest, ctx.msg(Msg::methodNotAllowed), 405);
        reply.headers.append({"Allow", methodName(route->method)});
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
        !bearer.isEmpty() && !m_context.settings.appToken.isEmpty() &&
        Crypto::equalSecrets(bearer, m_context.settings.appToken);
    std::optional<TokenRow> token;
    if (!bearer.isEmpty() && !appToken) {
        // A live session is read from memory; anything else (a revoked or expired token of
        // ours, a made-up one) from the database.
        const QByteArray hash = Crypto::tokenHash(bearer);
        if (std::optional<SessionCache::Session> kept = m_context.cache.session(hash)) {
            token = std::move(kept->token);
            ctx.user = std::move(kept->user);
        } else {
            const quint64 generation = m_context.cache.generation();
            token = m_context.storage.tokenByHash(hash);
            if (token && !token->revokedAt && token->expiresAt > ctx.now) {
                ctx.user = m_context.storage.userByID(token->userID);
                if (ctx.user)
                    m_context.cache.keepSession(generation, hash, {*token, *ctx.user});
            }
        }
        // A kept session expires in memory as it does in the database.
        if (token && (token->revokedAt || token->expiresAt <= ctx.now))
            ctx.user.reset();
        if (ctx.user)
            ctx.token = token;
    }
    const bool signedIn = ctx.user.has_value();

    const auto unauthenticated = [&ctx] {
        return refused<BaseModel<QStringList>>(unauthorized, ctx.msg(Msg::unauthenticated), 401);
    };
    switch (route->caller) {
    case Caller::app:
        // The app keeps its last token after a logout, so an old token of ours is taken as
        // the built-in one here; otherwise signing in again after a logout would fail.
        if (!appToken && !token) {
            done(unauthenticated());
            return;
        }
        break;
    case Caller::user:
        if (!signedIn) {
            done(unauthenticated());
            return;
        }
        break;
    case Caller::either:
        if (appToken) {
            done(m_devices->anonymousSync(ctx));
            return;
        }
        if (!signedIn) {
            done(unauthenticated());
            return;
        }
        break;
    }

    serve(route->service, ctx, done);
}

// Every service of the table has its handler here: a service added to the table without one
// does not compile (-Wswitch).
void ApiService::serve(WebService service, ApiCall &ctx, const Done &done)
{
    switch (service) {
    case WebService::signup:
        return m_accounts->signup(ctx, done);
    case WebService::login:
        return m_accounts->login(ctx, done);
    case WebService::forgot:
        return done(m_accounts->forgotPassword(ctx));
    case WebService::updateProfile:
        return m_accounts->updateProfile(ctx, done);
    case WebService::setupPin:
        return done(m_pins->setupPin(ctx));
    case WebService::checkPin:
        return done(m_pins->checkPin(ctx));
    case WebService::retrievePin:
        return done(m_pins->retrievePin(ctx));
    case WebService::updatePin:
        return done(m_pins->updatePin(ctx));
    case WebService::removepin:
        return done(m_pins->removePin(ctx));
    case WebService::getBlockWebsiteByUser:
        return done(m_lists->blacklist(ctx));
    case WebService::blockWebsite:
        return done(m_lists->blockWebsite(ctx));
    case WebService::unblockWebsite:
        return done(m_lists->unblockWebsite(ctx));
    case WebService::syncURL:
        return done(m_devices->syncURL(ctx));
    case WebService::getCategories:
        return done(m_lists->categoryList(ctx));
    case WebService::blockCategory:
        return done(m_lists->blockCategory(ctx));
    case WebService::unblockCategory:
        return done(m_lists->unblockCategory(ctx));
    case WebService::logout:
        return done(m_accounts->logout(ctx));
    case WebService::blockApp:
        return done(m_devices->blockApp(ctx));
    case WebService::unblockApp:
        return done(m_devices->unblockApp(ctx));
    case WebService::focusStart:
        return done(m_focus->focusStart(ctx));
    case WebService::focusStatus:
        return done(m_focus->focusStatus(ctx));
    case WebService::saveSchedule:
        return done(m_focus->saveSchedule(ctx));
    case WebService::deleteSchedule:
        return done(m_focus->deleteSchedule(ctx));
    }
    done(refused<BaseModel<QStringList>>(notFound, ctx.msg(Msg::notFound), 404));
}

int ApiService::sendDuePins()
{
    return m_pins->sendDuePins();
}

void ApiService::forgetOldRecords()
{
    m_accounts->forgetOldRecords();
}
