#include "ApiService.h"

#include "DomainName.h"
#include "Outbox.h"
#include "ResetPage.h"
#include "SocialVerifier.h"
#include "SqlStorage.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "records/FormEncoding.h"
#include "records/Records.h"

#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <cmath>

namespace {
const QString apiPrefix = QStringLiteral("/api/v3/");
const QString resetPath = QStringLiteral("/password/reset");
const QString apiVersion = QStringLiteral("3.0");
const QString maskedPin = QStringLiteral("******");

// Result codes carried in the envelope's "code" (the HTTP status of a refusal stays 200).
enum Code : qint64 {
    ok = 200,
    created = 201,
    badRequest = 400,
    unauthorized = 401,
    forbidden = 403,
    notFound = 404,
    conflict = 409,
    unprocessable = 422,
    locked = 423,
    tooMany = 429,
    serverError = 500,
};

QString wireTime(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

template <class Model> ApiReply json(const Model &model, int httpStatus = 200)
{
    ApiReply reply;
    reply.status = httpStatus;
    reply.body = QJsonDocument(encodeRecord(model)).toJson(QJsonDocument::Compact);
    return reply;
}

template <class T> ApiReply accepted(qint64 code, const QString &msg, const T &data)
{
    BaseModel<T> model;
    model.status = true;
    model.code = code;
    model.msg = msg;
    model.version = apiVersion;
    model.data = data;
    return json(model);
}

// A refusal decodes as the endpoint's own record: an envelope without payload, or the fixed
// empty payload of the three records that always carry one.
template <class Model> ApiReply refused(qint64 code, const QString &msg, int httpStatus = 200)
{
    Model model;
    model.status = false;
    model.code = code;
    model.msg = msg;
    model.version = apiVersion;
    return json(model, httpStatus);
}

template <class T> ApiReply acceptedRequired(const QString &msg, const T &data)
{
    RequiredDataModel<T> model;
    model.status = true;
    model.code = ok;
    model.msg = msg;
    model.version = apiVersion;
    model.data = data;
    return json(model);
}

const QRegularExpression &emailPattern()
{
    // The app's own form check.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64}")));
    return pattern;
}

bool validEmail(const QString &email)
{
    return email.size() <= 254 && emailPattern().match(email).hasMatch();
}

// A name shown back to the person: one line, no control characters, not too long.
bool validText(const QString &text)
{
    if (text.size() > ApiService::maxTextLength)
        return false;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return false;
    }
    return true;
}

std::optional<qint64> positiveInteger(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

UserModel userModel(const UserRow &user)
{
    UserModel model;
    model.id = user.id;
    if (!user.name.isEmpty())
        model.name = user.name;
    model.email = user.email;
    // Addresses of e-mail accounts are not verified; a provider vouched for the others.
    model.emailVerifiedAt = user.socialMedia != 0 ? wireTime(user.createdAt) : QString();
    model.deviceName = user.deviceName;
    model.socialMedia = user.socialMedia;
    model.profileID = user.profileID;
    model.roleID = 2;
    model.status = 1;
    model.createdAt = wireTime(user.createdAt);
    model.updatedAt = wireTime(user.updatedAt);
    return model;
}

// The PIN itself is never sent: its field carries 0.
PinProtectionModel pinProtectionModel(const PinRow &pin, const QDateTime &now)
{
    PinProtectionModel model;
    model.id = pin.id;
    model.userID = pin.userID;
    model.pin = 0;
    model.time = pin.hours;
    model.isBlock = pin.blockedUntil && *pin.blockedUntil > now ? 1 : 0;
    model.currentTime = wireTime(now);
    model.createdAt = wireTime(pin.createdAt);
    model.updatedAt = wireTime(pin.updatedAt);
    return model;
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

struct ApiService::Context {
    const ApiRequest &request;
    QList<QPair<QString, QString>> form;
    Language language = Language::english;
    QDateTime now;
    std::optional<UserRow> user;   // the token's user; set for every service that needs one
    std::optional<TokenRow> token; // the live token of that user

    QString field(const QString &key) const
    {
        for (const auto &[k, v] : form) {
            if (k == key)
                return v;
        }
        return {};
    }
    QString msg(Msg message) const { return text(message, language); }
    // A "user_id" that names another account than the token's is refused; an empty one is
    // what the app sends before it knows its id.
    bool userIDMatches() const
    {
        const QString claimed = field(QStringLiteral("user_id")).trimmed();
        return claimed.isEmpty() || claimed == QString::number(user->id);
    }
};

ApiService::ApiService(Storage &storage, Outbox &outbox, SocialVerifier &social, const QByteArray &pinKey,
                       const ServiceSettings &settings, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_storage(storage)
    , m_outbox(outbox)
    , m_social(social)
    , m_pinKey(pinKey)
    , m_settings(settings)
    , m_clock(clock)
    , m_dummyHash(Crypto::hashPassword(QString::fromLatin1(Crypto::randomToken()), settings.hashCost))
{
}

ApiService::~ApiService() = default;

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
        if (request.path == resetPath)
            resetPage(request, done);
        else
            dispatch(request, done);
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
    };
    static const QHash<QString, Route> routes{
        {QStringLiteral("signup"), {"POST", Access::app, &ApiService::signup}},
        {QStringLiteral("login"), {"POST", Access::app, nullptr}},
        {QStringLiteral("forgot-password"), {"POST", Access::app, &ApiService::forgotPassword}},
        {QStringLiteral("update-profile"), {"POST", Access::user, &ApiService::updateProfile}},
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
    };

    Context ctx{request,
                decodeForm(request.body),
                languageFrom(QString::fromUtf8(request.header("X-localization"))),
                m_clock.now().toUTC(),
                std::nullopt,
                std::nullopt};

    const auto route =
        request.path.startsWith(apiPrefix) ? routes.constFind(request.path.mid(apiPrefix.size())) : routes.constEnd();
    if (route == routes.constEnd()) {
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
            done(refused<BaseModel<SyncURLModel>>(ok, ctx.msg(Msg::nothingToSync)));
            return;
        }
        if (!signedIn) {
            done(unauthenticated);
            return;
        }
        break;
    }

    if (!route->handler) {
        login(ctx, done);
        return;
    }
    done((this->*(route->handler))(ctx));
}

// Accounts

ApiReply ApiService::signedIn(Context &ctx, const UserRow &user, Msg message, qint64 code)
{
    const QByteArray secret = Crypto::randomToken();
    const std::optional<TokenRow> token =
        m_storage.addToken(user.id, Crypto::tokenHash(secret), ctx.now, ctx.now.addDays(tokenLifetimeDays));
    if (!token)
        throw StorageError("the new token was not stored");
    recordDevice(ctx, user.id);

    const UserModel base = userModel(user);
    AuthModel auth;
    auth.id = base.id;
    auth.name = base.name;
    auth.email = base.email;
    auth.emailVerifiedAt = base.emailVerifiedAt;
    auth.deviceName = base.deviceName;
    auth.socialMedia = base.socialMedia;
    auth.profileID = base.profileID;
    auth.roleID = base.roleID;
    auth.status = base.status;
    auth.createdAt = base.createdAt;
    auth.updatedAt = base.updatedAt;
    auth.token = QString::fromLatin1(secret);
    if (const std::optional<PinRow> pin = m_storage.pinForUser(user.id))
        auth.pinProtection = pinProtectionModel(*pin, ctx.now);
    return accepted(code, ctx.msg(message), auth);
}

void ApiService::recordDevice(Context &ctx, qint64 userID)
{
    const QString platformID = ctx.field(QStringLiteral("platform_unique_id")).trimmed();
    if (platformID.isEmpty() || platformID.size() > 200 || !validText(platformID.left(maxTextLength)))
        return;
    m_storage.recordDevice(userID, platformID, ctx.request.remoteAddress, ctx.now);
}

ApiReply ApiService::signup(Context &ctx)
{
    using Answer = BaseModel<AuthModel>;
    const QString social = ctx.field(QStringLiteral("social_media")).trimmed();
    if (!social.isEmpty() && social != QLatin1String("0"))
        return refused<Answer>(unprocessable, ctx.msg(Msg::signupThroughSocial));
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    const QString password = ctx.field(QStringLiteral("password"));
    const QString deviceName = ctx.field(QStringLiteral("device_name")).trimmed();
    if (!validEmail(email))
        return refused<Answer>(unprocessable, ctx.msg(Msg::invalidEmail));
    if (password.size() < minPasswordLength)
        return refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooShort));
    if (password.size() > maxPasswordLength)
        return refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooLong));
    if (!validText(deviceName))
        return refused<Answer>(unprocessable, ctx.msg(Msg::invalidDeviceName));
    if (m_storage.userByEmail(email))
        return refused<Answer>(conflict, ctx.msg(Msg::emailTaken));

    const QString hash = Crypto::hashPassword(password, m_settings.hashCost);
    if (hash.isEmpty())
        throw StorageError("the password could not be hashed");
    UserRow row;
    row.email = email;
    row.deviceName = deviceName;
    row.socialMedia = 0;
    row.profileID = QStringLiteral("0");
    row.passwordHash = hash;
    row.createdAt = row.updatedAt = ctx.now;
    const std::optional<UserRow> user = m_storage.createUser(row);
    if (!user) // taken between the check and the insert
        return refused<Answer>(conflict, ctx.msg(Msg::emailTaken));
    return signedIn(ctx, *user, Msg::registered, created);
}

