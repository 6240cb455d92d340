#pragma once

#include "Crypto.h"
#include "Messages.h"
#include "records/Records.h"
#include "records/WebService.h"
#include "storage/Storage.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

class Clock;
class Outbox;
class PasswordWorkers;
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

// Rules that an operator may change at start-up; the rest are fixed below.
struct ServiceSettings {
    QByteArray appToken; // the built-in token the app sends before anybody signs in
    QUrl publicBase;     // where the server is reached from outside: "http://127.0.0.1:8787/"
    Crypto::HashCost hashCost;
    // Answers as the original services only: no device protection or blocked applications on
    // the account (a server that predates them, for tests of the app against one).
    bool classicApi = false;
};

// The services of the API and the password reset page. Every answer is built with the app's
// own record encoders, so the two sides cannot disagree on a key or a type.
class ApiService : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 pageSize = 100;
    static constexpr qint64 minPasswordLength = 8;
    static constexpr qint64 maxPasswordLength = 1024;
    static constexpr qint64 maxTextLength = 100;
    static constexpr qint64 maxBodyBytes = 64 * 1024;
    static constexpr qint64 tokenLifetimeDays = 180;
    static constexpr qint64 loginWindowMinutes = 15;
    // Failed sign-ins: per account from one client address, so a stranger cannot lock the
    // owner out; per address over all accounts; and per account over all addresses, slower,
    // against a guess spread over many addresses.
    static constexpr qint64 maxFailuresPerEmail = 5;
    static constexpr qint64 maxFailuresPerAddress = 20;
    static constexpr qint64 maxFailuresPerAccount = 30;
    static constexpr qint64 accountWindowMinutes = 60;
    // Sign-ups and forgot-password requests per client address.
    static constexpr qint64 maxRequestsPerAddress = 20;
    static constexpr qint64 requestWindowMinutes = 60;
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

    ApiService(Storage &storage, Outbox &outbox, SocialVerifier &social, PasswordWorkers &passwords,
               const QByteArray &pinKey, const ServiceSettings &settings, Clock &clock, QObject *parent = nullptr);
    ~ApiService() override;

    // The JSON of a refusal made before a request reaches the services (the listening socket's
    // checks), by its HTTP status.
    static QByteArray refusalBody(int httpStatus, const QByteArray &language);
    static ApiReply databaseAway(Language language);

    // Known only once the server listens when the port was picked by the system.
    void setPublicBase(const QUrl &base) { m_settings.publicBase = base; }

    // Answers one request; done runs once, now or (social sign-in) when the provider answered.
    void handle(const ApiRequest &request, const std::function<void(const ApiReply &)> &done);

    // E-mails the PINs whose waiting time is over; gives how many were sent. Safe to run on
    // several servers at once: each PIN is sent by one of them.
    int sendDuePins();
    // Drops records that no rule reads any more.
    void forgetOldRecords();

    struct Context;

signals:
    // What the filtering DNS applies changed for this user: the blacklist, the blocked
    // categories or the address of a device.
    void listsChanged(qint64 userID);

private:
    using Done = std::function<void(const ApiReply &)>;
    void dispatch(const ApiRequest &request, const Done &done);
    void serve(WebService service, Context &ctx, const Done &done);
    void resetPage(const ApiRequest &request, const Done &done);

    void signup(Context &ctx, const Done &done);
    void login(Context &ctx, const Done &done);
    void emailLogin(Context &ctx, const Done &done);
    void socialLogin(Context &ctx, const Done &done);
    ApiReply forgotPassword(Context &ctx);
    void updateProfile(Context &ctx, const Done &done);
    ApiReply setupPin(Context &ctx);
    ApiReply checkPin(Context &ctx);
    ApiReply retrievePin(Context &ctx);
    ApiReply updatePin(Context &ctx);
    ApiReply removePin(Context &ctx);
    ApiReply blacklist(Context &ctx);
    ApiReply blockWebsite(Context &ctx);
    ApiReply unblockWebsite(Context &ctx);
    ApiReply syncURL(Context &ctx);
    ApiReply anonymousSync(Context &ctx);
    ApiReply blockApp(Context &ctx);
    ApiReply unblockApp(Context &ctx);
    ApiReply categoryList(Context &ctx);
    ApiReply blockCategory(Context &ctx);
    ApiReply unblockCategory(Context &ctx);
    ApiReply logout(Context &ctx);

    enum class PinCheck { matched, wrong, blocked };
    PinCheck tryPin(const PinRow &pin, const QString &candidate);
    bool pinWindowOpen(const Context &ctx);
    ApiReply signedIn(Context &ctx, const UserRow &user, Msg message, qint64 code);
    void recordDevice(Context &ctx, qint64 userID);
    // The device protection and blocked applications of the account status answer.
    SyncURLModel accountProtection(qint64 userID, const std::optional<DeviceRow> &device);
    // Runs work on a password worker, then answers with then() on this thread with the same
    // request. False when the workers are full: the caller answers the busy refusal.
    bool onPasswordWorker(Context &ctx, std::function<void()> work, std::function<ApiReply(Context &)> then,
                          const Done &done);
    // Counts this request of the client address; true when it is over the limit.
    bool overRequestLimit(Context &ctx, const QString &kind);

    Storage &m_storage;
    Outbox &m_outbox;
    SocialVerifier &m_social;
    PasswordWorkers &m_passwords;
    QByteArray m_pinKey;
    ServiceSettings m_settings;
    Clock &m_clock;
    QHash<QByteArray, QByteArray> m_categoryAnswers; // by language and blocked categories
    QHash<QByteArray, QByteArray> m_pageAnswers;     // by user, list version, language and page
    QString m_dummyHash; // verified against when the e-mail is unknown, so both take as long
};
