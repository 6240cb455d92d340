#pragma once

#include "Crypto.h"
#include "Messages.h"
#include "PasswordWorkers.h"
#include "storage/Storage.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

class Clock;
class Outbox;
class QObject;
class SessionCache;
class SocialVerifier;

// One HTTP request as the services see it.
struct ApiRequest {
    QByteArray method; // "GET", "POST", ...
    QString path;      // percent-encoded, without the query: "/api/v3/login"
    QUrlQuery query;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QString remoteAddress;

    // Case-blind; empty when absent.
    QByteArray header(const QByteArray &name) const;
};

struct ApiReply {
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("application/json");
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// Rules that an operator may change at start-up; the rest are fixed in ServiceLimits.
struct ServiceSettings {
    QByteArray appToken; // the built-in token the app sends before anybody signs in
    QUrl publicBase;     // where the server is reached from outside: "http://127.0.0.1:8787/"
    Crypto::HashCost hashCost;
    // Answers as the original services only: no device protection or blocked applications on
    // the account (a server that predates them, for tests of the app against one).
    bool classicApi = false;
    // The filtering DNS runs: devices get keys of their own to it, and the account status says
    // when their address is shared with other accounts.
    bool filteringDns = false;
    QString dotZone; // DNS over TLS names a device "<key>.<zone>"; empty: no DNS over TLS
};

// The fixed rules of the services.
struct ServiceLimits {
    static constexpr qint64 pageSize = 100;
    static constexpr qint64 minPasswordLength = 8;
    static constexpr qint64 maxPasswordLength = 1024;
    static constexpr qint64 maxTextLength = 100;
    static constexpr qint64 maxBodyBytes = 64 * 1024;
    static constexpr qint64 tokenLifetimeDays = 180;
    static constexpr qint64 loginWindowMinutes = 15;
    // Failed sign-ins refused: per account from one client address, and per address over all
    // accounts. Per account over all addresses (a guess spread over many) they only slow every
    // attempt, by a step more for each further few failures: refusing would let a stranger lock
    // the owner out.
    static constexpr qint64 maxFailuresPerEmail = 5;
    static constexpr qint64 maxFailuresPerAddress = 20;
    static constexpr qint64 maxFailuresPerAccount = 30;
    static constexpr qint64 accountWindowMinutes = 60;
    static constexpr qint64 accountDelayStepMs = 1000;
    static constexpr qint64 accountDelayStepFailures = 10;
    static constexpr qint64 maxAccountDelayMs = 10000;
    // Sign-ups and forgot-password requests per client address.
    static constexpr qint64 maxRequestsPerAddress = 20;
    static constexpr qint64 requestWindowMinutes = 60;
    // Sign-ins per client address in that window, right or wrong (a known device's excepted).
    static constexpr qint64 maxSignInsPerAddress = 60;
    // A sender that claimed a PIN e-mail and stopped leaves it to the others after this.
    static constexpr qint64 retrievalClaimSeconds = 300;
    // Revoked and expired tokens are kept this long: the app sends its old token with the next
    // sign-in, which must still be told apart from a made-up one.
    static constexpr qint64 oldTokenDays = tokenLifetimeDays;
    static constexpr qint64 resetLinkMinutes = 60;
    static constexpr qint64 resetMailIntervalSeconds = 60;
    static constexpr qint64 wrongPinsBeforeBlock = 5;
    static constexpr qint64 pinBlockMinutes = 15;
    static constexpr qint64 pinWindowMinutes = 5;
    static constexpr qint64 foreverHours = 175200;
    // An address is shared while status calls of more than one account came from it this recently.
    static constexpr qint64 sharedAddressSeconds = 3600;
};

// One request on its way through a service: the form, the language, the time it is answered
// at, and who sent it.
struct ApiCall {
    const ApiRequest &request;
    QList<QPair<QString, QString>> form;
    Language language = Language::english;
    QDateTime now;
    std::optional<UserRow> user;   // the token's user; set for every service that needs one
    std::optional<TokenRow> token; // the live token of that user

    QString field(const QString &key) const;
    QString msg(Msg message) const { return text(message, language); }
    // A "user_id" that names another account than the token's is refused; an empty one is
    // what the app sends before it knows its id.
    bool userIDMatches() const;
};

using Done = std::function<void(const ApiReply &)>;

// What the services of one HTTP thread share: its storage connection, the clock, the mail
// outbox, the provider checks, the password workers, the PIN key and the operator's settings.
class ServiceContext
{
public:
    ServiceContext(Storage &storage, Outbox &outbox, SocialVerifier &social, PasswordWorkers &passwords,
                   const QByteArray &pinKey, const ServiceSettings &settings, Clock &clock, SessionCache &cache,
                   QObject *owner, std::function<void(qint64 userID)> changed);

    Storage &storage;
    Outbox &outbox;
    SocialVerifier &social;
    PasswordWorkers &passwords;
    const QByteArray pinKey;
    ServiceSettings settings;
    Clock &clock;
    // Shared by the HTTP threads of the process.
    SessionCache &cache;
    // Where later answers (password work, provider checks) are delivered: the services' thread.
    QObject *const owner;

    // What the filtering DNS applies for this user changed (the lists or a device's address).
    // Told before the answer, so the next request, on any thread, sees the change.
    void listsChanged(qint64 userID) const;
    // A device of the user was recorded at a new address: the filtering DNS hears of it.
    void devicesChanged(qint64 userID) const { m_changed(userID); }
    // The user's PIN, devices or blocked applications changed: the account status kept goes.
    void statusChanged(qint64 userID) const;
    // The user's tokens, password, profile or PIN check changed: what is kept of them goes.
    void accountChanged(qint64 userID) const;
    // True when weakening requests pass: no PIN on the account, or one verified recently
    // with this token.
    bool pinWindowOpen(const ApiCall &call);
    // The refusal text when weakening requests are locked for the account (a running focus
    // session), whatever the PIN: asked before pinWindowOpen by every weakening request.
    std::optional<QString> weakeningLocked(const ApiCall &call);
    // Counts this request of the client address; true when it is over the limit.
    bool overRequestLimit(ApiCall &call, const QString &kind, qint64 limit = ServiceLimits::maxRequestsPerAddress);
    // Runs work on a password worker, then answers with then() on the services' thread with the
    // same request. False when the workers have no room for this client address and account
    // (share.address is the call's own): the caller answers the busy refusal.
    bool onPasswordWorker(ApiCall &call, std::function<void()> work, std::function<ApiReply(ApiCall &)> then,
                          const Done &done, PasswordWorkers::Share share = {});

private:
    std::function<void(qint64)> m_changed;
};
