#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// What the server keeps, as plain rows. Times are UTC; the storage keeps them to the millisecond.

struct UserRow {
    qint64 id = 0;
    QString name;
    QString email;
    QString deviceName;
    qint64 socialMedia = 0; // 0 e-mail, 1 Facebook, 2 Google
    QString profileID;      // the provider's user id; "0" for e-mail accounts
    QString passwordHash;   // empty for accounts that can only sign in through a provider
    QDateTime createdAt;
    QDateTime updatedAt;
};

struct TokenRow {
    qint64 id = 0;
    qint64 userID = 0;
    QDateTime createdAt;
    QDateTime expiresAt;
    std::optional<QDateTime> revokedAt;
    // Until then, weakening requests made with this token pass without asking for the PIN.
    std::optional<QDateTime> pinVerifiedUntil;
};

struct PinRow {
    qint64 id = 0;
    qint64 userID = 0;
    QByteArray sealedPin; // encrypted with the server key, never stored or sent in clear
    qint64 hours = 0;     // waiting time before a retrieved PIN is e-mailed
    qint64 failedAttempts = 0;
    std::optional<QDateTime> blockedUntil;
    std::optional<QDateTime> retrievalDueAt;
    std::optional<QDateTime> retrievalSentAt;
    QDateTime createdAt;
    QDateTime updatedAt;
};

struct PasswordResetRow {
    qint64 id = 0;
    qint64 userID = 0;
    QDateTime createdAt;
    QDateTime expiresAt;
    std::optional<QDateTime> usedAt;
};

struct DomainRow {
    qint64 id = 0;
    qint64 userID = 0;
    QString domain;
    QDateTime createdAt;
    QDateTime updatedAt;
};

struct CategoryRow {
    qint64 id = 0;
    QString alias;
    QString nameEn;
    QString nameFr;
    bool blocked = false; // for the user the list was asked for
};

struct UserCategoryRow {
    qint64 id = 0;
    qint64 userID = 0;
    qint64 categoryID = 0;
    QDateTime createdAt;
    QDateTime updatedAt;
};

struct DeviceRow {
    qint64 id = 0;
    qint64 userID = 0;
    QString platformID;
    QString address;
    QDateTime lastSeenAt;
    bool protectedIntent = false; // the account keeps protection on for this device
    QByteArray dnsKeyHash;         // DeviceKey::hash of the device's DNS key; empty: none
    qint64 dnsKeyTokenID = 0;      // the session the key was made for: it lives as long
};

// A device key the filtering DNS honours: its session is still live.
struct DeviceKeyRow {
    QByteArray keyHash;
    qint64 userID = 0;
};

struct BlockedAppRow {
    qint64 id = 0;
    QString appID; // the desktop's id of the application
    QString name;  // for display
    QDateTime createdAt;
};

// A focus session: the account's blocks cannot be weakened until endsAt. It stays as a record
// once ended: when it ran and what it added (normalised site names, category ids).
struct FocusSessionRow {
    qint64 id = 0;
    qint64 userID = 0;
    QDateTime startedAt;
    QDateTime endsAt;
    QStringList websites;
    QList<qint64> categories;
};

// A weekly window: on the given ISO weekdays (1 Monday .. 7 Sunday) from start to end local
// time in timeZone (an end at or before the start is on the next day), it adds its sites and
// categories, and with locks it holds the account's blocks like a focus session.
struct ScheduleRow {
    qint64 id = 0;
    qint64 userID = 0;
    QString name;
    QList<qint64> days;
    QString start; // "HH:mm"
    QString end;   // "HH:mm"
    QString timeZone;
    QStringList websites;
    QList<qint64> categories;
    bool locks = false;
    QDateTime updatedAt;
};

// Everything the services read and write, behind one interface so that SQLite and PostgreSQL
// (or a test double) are interchangeable. Several server processes may share one database:
// every change that must happen once (a PIN failure, a used reset link, a PIN e-mail) is a
// single conditional statement, not a read followed by a write.
class Storage
{
public:
    virtual ~Storage() = default;

    virtual int schemaVersion() const = 0;

    // Accounts. createUser gives no value when the e-mail (compared without case) is taken.
    virtual std::optional<UserRow> createUser(const UserRow &user) = 0;
    virtual std::optional<UserRow> userByID(qint64 id) = 0;
    virtual std::optional<UserRow> userByEmail(const QString &email) = 0;
    virtual std::optional<UserRow> userBySocialProfile(qint64 socialMedia, const QString &profileID) = 0;
    virtual bool updateProfile(qint64 userID, const QString &name, const QString &deviceName, const QDateTime &at) = 0;
    virtual bool setPasswordHash(qint64 userID, const QString &hash, const QDateTime &at) = 0;