void ApiService::login(Context &ctx, const Done &done)
{
    const QString social = ctx.field(QStringLiteral("social_media")).trimmed();
    if (social.isEmpty() || social == QLatin1String("0")) {
        done(emailLogin(ctx));
        return;
    }
    if (social != QLatin1String("1") && social != QLatin1String("2")) {
        done(refused<BaseModel<AuthModel>>(unprocessable, ctx.msg(Msg::unknownSignInMethod)));
        return;
    }
    socialLogin(ctx, done);
}

ApiReply ApiService::emailLogin(Context &ctx)
{
    using Answer = BaseModel<AuthModel>;
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    const QString password = ctx.field(QStringLiteral("password"));
    const QString address = ctx.request.remoteAddress;
    const QDateTime since = ctx.now.addSecs(-loginWindowMinutes * 60);
    if (m_storage.loginFailuresForEmail(email, since) >= maxFailuresPerEmail ||
        m_storage.loginFailuresFromAddress(address, since) >= maxFailuresPerAddress)
        return refused<Answer>(tooMany, ctx.msg(Msg::tooManyLogins).arg(loginWindowMinutes));

    const std::optional<UserRow> user = validEmail(email) ? m_storage.userByEmail(email) : std::nullopt;
    bool verified = false;
    if (user && !user->passwordHash.isEmpty() && password.size() <= maxPasswordLength)
        verified = Crypto::verifyPassword(user->passwordHash, password);
    else
        Crypto::verifyPassword(m_dummyHash, password.left(maxPasswordLength)); // same time as a real check
    if (!verified) {
        m_storage.addLoginFailure(email, address, ctx.now);
        return refused<Answer>(unauthorized, ctx.msg(Msg::badCredentials));
    }
    m_storage.clearLoginFailures(email);
    return signedIn(ctx, *user, Msg::signedIn, ok);
}

