// The accounts, their tokens, failed sign-ins and password reset links.
#include "SqlStorageQuery.h"

using namespace SqlRows;

// Accounts

std::optional<UserRow> SqlStorage::createUser(const UserRow &user)
{
    Query q = query("INSERT INTO users (email, email_key, name, device_name, social_media, profile_id, password_hash,"
                    " created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
                    " ON CONFLICT DO NOTHING RETURNING id");
    q.bind(user.email.trimmed())
        .bind(emailKey(user.email))
        .bind(user.name)
        .bind(user.deviceName)
        .bind(user.socialMedia)
        .bind(user.profileID)
        .bind(user.passwordHash)
        .bind(ms(user.createdAt))
        .bind(ms(user.updatedAt))
        .exec();
    if (!q.next())
        return std::nullopt;
    return userByID(q.integer(0));
}

std::optional<UserRow> SqlStorage::userByID(qint64 id)
{
    static const QByteArray sql = withColumns("SELECT ", userColumns, " FROM users WHERE id = ?");
    Query q = query(sql.constData());
    q.bind(id).exec();
    if (!q.next())
        return std::nullopt;
    return userFrom(q);
}

std::optional<UserRow> SqlStorage::userByEmail(const QString &email)
{
    static const QByteArray sql = withColumns("SELECT ", userColumns, " FROM users WHERE email_key = ?");
    Query q = query(sql.constData());
    q.bind(emailKey(email)).exec();
    if (!q.next())
        return std::nullopt;
    return userFrom(q);
}

std::optional<UserRow> SqlStorage::userBySocialProfile(qint64 socialMedia, const QString &profileID)
{
    static const QByteArray sql =
        withColumns("SELECT ", userColumns, " FROM users WHERE social_media = ? AND profile_id = ?");
    Query q = query(sql.constData());
    q.bind(socialMedia).bind(profileID).exec();
    if (!q.next())
        return std::nullopt;
    return userFrom(q);
}

bool SqlStorage::updateProfile(qint64 userID, const QString &name, const QString &deviceName, const QDateTime &at)
{
    Query q = query("UPDATE users SET name = ?, device_name = ?, updated_at = ? WHERE id = ?");
    q.bind(name).bind(deviceName).bind(ms(at)).bind(userID).exec();
    return q.affected() == 1;
}

bool SqlStorage::setPasswordHash(qint64 userID, const QString &hash, const QDateTime &at)
{
    Query q = query("UPDATE users SET password_hash = ?, updated_at = ? WHERE id = ?");
    q.bind(hash).bind(ms(at)).bind(userID).exec();
    return q.affected() == 1;
}

// Tokens

std::optional<TokenRow> SqlStorage::addToken(qint64 userID, const QByteArray &tokenHash, const QDateTime &at,
                                             const QDateTime &expiresAt)
{
    Query q =
        query("INSERT INTO tokens (user_id, token_hash, created_at, expires_at) VALUES (?, ?, ?, ?) RETURNING id");
    q.bind(userID).bind(QString::fromLatin1(tokenHash)).bind(ms(at)).bind(ms(expiresAt)).exec();
    if (!q.next())
        return std::nullopt;
    return TokenRow{q.integer(0), userID, at, expiresAt, std::nullopt, std::nullopt};
}

std::optional<TokenRow> SqlStorage::tokenByHash(const QByteArray &tokenHash)
{
    static const QByteArray sql = withColumns("SELECT ", tokenColumns, " FROM tokens WHERE token_hash = ?");
    Query q = query(sql.constData());
    q.bind(QString::fromLatin1(tokenHash)).exec();
    if (!q.next())
        return std::nullopt;
    return tokenFrom(q);
}

bool SqlStorage::revokeToken(qint64 tokenID, const QDateTime &at)
{
    Query q = query("UPDATE tokens SET revoked_at = ? WHERE id = ? AND revoked_at IS NULL");
    q.bind(ms(at)).bind(tokenID).exec();
    return q.affected() == 1;
}

void SqlStorage::revokeUserTokens(qint64 userID, qint64 keepTokenID, const QDateTime &at)
{
    query("UPDATE tokens SET revoked_at = ? WHERE user_id = ? AND id <> ? AND revoked_at IS NULL")
        .bind(ms(at))
        .bind(userID)
        .bind(keepTokenID)
        .exec();
}

bool SqlStorage::setPinVerifiedUntil(qint64 tokenID, const QDateTime &until)
{
    Query q = query("UPDATE tokens SET pin_verified_until = ? WHERE id = ?");
    q.bind(ms(until)).bind(tokenID).exec();
    return q.affected() == 1;
}

// Failed sign-ins

void SqlStorage::addLoginFailure(const QString &key, const QString &address, const QDateTime &at)
{
    query("INSERT INTO login_failures (email_key, address, failed_at) VALUES (?, ?, ?)")
        .bind(emailKey(key))
        .bind(address)
        .bind(ms(at))
        .exec();
}

qint64 SqlStorage::loginFailuresForEmail(const QString &key, const QDateTime &since)
{
    Query q = query("SELECT COUNT(*) FROM login_failures WHERE email_key = ? AND failed_at >= ?");
    q.bind(emailKey(key)).bind(ms(since)).exec();
    return q.next() ? q.integer(0) : 0;
}

qint64 SqlStorage::loginFailuresForEmailFrom(const QString &key, const QString &address, const QDateTime &since)
{
    Query q = query("SELECT COUNT(*) FROM login_failures WHERE email_key = ? AND address = ? AND failed_at >= ?");
    q.bind(emailKey(key)).bind(address).bind(ms(since)).exec();
    return q.next() ? q.integer(0) : 0;
}

