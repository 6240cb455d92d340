#include "AccountService.h"

#include "ApiSupport.h"

#include "DeviceService.h"
#include "Outbox.h"
#include "PasswordWorkers.h"
#include "ResetPage.h"
#include "SocialVerifier.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "records/FormEncoding.h"
#include "storage/SqlStorage.h"

#include <QPointer>
#include <QTimer>

using namespace ApiSupport;

AccountService::AccountService(ServiceContext &context, DeviceService &devices)
    : m_ctx(context)
    , m_devices(devices)
    , m_dummyHash(Crypto::hashPassword(QString::fromLatin1(Crypto::randomToken()), context.settings.hashCost))
{
}

// Sign-up, sign-in (e-mail and social), password reset, profile, logout.

ApiReply AccountService::signedIn(ApiCall &ctx, const UserRow &user, Msg message, qint64 code)
{
    const QByteArray secret = Crypto::randomToken();
    const std::optional<TokenRow> token =
        m_ctx.storage.addToken(user.id, Crypto::tokenHash(secret), ctx.now, ctx.now.addDays(tokenLifetimeDays));
    if (!token)
        throw StorageError("the new token was not stored");
    m_devices.recordDevice(ctx, user.id);

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
    if (const std::optional<PinRow> pin = m_ctx.storage.pinForUser(user.id))
        auth.pinProtection = pinProtectionModel(*pin, ctx.now);
    return accepted(code, ctx.msg(message), auth);
}

void AccountService::signup(ApiCall &ctx, const Done &done)
{
    using Answer = BaseModel<AuthModel>;
    const QString social = ctx.field(QStringLiteral("social_media")).trimmed();
    if (!social.isEmpty() && social != QLatin1String("0"))
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::signupThroughSocial)));
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    const QString password = ctx.field(QStringLiteral("password"));
    const QString deviceName = ctx.field(QStringLiteral("device_name")).trimmed();
    if (!validEmail(email))
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::invalidEmail)));
    if (password.size() < minPasswordLength)
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooShort)));
    if (password.size() > maxPasswordLength)
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooLong)));
    if (!validText(deviceName))
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::invalidDeviceName)));
    if (m_ctx.passwords.full())
        return done(refused<Answer>(tooMany, ctx.msg(Msg::busy)));
    if (m_ctx.overRequestLimit(ctx, QStringLiteral("signup")))
        return done(refused<Answer>(tooMany, ctx.msg(Msg::tooManyRequests).arg(requestWindowMinutes)));
    if (m_ctx.storage.userByEmail(email))
        return done(refused<Answer>(conflict, ctx.msg(Msg::emailTaken)));

    auto hash = std::make_shared<QString>();
    const Crypto::HashCost cost = m_ctx.settings.hashCost;
    const bool started = m_ctx.onPasswordWorker(
        ctx, [hash, password, cost] { *hash = Crypto::hashPassword(password, cost); },
        [this, hash, email, deviceName](ApiCall &later) {
            if (hash->isEmpty())
                throw StorageError("the password could not be hashed");
            UserRow row;
            row.email = email;
            row.deviceName = deviceName;
            row.socialMedia = 0;
            row.profileID = QStringLiteral("0");
            row.passwordHash = *hash;
            row.createdAt = row.updatedAt = later.now;
            const std::optional<UserRow> user = m_ctx.storage.createUser(row);
            if (!user) // taken between the check and the insert
                return refused<Answer>(conflict, later.msg(Msg::emailTaken));
            return signedIn(later, *user, Msg::registered, created);
        },
        done, {QString(), email.toLower(), false});
    if (!started)
        done(refused<Answer>(tooMany, ctx.msg(Msg::busy)));
}

void AccountService::login(ApiCall &ctx, const Done &done)
{
    const QString social = ctx.field(QStringLiteral("social_media")).trimmed();
    if (social.isEmpty() || social == QLatin1String("0")) {
        emailLogin(ctx, done);
        return;
    }
    if (social != QLatin1String("1") && social != QLatin1String("2")) {
        done(refused<BaseModel<AuthModel>>(unprocessable, ctx.msg(Msg::unknownSignInMethod)));
        return;
    }
    socialLogin(ctx, done);
}