    // Session tokens, looked up by the hash of the token.
    virtual std::optional<TokenRow> addToken(qint64 userID, const QByteArray &tokenHash, const QDateTime &at,
                                             const QDateTime &expiresAt) = 0;
    virtual std::optional<TokenRow> tokenByHash(const QByteArray &tokenHash) = 0;
    virtual bool revokeToken(qint64 tokenID, const QDateTime &at) = 0;
    // Revokes every live token of the user except keepTokenID (0 keeps none).
    virtual void revokeUserTokens(qint64 userID, qint64 keepTokenID, const QDateTime &at) = 0;
    virtual bool setPinVerifiedUntil(qint64 tokenID, const QDateTime &until) = 0;

    // Failed sign-ins, for the rate limits: per account and client address, per account, per
    // address.
    virtual void addLoginFailure(const QString &emailKey, const QString &address, const QDateTime &at) = 0;
    virtual qint64 loginFailuresForEmail(const QString &emailKey, const QDateTime &since) = 0;
    virtual qint64 loginFailuresForEmailFrom(const QString &emailKey, const QString &address,
                                             const QDateTime &since) = 0;
    virtual qint64 loginFailuresFromAddress(const QString &address, const QDateTime &since) = 0;
    // Records a sign-in attempt as a failure before its password is checked, counted in the same
    // step as the limits, so that attempts running at the same time gain no extra tries: the
    // attempt's id, or nothing (and nothing kept) when it comes after maxForEmailFrom failures of
    // the account from this address, or maxFrom from the address, since then. A correct
    // password then forgets it with the others (clearLoginFailures).
    virtual std::optional<qint64> claimLoginAttempt(const QString &emailKey, const QString &address,
                                                    const QDateTime &at, const QDateTime &since, qint64 maxForEmailFrom,
                                                    qint64 maxFrom) = 0;
    // An attempt that was never checked (the password workers were full).
    virtual void dropLoginAttempt(qint64 attemptID) = 0;
    // Forgets the failures of the account from this address (a correct password from there);
    // an empty address: from everywhere (a reset password).
    virtual void clearLoginFailures(const QString &emailKey, const QString &address) = 0;

    // Requests counted per client address (sign-up, forgot-password). Records this one and gives
    // how many of that kind the address made since then, this one included; several servers
    // on one database count together.
    virtual qint64 countRequest(const QString &kind, const QString &address, const QDateTime &at,
                                const QDateTime &since) = 0;

    // Drops what no rule reads any more: tokens expired or revoked before tokensBefore, reset
    // links expired or used before now, failures and counted requests before eventsBefore.
    virtual void forgetOldRecords(const QDateTime &now, const QDateTime &tokensBefore,
                                  const QDateTime &eventsBefore) = 0;

    // Password reset links, looked up by the hash of their secret.
    virtual std::optional<PasswordResetRow> addPasswordReset(qint64 userID, const QByteArray &secretHash,
                                                             const QDateTime &at, const QDateTime &expiresAt) = 0;
    virtual std::optional<QDateTime> latestPasswordReset(qint64 userID) = 0;
    virtual std::optional<PasswordResetRow> passwordResetByHash(const QByteArray &secretHash) = 0;
    // True for exactly one caller: the one that marked the link used.
    virtual bool consumePasswordReset(qint64 resetID, const QDateTime &at) = 0;

    // PIN, one per account. createPin gives no value when the account already has one.
    virtual std::optional<PinRow> pinForUser(qint64 userID) = 0;
    virtual std::optional<PinRow> createPin(qint64 userID, const QByteArray &sealedPin, qint64 hours,
                                            const QDateTime &at) = 0;
    // Counts one more wrong PIN; at blockAfter wrong PINs in a row the PIN is blocked until
    // blockedUntil and the count starts again. Gives the row after the change.
    virtual std::optional<PinRow> recordWrongPin(qint64 pinID, qint64 blockAfter, const QDateTime &blockedUntil,
                                                 const QDateTime &at) = 0;
    virtual bool clearWrongPins(qint64 pinID, const QDateTime &at) = 0;
    virtual bool replacePin(qint64 pinID, const QByteArray &sealedPin, const QDateTime &at) = 0;
    virtual bool deletePin(qint64 userID) = 0;
    virtual bool scheduleRetrieval(qint64 pinID, const QDateTime &dueAt, const QDateTime &at) = 0;
    // Due, not sent, and not claimed by a sender whose claim still runs.
    virtual QList<PinRow> retrievalsDue(const QDateTime &now) = 0;
    // True for exactly one caller: the one that is to write the e-mail, until claimedUntil. A
    // sender that stops half way (crash, failed write) leaves the PIN to the next look after that.
    virtual bool claimRetrieval(qint64 pinID, const QDateTime &at, const QDateTime &claimedUntil) = 0;
    // After the e-mail is written.
    virtual bool markRetrievalSent(qint64 pinID, const QDateTime &at) = 0;
    // The e-mail could not be written: the next look tries again.
    virtual void releaseRetrieval(qint64 pinID) = 0;