void ApiService::socialLogin(Context &ctx, const Done &done)
{
    using Answer = BaseModel<AuthModel>;
    const auto provider = ctx.field(QStringLiteral("social_media")).trimmed() == QLatin1String("2")
                              ? SocialVerifier::Provider::google
                              : SocialVerifier::Provider::facebook;
    const QString name = SocialVerifier::providerName(provider);
    if (!m_social.isConfigured(provider)) {
        done(refused<Answer>(unprocessable, ctx.msg(Msg::socialUnavailable).arg(name)));
        return;
    }
    const QString token = ctx.field(QStringLiteral("token"));
    const QString profileID = ctx.field(QStringLiteral("profile_id")).trimmed();
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    const QString deviceName = ctx.field(QStringLiteral("device_name")).trimmed();
    if (token.isEmpty() || profileID.isEmpty() || !validText(profileID)) {
        done(refused<Answer>(unauthorized, ctx.msg(Msg::socialRejected).arg(name)));
        return;
    }
    if (!validEmail(email)) {
        done(refused<Answer>(unprocessable, ctx.msg(Msg::invalidEmail)));
        return;
    }

    // The request outlives this call: keep what the answer needs by value.
    const ApiRequest request = ctx.request;
    const QList<QPair<QString, QString>> form = ctx.form;
    const Language language = ctx.language;
    const qint64 media = qint64(provider);
    QPointer<ApiService> self(this);
    m_social.verify(provider, token, profileID, email, [=, this](bool verified) {
        if (!self)
            return;
        Context later{request, form, language, m_clock.now().toUTC(), std::nullopt, std::nullopt};
        try {
            if (!verified) {
                done(refused<Answer>(unauthorized, later.msg(Msg::socialRejected).arg(name)));
                return;
            }
            std::optional<UserRow> user = m_storage.userBySocialProfile(media, profileID);
            if (!user) {
                if (m_storage.userByEmail(email)) {
                    done(refused<Answer>(conflict, later.msg(Msg::socialEmailTaken)));
                    return;
                }
                UserRow row;
                row.email = email;
                row.deviceName = validText(deviceName) ? deviceName : QString();
                row.socialMedia = media;
                row.profileID = profileID;
                row.createdAt = row.updatedAt = later.now;
                user = m_storage.createUser(row);
                if (!user) {
                    done(refused<Answer>(conflict, later.msg(Msg::socialEmailTaken)));
                    return;
                }
            }
            done(signedIn(later, *user, Msg::signedIn, ok));
        } catch (const StorageError &e) {
            Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
            done(refused<Answer>(serverError, later.msg(Msg::serverError), 500));
        }
    });
}