void AccountService::emailLogin(ApiCall &ctx, const Done &done)
{
    using Answer = BaseModel<AuthModel>;
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    const QString password = ctx.field(QStringLiteral("password"));
    const QString address = ctx.request.remoteAddress;
    const std::optional<UserRow> user = validEmail(email) ? m_ctx.storage.userByEmail(email) : std::nullopt;
    const bool known = user && knownDevice(ctx, user->id);
    if (m_ctx.passwords.full(known))
        return done(refused<Answer>(tooMany, ctx.msg(Msg::busy)));
    // Right passwords count too: a flood of them is work like any other.
    if (!known && m_ctx.overRequestLimit(ctx, QStringLiteral("login"), maxSignInsPerAddress))
        return done(refused<Answer>(tooMany, ctx.msg(Msg::tooManyRequests).arg(requestWindowMinutes)));
    // The attempt counts as a failure from here until its password proves right.
    const std::optional<qint64> attempt = m_ctx.storage.claimLoginAttempt(
        email, address, ctx.now, ctx.now.addSecs(-loginWindowMinutes * 60), maxFailuresPerEmail, maxFailuresPerAddress);
    if (!attempt)
        return done(refused<Answer>(tooMany, ctx.msg(Msg::tooManyLogins).arg(loginWindowMinutes)));
    // Failures spread over many addresses slow every attempt on the account, the owner's too, but
    // never refuse one: strangers cannot lock the owner out.
    const qint64 accountFailures =
        m_ctx.storage.loginFailuresForEmail(email, ctx.now.addSecs(-accountWindowMinutes * 60)) - 1;
    const qint64 delayMs = accountDelayMs(accountFailures);

    // An unknown account is checked against a stored dummy hash, so both take as long.
    const bool real = user && !user->passwordHash.isEmpty() && password.size() <= maxPasswordLength;
    const QString hash = real ? user->passwordHash : m_dummyHash;
    const QString candidate = real ? password : password.left(maxPasswordLength);
    auto verified = std::make_shared<bool>(false);
    auto check = [this, verified, hash, candidate, real, user, email, address, attempt, known, done](ApiCall &call) {
        const bool started = m_ctx.onPasswordWorker(
            call, [verified, hash, candidate] { *verified = Crypto::verifyPassword(hash, candidate); },
            [this, verified, real, user, email, address](ApiCall &later) {
                if (!real || !*verified) // the attempt stays as the failure
                    return refused<Answer>(unauthorized, later.msg(Msg::badCredentials));
                m_ctx.storage.clearLoginFailures(email, address);
                return signedIn(later, *user, Msg::signedIn, ok);
            },
            done, {QString(), email.toLower(), known});
        if (!started) {
            m_ctx.storage.dropLoginAttempt(*attempt);
            done(refused<Answer>(tooMany, call.msg(Msg::busy)));
        }
    };
    if (delayMs <= 0)
        return check(ctx);
    // The request outlives this call: keep what the check needs by value.
    const ApiRequest request = ctx.request;
    const QList<QPair<QString, QString>> form = ctx.form;
    const Language language = ctx.language;
    QTimer::singleShot(delayMs, m_ctx.owner, [this, request, form, language, check, done] {
        ApiCall later{request, form, language, m_ctx.clock.now().toUTC(), std::nullopt, std::nullopt};
        try {
            check(later);
        } catch (const StorageError &e) {
            Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
            done(refused<Answer>(serverError, later.msg(Msg::serverError), 500));
        }
    });
}

// The computer was recorded on this account, and the request shows a token the account gave
// (a live one, or the last one the app kept after signing out): the platform id alone is no
// secret, the token is.
bool AccountService::knownDevice(const ApiCall &ctx, qint64 userID)
{
    const QString platformID = ctx.field(QStringLiteral("platform_unique_id")).trimmed();
    const QByteArray authorization = ctx.request.header("Authorization").trimmed();
    if (platformID.isEmpty() || authorization.left(7).compare("Bearer ", Qt::CaseInsensitive) != 0)
        return false;
    const std::optional<TokenRow> token = m_ctx.storage.tokenByHash(Crypto::tokenHash(authorization.mid(7).trimmed()));
    return token && token->userID == userID && m_ctx.storage.device(userID, platformID);
}