    // Website blacklist, in the order the sites were added.
    virtual QList<DomainRow> domains(qint64 userID, qint64 limit, qint64 offset) = 0;
    virtual qint64 domainCount(qint64 userID) = 0;
    // No value when the user already has the domain.
    virtual std::optional<DomainRow> addDomain(qint64 userID, const QString &domain, const QDateTime &at) = 0;
    virtual bool removeDomain(qint64 userID, qint64 domainID) = 0;
    // Grows with every change of the user's blacklist, on every server of the database; read it
    // before the rows, and an answer built from them may be kept under it.
    virtual qint64 blacklistVersion(qint64 userID) = 0;

    // Categories, with the user's choice (userID 0: nobody's).
    virtual QList<CategoryRow> categories(qint64 userID) = 0;
    virtual bool categoryExists(qint64 categoryID) = 0;
    virtual QStringList categoryDomains(qint64 categoryID) = 0;
    // Blocking twice gives the row made the first time.
    virtual std::optional<UserCategoryRow> blockCategory(qint64 userID, qint64 categoryID, const QDateTime &at) = 0;
    // The row removed; no value when the category was not blocked.
    virtual std::optional<UserCategoryRow> unblockCategory(qint64 userID, qint64 categoryID) = 0;

    // Devices seen by the account status call.
    virtual bool recordDevice(qint64 userID, const QString &platformID, const QString &address,
                              const QDateTime &at) = 0;
    virtual QList<DeviceRow> devices(qint64 userID) = 0;
    // Every user's devices, for the filtering DNS.
    virtual QList<DeviceRow> allDevices() = 0;
    // Whether the account keeps protection on for one of its devices (recorded first).
    virtual std::optional<DeviceRow> device(qint64 userID, const QString &platformID) = 0;
    virtual bool setDeviceProtected(qint64 userID, const QString &platformID, bool on) = 0;
    // The device row of the account that synced this computer last.
    virtual std::optional<DeviceRow> latestDevice(const QString &platformID) = 0;
    // Gives the device a new DNS key (its hash), bound to the session that asked; the old one
    // stops working.
    virtual bool setDeviceKey(qint64 userID, const QString &platformID, const QByteArray &keyHash,
                              qint64 tokenID) = 0;
    // The keys whose session is neither revoked nor expired at now.
    virtual QList<DeviceKeyRow> liveDeviceKeys(const QDateTime &now) = 0;
    // The accounts with a device whose latest status call came from this address since then.
    virtual QList<qint64> usersSeenAt(const QString &address, const QDateTime &since) = 0;

    // The account's blocked applications, in the order they were blocked. Adding one the
    // account has gives false; so does removing one it has not.
    virtual QList<BlockedAppRow> blockedApps(qint64 userID) = 0;
    virtual bool addBlockedApp(qint64 userID, const QString &appID, const QString &name, const QDateTime &at) = 0;
    virtual bool removeBlockedApp(qint64 userID, const QString &appID) = 0;

    // Focus sessions. startFocusSession records one unless the account has one running at
    // session.startedAt (no value then); one statement, so two servers cannot both start one.
    virtual std::optional<FocusSessionRow> startFocusSession(const FocusSessionRow &session) = 0;
    // The session of the account that ends last (running or not).
    virtual std::optional<FocusSessionRow> latestFocusSession(qint64 userID) = 0;

    // Weekly windows, in the order they were made. saveSchedule makes a new one (id 0) only
    // while the account has fewer than maxCount, in one statement; it changes an existing one of
    // the account's; no value otherwise.
    virtual QList<ScheduleRow> schedules(qint64 userID) = 0;
    virtual std::optional<ScheduleRow> saveSchedule(const ScheduleRow &schedule, qint64 maxCount) = 0;
    virtual bool deleteSchedule(qint64 userID, qint64 scheduleID) = 0;
};