ApiReply ApiService::forgotPassword(Context &ctx)
{
    using Answer = BaseModel<AuthModel>;
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    if (!validEmail(email))
        return refused<Answer>(unprocessable, ctx.msg(Msg::invalidEmail));

    // The same answer whether or not the account exists; at most one mail a minute.
    if (const std::optional<UserRow> user = m_storage.userByEmail(email)) {
        const std::optional<QDateTime> last = m_storage.latestPasswordReset(user->id);
        if (!last || last->secsTo(ctx.now) >= resetMailIntervalSeconds) {
            const QByteArray secret = Crypto::randomToken();
            if (!m_storage.addPasswordReset(user->id, Crypto::tokenHash(secret), ctx.now,
                                            ctx.now.addSecs(resetLinkMinutes * 60)))
                throw StorageError("the reset link was not stored");
            QUrl link = m_settings.publicBase.resolved(QUrl(QStringLiteral("password/reset")));
            link.setQuery(QStringLiteral("token=") + QString::fromLatin1(secret));
            m_outbox.send(user->email, ctx.msg(Msg::resetMailSubject),
                          ctx.msg(Msg::resetMailBody).arg(link.toString(QUrl::FullyEncoded)).arg(resetLinkMinutes),
                          ctx.now);
        }
    }
    BaseModel<AuthModel> answer;
    answer.status = true;
    answer.code = ok;
    answer.msg = ctx.msg(Msg::resetLinkSent);
    answer.version = apiVersion;
    return json(answer);
}