qint64 AccountService::accountDelayMs(qint64 accountFailures)
{
    if (accountFailures < maxFailuresPerAccount)
        return 0;
    return qMin(maxAccountDelayMs,
                accountDelayStepMs * (1 + (accountFailures - maxFailuresPerAccount) / accountDelayStepFailures));
}

void AccountService::socialLogin(ApiCall &ctx, const Done &done)
{
    using Answer = BaseModel<AuthModel>;
    const auto provider = ctx.field(QStringLiteral("social_media")).trimmed() == QLatin1String("2")
                              ? SocialVerifier::Provider::google
                              : SocialVerifier::Provider::facebook;
    const QString name = SocialVerifier::providerName(provider);
    if (!m_ctx.social.isConfigured(provider)) {
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
    QPointer<QObject> self(m_ctx.owner); // the services live as long as their owner
    m_ctx.social.verify(provider, token, profileID, email, [=, this](bool verified) {
        if (!self)
            return;
        ApiCall later{request, form, language, m_ctx.clock.now().toUTC(), std::nullopt, std::nullopt};
        try {
            if (!verified) {
                done(refused<Answer>(unauthorized, later.msg(Msg::socialRejected).arg(name)));
                return;
            }
            std::optional<UserRow> user = m_ctx.storage.userBySocialProfile(media, profileID);
            if (!user) {
                if (m_ctx.storage.userByEmail(email)) {
                    done(refused<Answer>(conflict, later.msg(Msg::socialEmailTaken)));
                    return;
                }
                UserRow row;
                row.email = email;
                row.deviceName = validText(deviceName) ? deviceName : QString();
                row.socialMedia = media;
                row.profileID = profileID;
                row.createdAt = row.updatedAt = later.now;
                user = m_ctx.storage.createUser(row);
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

ApiReply AccountService::forgotPassword(ApiCall &ctx)
{
    using Answer = BaseModel<AuthModel>;
    const QString email = ctx.field(QStringLiteral("email")).trimmed();
    if (!validEmail(email))
        return refused<Answer>(unprocessable, ctx.msg(Msg::invalidEmail));
    if (m_ctx.overRequestLimit(ctx, QStringLiteral("forgot-password")))
        return refused<Answer>(tooMany, ctx.msg(Msg::tooManyRequests).arg(requestWindowMinutes));

    // The same answer whether or not the account exists; at most one mail a minute.
    if (const std::optional<UserRow> user = m_ctx.storage.userByEmail(email)) {
        const std::optional<QDateTime> last = m_ctx.storage.latestPasswordReset(user->id);
        if (!last || last->secsTo(ctx.now) >= resetMailIntervalSeconds) {
            const QByteArray secret = Crypto::randomToken();
            if (!m_ctx.storage.addPasswordReset(user->id, Crypto::tokenHash(secret), ctx.now,
                                                ctx.now.addSecs(resetLinkMinutes * 60)))
                throw StorageError("the reset link was not stored");
            QUrl link = m_ctx.settings.publicBase.resolved(QUrl(QStringLiteral("password/reset")));
            link.setQuery(QStringLiteral("token=") + QString::fromLatin1(secret));
            m_ctx.outbox.send(user->email, ctx.msg(Msg::resetMailSubject),
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

void AccountService::updateProfile(ApiCall &ctx, const Done &done)
{
    using Answer = BaseModel<UpdateProfile>;
    const QString name = ctx.field(QStringLiteral("name")).trimmed();
    const QString deviceName = ctx.field(QStringLiteral("device_name")).trimmed();
    const QString password = ctx.field(QStringLiteral("password"));
    if (!validText(name))
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::invalidName)));
    if (!validText(deviceName))
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::invalidDeviceName)));
    if (!password.isEmpty() && password.size() < minPasswordLength)
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooShort)));
    if (password.size() > maxPasswordLength)
        return done(refused<Answer>(unprocessable, ctx.msg(Msg::passwordTooLong)));

    // No value: the password stays; an empty text: hashing failed.
    auto hash = std::make_shared<std::optional<QString>>();
    auto save = [this, hash, name, deviceName](ApiCall &later) {
        if (*hash) {
            if ((*hash)->isEmpty())
                throw StorageError("the password could not be hashed");
            m_ctx.storage.setPasswordHash(later.user->id, **hash, later.now);
            // A new password signs out the other devices; this one stays signed in.
            m_ctx.storage.revokeUserTokens(later.user->id, later.token->id, later.now);
        }
        m_ctx.storage.updateProfile(later.user->id, name, deviceName, later.now);
        m_ctx.accountChanged(later.user->id);
        const std::optional<UserRow> user = m_ctx.storage.userByID(later.user->id);
        if (!user)
            throw StorageError("the account disappeared during the update");
        return accepted(ok, later.msg(Msg::profileUpdated), userModel(*user));
    };
    if (password.isEmpty())
        return done(save(ctx));
    const Crypto::HashCost cost = m_ctx.settings.hashCost;
    auto work = [hash, password, cost] { *hash = Crypto::hashPassword(password, cost); };
    if (!m_ctx.onPasswordWorker(ctx, work, save, done))
        done(refused<Answer>(tooMany, ctx.msg(Msg::busy)));
}

void AccountService::forgetOldRecords()
{
    const QDateTime now = m_ctx.clock.now().toUTC();
    m_ctx.storage.forgetOldRecords(now, now.addDays(-oldTokenDays), now.addDays(-1));
}

ApiReply AccountService::logout(ApiCall &ctx)
{
    m_ctx.storage.revokeToken(ctx.token->id, ctx.now);
    m_ctx.accountChanged(ctx.user->id);
    return acceptedRequired(ctx.msg(Msg::loggedOut), QStringList());
}

// The page behind the link of the reset e-mail.

void AccountService::resetPage(const ApiRequest &request, const Done &done)
{
    const QString accept = QString::fromUtf8(request.header("Accept-Language"));
    const Language language = languageFrom(accept.section(QLatin1Char(','), 0, 0).section(QLatin1Char(';'), 0, 0));
    const QDateTime now = m_ctx.clock.now().toUTC();
    auto page = [done](int status, const QByteArray &html) {
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
        secret.isEmpty() ? std::nullopt : m_ctx.storage.passwordResetByHash(Crypto::tokenHash(secret.toUtf8()));
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
    auto hash = std::make_shared<QString>();
    const Crypto::HashCost cost = m_ctx.settings.hashCost;
    const qint64 resetID = reset->id;
    const qint64 userID = reset->userID;
    const bool started = m_ctx.passwords.run(
        m_ctx.owner, {request.remoteAddress, QString::number(userID), false},
        [hash, password, cost] { *hash = Crypto::hashPassword(password, cost); },
        [this, hash, resetID, userID, language, now, page]() {
            try {
                if (hash->isEmpty())
                    throw StorageError("the password could not be hashed");
                // Only the request that marks the link used may change the password.
                if (!m_ctx.storage.consumePasswordReset(resetID, now)) {
                    page(410, ResetPage::message(language, text(Msg::resetLinkInvalid, language)));
                    return;
                }
                m_ctx.storage.setPasswordHash(userID, *hash, now);
                // Whoever knew the old password is signed out everywhere.
                m_ctx.storage.revokeUserTokens(userID, 0, now);
                m_ctx.accountChanged(userID);
                if (const std::optional<UserRow> user = m_ctx.storage.userByID(userID))
                    m_ctx.storage.clearLoginFailures(user->email, QString());
                page(200, ResetPage::message(language, text(Msg::resetDone, language)));
            } catch (const StorageError &e) {
                Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
                page(500, ResetPage::message(language, text(Msg::serverError, language)));
            }
        });
    if (!started)
        page(503, ResetPage::form(language, secret, text(Msg::busy, language)));
}