qint64 SqlStorage::loginFailuresFromAddress(const QString &address, const QDateTime &since)
{
    Query q = query("SELECT COUNT(*) FROM login_failures WHERE address = ? AND failed_at >= ?");
    q.bind(address).bind(ms(since)).exec();
    return q.next() ? q.integer(0) : 0;
}

// The attempt is stored first, then ranked among those before it (ids grow with the inserts), so
// every server on the database sees it and no two attempts take the same place.
std::optional<qint64> SqlStorage::claimLoginAttempt(const QString &key, const QString &address, const QDateTime &at,
                                                    const QDateTime &since, qint64 maxForEmailFrom, qint64 maxFrom)
{
    Query added = query("INSERT INTO login_failures (email_key, address, failed_at) VALUES (?, ?, ?) RETURNING id");
    added.bind(emailKey(key)).bind(address).bind(ms(at)).exec();
    if (!added.next())
        throw StorageError("the sign-in attempt was not stored");
    const qint64 id = added.integer(0);
    Query forEmail = query("SELECT COUNT(*) FROM login_failures"
                           " WHERE email_key = ? AND address = ? AND failed_at >= ? AND id <= ?");
    forEmail.bind(emailKey(key)).bind(address).bind(ms(since)).bind(id).exec();
    Query fromAddress = query("SELECT COUNT(*) FROM login_failures WHERE address = ? AND failed_at >= ? AND id <= ?");
    fromAddress.bind(address).bind(ms(since)).bind(id).exec();
    if ((forEmail.next() ? forEmail.integer(0) : 0) <= maxForEmailFrom &&
        (fromAddress.next() ? fromAddress.integer(0) : 0) <= maxFrom)
        return id;
    dropLoginAttempt(id);
    return std::nullopt;
}

void SqlStorage::dropLoginAttempt(qint64 attemptID)
{
    query("DELETE FROM login_failures WHERE id = ?").bind(attemptID).exec();
}

void SqlStorage::clearLoginFailures(const QString &key, const QString &address)
{
    if (address.isEmpty())
        query("DELETE FROM login_failures WHERE email_key = ?").bind(emailKey(key)).exec();
    else
        query("DELETE FROM login_failures WHERE email_key = ? AND address = ?")
            .bind(emailKey(key))
            .bind(address)
            .exec();
}

qint64 SqlStorage::countRequest(const QString &kind, const QString &address, const QDateTime &at,
                                const QDateTime &since)
{
    query("INSERT INTO request_events (kind, address, at) VALUES (?, ?, ?)")
        .bind(kind)
        .bind(address)
        .bind(ms(at))
        .exec();
    Query q = query("SELECT COUNT(*) FROM request_events WHERE kind = ? AND address = ? AND at >= ?");
    q.bind(kind).bind(address).bind(ms(since)).exec();
    return q.next() ? q.integer(0) : 0;
}

void SqlStorage::forgetOldRecords(const QDateTime &now, const QDateTime &tokensBefore, const QDateTime &eventsBefore)
{
    query("DELETE FROM tokens WHERE expires_at < ? OR revoked_at < ?")
        .bind(ms(tokensBefore))
        .bind(ms(tokensBefore))
        .exec();
    query("DELETE FROM password_resets WHERE expires_at < ? OR used_at < ?").bind(ms(now)).bind(ms(now)).exec();
    query("DELETE FROM login_failures WHERE failed_at < ?").bind(ms(eventsBefore)).exec();
    query("DELETE FROM request_events WHERE at < ?").bind(ms(eventsBefore)).exec();
}

// Password resets

std::optional<PasswordResetRow> SqlStorage::addPasswordReset(qint64 userID, const QByteArray &secretHash,
                                                             const QDateTime &at, const QDateTime &expiresAt)
{
    Query q = query("INSERT INTO password_resets (user_id, secret_hash, created_at, expires_at) VALUES (?, ?, ?, ?)"
                    " RETURNING id");
    q.bind(userID).bind(QString::fromLatin1(secretHash)).bind(ms(at)).bind(ms(expiresAt)).exec();
    if (!q.next())
        return std::nullopt;
    return PasswordResetRow{q.integer(0), userID, at, expiresAt, std::nullopt};
}

std::optional<QDateTime> SqlStorage::latestPasswordReset(qint64 userID)
{
    Query q = query("SELECT MAX(created_at) FROM password_resets WHERE user_id = ?");
    q.bind(userID).exec();
    if (!q.next())
        return std::nullopt;
    return optionalTimeOf(q.value(0));
}

std::optional<PasswordResetRow> SqlStorage::passwordResetByHash(const QByteArray &secretHash)
{
    Query q = query("SELECT id, user_id, created_at, expires_at, used_at FROM password_resets WHERE secret_hash = ?");
    q.bind(QString::fromLatin1(secretHash)).exec();
    if (!q.next())
        return std::nullopt;
    return PasswordResetRow{q.integer(0), q.integer(1), timeOf(q.value(2)), timeOf(q.value(3)),
                            optionalTimeOf(q.value(4))};
}

bool SqlStorage::consumePasswordReset(qint64 resetID, const QDateTime &at)
{
    Query q = query("UPDATE password_resets SET used_at = ? WHERE id = ? AND used_at IS NULL");
    q.bind(ms(at)).bind(resetID).exec();
    return q.affected() == 1;
}