ApiReply ApiService::updateProfile(Context &ctx)
{
    using Answer = BaseModel<UpdateProfile>;
    const QString name = ctx.field(QStringLiteral("name")).trimmed();
    const QString deviceName = ctx.field(QStringLiteral("device_name")).trimmed();
    const QString password = ctx.field(QStringLiteral("password"));
    if (!validText(name))
        return refused<Answer>(unprocessable, ctx.msg(Msg::invalidName));
    if (!validText(deviceName))
        return refused<Answer>(unprocessable, ctx.msg(Msg::invalidDeviceName));
    if (!password.isEmpty() && password.size() < minPasswordLength)
        return refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooShort));
    if (password.size() > maxPasswordLength)
        return refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooLong));

    if (!password.isEmpty()) {
        const QString hash = Crypto::hashPassword(password, m_settings.hashCost);
        if (hash.isEmpty())
            throw StorageError("the password could not be hashed");
        m_storage.setPasswordHash(ctx.user->id, hash, ctx.now);
        // A new password signs out the other devices; this one stays signed in.
        m_storage.revokeUserTokens(ctx.user->id, ctx.token->id, ctx.now);
    }
    m_storage.updateProfile(ctx.user->id, name, deviceName, ctx.now);
    const std::optional<UserRow> user = m_storage.userByID(ctx.user->id);
    if (!user)
        throw StorageError("the account disappeared during the update");
    return accepted(ok, ctx.msg(Msg::profileUpdated), userModel(*user));
}

// PIN

ApiService::PinCheck ApiService::tryPin(const PinRow &pin, const QString &candidate)
{
    const QDateTime now = m_clock.now().toUTC();
    if (pin.blockedUntil && *pin.blockedUntil > now)
        return PinCheck::blocked;
    const std::optional<QString> stored = Crypto::openPin(m_pinKey, pin.userID, pin.sealedPin);
    if (!stored)
        throw StorageError("a PIN cannot be opened with this server's key (was the key file replaced?)");
    if (Crypto::equalSecrets(stored->toUtf8(), candidate.toUtf8())) {
        if (pin.failedAttempts != 0 || pin.blockedUntil)
            m_storage.clearWrongPins(pin.id, now);
        return PinCheck::matched;
    }
    const std::optional<PinRow> after =
        m_storage.recordWrongPin(pin.id, wrongPinsBeforeBlock, now.addSecs(pinBlockMinutes * 60), now);
    if (!after)
        throw StorageError("the wrong PIN was not counted");
    return after->blockedUntil && *after->blockedUntil > now ? PinCheck::blocked : PinCheck::wrong;
}

bool ApiService::pinWindowOpen(const Context &ctx)
{
    if (!m_storage.pinForUser(ctx.user->id))
        return true;
    return ctx.token->pinVerifiedUntil && *ctx.token->pinVerifiedUntil > ctx.now;
}

namespace {
bool sixDigits(const QString &pin)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{6}")));
    return pattern.match(pin).hasMatch();
}
} // namespace

ApiReply ApiService::setupPin(Context &ctx)
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
    const std::optional<PinRow> row =
        m_storage.createPin(ctx.user->id, Crypto::sealPin(m_pinKey, ctx.user->id, pin), time.toLongLong(), ctx.now);
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

ApiReply ApiService::checkPin(Context &ctx)
{
    using Answer = BaseModel<CheckPinModel>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const std::optional<PinRow> pin = m_storage.pinForUser(ctx.user->id);
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
    m_storage.setPinVerifiedUntil(ctx.token->id, ctx.now.addSecs(pinWindowMinutes * 60));

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

ApiReply ApiService::retrievePin(Context &ctx)
{
    using Answer = BaseModel<RetrievePinModel>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const std::optional<PinRow> pin = m_storage.pinForUser(ctx.user->id);
    if (!pin)
        return refused<Answer>(notFound, ctx.msg(Msg::noPin));
    if (pin->hours >= foreverHours)
        return refused<Answer>(forbidden, ctx.msg(Msg::retrievalForever));
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm");
    if (pin->retrievalDueAt && !pin->retrievalSentAt)
        return refused<Answer>(conflict, ctx.msg(Msg::retrievalPending).arg(pin->retrievalDueAt->toString(format)));

    const QDateTime due = ctx.now.addSecs(pin->hours * 3600);
    m_storage.scheduleRetrieval(pin->id, due, ctx.now);
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

ApiReply ApiService::updatePin(Context &ctx)
{
    using Answer = BaseModel<UpdatePinModel>;
    const std::optional<PinRow> pin = m_storage.pinForUser(ctx.user->id);
    if (!pin)
        return refused<Answer>(notFound, ctx.msg(Msg::noPin));
    const QString newPin = ctx.field(QStringLiteral("pin"));
    if (!sixDigits(newPin))
        return refused<Answer>(unprocessable, ctx.msg(Msg::pinFormat));
    switch (tryPin(*pin, ctx.field(QStringLiteral("old_pin")))) {
    case PinCheck::wrong:
        return refused<Answer>(unprocessable, ctx.msg(Msg::wrongPin));
    case PinCheck::blocked:
        return refused<Answer>(locked, ctx.msg(Msg::pinBlocked));
    case PinCheck::matched:
        break;
    }
    m_storage.replacePin(pin->id, Crypto::sealPin(m_pinKey, ctx.user->id, newPin), ctx.now);

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

ApiReply ApiService::removePin(Context &ctx)
{
    if (!m_storage.pinForUser(ctx.user->id))
        return refused<DisablePinModel>(notFound, ctx.msg(Msg::noPin));
    if (!pinWindowOpen(ctx))
        return refused<DisablePinModel>(forbidden, ctx.msg(Msg::pinRequired));
    m_storage.deletePin(ctx.user->id);
    return acceptedRequired(ctx.msg(Msg::pinRemoved), QStringList());
}

int ApiService::sendDuePins()
{
    const QDateTime now = m_clock.now().toUTC();
    int sent = 0;
    for (const PinRow &pin : m_storage.retrievalsDue(now)) {
        const std::optional<UserRow> user = m_storage.userByID(pin.userID);
        const std::optional<QString> secret = Crypto::openPin(m_pinKey, pin.userID, pin.sealedPin);
        if (!user || !secret) {
            Log::line(
                QStringLiteral("mail: the PIN of account %1 cannot be opened with this server's key").arg(pin.userID));
            continue;
        }
        if (!m_storage.claimRetrieval(pin.id, now))
            continue; // another server sent it
        // The address does not say which language its owner reads: both.
        const QString subject = text(Msg::pinMailSubject, Language::english) + QStringLiteral(" / ") +
                                text(Msg::pinMailSubject, Language::french);
        const QString body = text(Msg::pinMailBody, Language::english).arg(*secret) + QStringLiteral("\n---\n\n") +
                             text(Msg::pinMailBody, Language::french).arg(*secret);
        if (!m_outbox.send(user->email, subject, body, now).isEmpty())
            ++sent;
    }
    return sent;
}

void ApiService::forgetOldRecords()
{
    m_storage.forgetLoginFailuresBefore(m_clock.now().toUTC().addDays(-1));
}

// Website blacklist

ApiReply ApiService::blacklist(Context &ctx)
{
    using Answer = BaseModel<BlockWebsiteModel>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const qint64 total = m_storage.domainCount(ctx.user->id);
    const qint64 lastPage = qMax<qint64>(1, (total + pageSize - 1) / pageSize);
    const qint64 page = qBound<qint64>(
        1, positiveInteger(ctx.request.query.queryItemValue(QStringLiteral("page"))).value_or(1), lastPage + 1);
    const qint64 offset = (page - 1) * pageSize;
    const QList<DomainRow> rows = m_storage.domains(ctx.user->id, pageSize, offset);

    const QString path =
        m_settings.publicBase.resolved(QUrl(QStringLiteral("api/v3/getblockwebsitebyuser"))).toString();
    auto pageURL = [&](qint64 n) { return path + QStringLiteral("?page=") + QString::number(n); };

    BlockWebsiteModel model;
    model.currentPage = page;
    for (const DomainRow &row : rows)
        model.data.append({row.id, row.userID, row.domain, wireTime(row.createdAt), wireTime(row.updatedAt), {}});
    model.firstPageURL = pageURL(1);
    model.lastPage = lastPage;
    model.lastPageURL = pageURL(lastPage);
    model.links.append({page > 1 ? std::optional<QString>(pageURL(page - 1)) : std::nullopt,
                        QStringLiteral("&laquo; Previous"), false});
    for (qint64 n = 1; n <= lastPage; ++n)
        model.links.append({pageURL(n), QString::number(n), n == page});
    model.links.append({page < lastPage ? std::optional<QString>(pageURL(page + 1)) : std::nullopt,
                        QStringLiteral("Next &raquo;"), false});
    if (page < lastPage)
        model.nextPageURL = pageURL(page + 1);
    if (page > 1)
        model.prevPageURL = pageURL(page - 1);
    model.path = path;
    model.perPage = pageSize;
    if (!rows.isEmpty()) {
        model.from = offset + 1;
        model.to = offset + rows.size();
    }
    model.total = total;
    return accepted(ok, ctx.msg(Msg::blacklist), model);
}

ApiReply ApiService::blockWebsite(Context &ctx)
{
    using Answer = BaseModel<BlockData>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const std::optional<QString> domain = normalizedDomain(ctx.field(QStringLiteral("domain")));
    if (!domain)
        return refused<Answer>(unprocessable, ctx.msg(Msg::websiteInvalid));
    const std::optional<DomainRow> row = m_storage.addDomain(ctx.user->id, *domain, ctx.now);
    if (!row)
        return refused<Answer>(conflict, ctx.msg(Msg::websiteDuplicate));
    return accepted(
        created, ctx.msg(Msg::websiteBlocked),
        BlockData{row->id, row->userID, row->domain, wireTime(row->createdAt), wireTime(row->updatedAt), {}});
}

ApiReply ApiService::unblockWebsite(Context &ctx)
{
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("domain_id")));
    if (!id)
        return refused<UnblockWebsiteModel>(notFound, ctx.msg(Msg::websiteNotFound));
    if (!pinWindowOpen(ctx))
        return refused<UnblockWebsiteModel>(forbidden, ctx.msg(Msg::pinRequired));
    if (!m_storage.removeDomain(ctx.user->id, *id))
        return refused<UnblockWebsiteModel>(notFound, ctx.msg(Msg::websiteNotFound));
    return acceptedRequired(ctx.msg(Msg::websiteUnblocked), qint64(1));
}

// Account status

ApiReply ApiService::syncURL(Context &ctx)
{
    recordDevice(ctx, ctx.user->id);
    SyncURLModel status;
    if (const std::optional<PinRow> pin = m_storage.pinForUser(ctx.user->id))
        status.pinProtection = pinProtectionModel(*pin, ctx.now);

    // The payload also carries the account, which the app does not read.
    QJsonObject data = encodeRecord(userModel(*ctx.user));
    const QJsonObject statusFields = encodeRecord(status);
    for (auto it = statusFields.begin(); it != statusFields.end(); ++it)
        data.insert(it.key(), it.value());
    data.insert(QStringLiteral("platform_unique_id"), ctx.field(QStringLiteral("platform_unique_id")).trimmed());

    BaseModel<SyncURLModel> envelope;
    envelope.status = true;
    envelope.code = ok;
    envelope.msg = ctx.msg(Msg::synced);
    envelope.version = apiVersion;
    QJsonObject body = encodeRecord(envelope);
    body.insert(QStringLiteral("data"), data);
    ApiReply reply;
    reply.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return reply;
}

// Categories

ApiReply ApiService::categoryList(Context &ctx)
{
    CategoryList list;
    for (const CategoryRow &row : m_storage.categories(ctx.user ? ctx.user->id : 0))
        list.append(
            {row.id, ctx.language == Language::french ? row.nameFr : row.nameEn, row.alias, row.blocked ? 1 : 0});
    return accepted(ok, ctx.msg(Msg::categories), list);
}

ApiReply ApiService::blockCategory(Context &ctx)
{
    using Answer = BaseModel<BlockCategoryModel>;
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("category_id")));
    if (!id || !m_storage.categoryExists(*id))
        return refused<Answer>(notFound, ctx.msg(Msg::categoryNotFound));
    const std::optional<UserCategoryRow> row = m_storage.blockCategory(ctx.user->id, *id, ctx.now);
    if (!row)
        throw StorageError("the blocked category was not stored");
    return accepted(ok, ctx.msg(Msg::categoryBlocked),
                    BlockCategoryModel{row->userID, QString::number(row->categoryID), wireTime(row->updatedAt),
                                       wireTime(row->createdAt), row->id});
}

ApiReply ApiService::unblockCategory(Context &ctx)
{
    using Answer = BaseModel<UnblockCategoryModel>;
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("category_id")));
    if (!id || !m_storage.categoryExists(*id))
        return refused<Answer>(notFound, ctx.msg(Msg::categoryNotFound));
    if (!pinWindowOpen(ctx))
        return refused<Answer>(forbidden, ctx.msg(Msg::pinRequired));
    const std::optional<UserCategoryRow> row = m_storage.unblockCategory(ctx.user->id, *id);
    if (!row)
        return refused<Answer>(notFound, ctx.msg(Msg::categoryNotBlocked));
    return accepted(
        ok, ctx.msg(Msg::categoryUnblocked),
        UnblockCategoryModel{row->id, row->userID, row->categoryID, wireTime(row->createdAt), wireTime(ctx.now)});
}

ApiReply ApiService::logout(Context &ctx)
{
    m_storage.revokeToken(ctx.token->id, ctx.now);
    return acceptedRequired(ctx.msg(Msg::loggedOut), QStringList());
}

// The page behind the link of the reset e-mail.

void ApiService::resetPage(const ApiRequest &request, const Done &done)
{
    const QString accept = QString::fromUtf8(request.header("Accept-Language"));
    const Language language = languageFrom(accept.section(QLatin1Char(','), 0, 0).section(QLatin1Char(';'), 0, 0));
    const QDateTime now = m_clock.now().toUTC();
    auto page = [&](int status, const QByteArray &html) {
        ApiReply reply;
        reply.status = status;
        reply.contentType = QByteArrayLiteral("text/html; charset=utf-8");
        reply.body = html;
        // The link's secret is in the address: never pass it on, never keep the page.
        reply.headers = {{"Content-Security-Policy",
                          "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; frame-ancestors 'none'"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"}};
        done(reply);
    };

    const QList<QPair<QString, QString>> form = decodeForm(request.body);
    auto field = [&](const QString &key) {
        for (const auto &[k, v] : form) {
            if (k == key)
                return v;
        }
        return QString();
    };
    const bool post = request.method == "POST";
    if (!post && request.method != "GET") {
        page(405, ResetPage::message(language, text(Msg::methodNotAllowed, language)));
        return;
    }
    const QString secret =
        post ? field(QStringLiteral("token")) : request.query.queryItemValue(QStringLiteral("token"));
    const std::optional<PasswordResetRow> reset =
        secret.isEmpty() ? std::nullopt : m_storage.passwordResetByHash(Crypto::tokenHash(secret.toUtf8()));
    if (!reset || reset->usedAt || reset->expiresAt <= now) {
        page(410, ResetPage::message(language, text(Msg::resetLinkInvalid, language)));
        return;
    }
    if (!post) {
        page(200, ResetPage::form(language, secret));
        return;
    }
    const QString password = field(QStringLiteral("password"));
    if (password != field(QStringLiteral("password_confirmation"))) {
        page(400, ResetPage::form(language, secret, text(Msg::resetMismatch, language)));
        return;
    }
    if (password.size() < minPasswordLength || password.size() > maxPasswordLength) {
        page(400,
             ResetPage::form(
                 language, secret,
                 text(password.size() < minPasswordLength ? Msg::passwordTooShort : Msg::passwordTooLong, language)));
        return;
    }
    const QString hash = Crypto::hashPassword(password, m_settings.hashCost);
    if (hash.isEmpty())
        throw StorageError("the password could not be hashed");
    // Only the request that marks the link used may change the password.
    if (!m_storage.consumePasswordReset(reset->id, now)) {
        page(410, ResetPage::message(language, text(Msg::resetLinkInvalid, language)));
        return;
    }
    m_storage.setPasswordHash(reset->userID, hash, now);
    // Whoever knew the old password is signed out everywhere.
    m_storage.revokeUserTokens(reset->userID, 0, now);
    if (const std::optional<UserRow> user = m_storage.userByID(reset->userID))
        m_storage.clearLoginFailures(user->email);
    page(200, ResetPage::message(language, text(Msg::resetDone, language)));
}
