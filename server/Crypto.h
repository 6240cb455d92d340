#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The server's secrets, all through libsodium: password hashes, random tokens, token hashes
// and the sealed PINs.
namespace Crypto {

// Must run once before anything else here; false when libsodium cannot start.
bool initialize();

// Cost of a password hash. The defaults are libsodium's "interactive" Argon2id limits.
struct HashCost {
    quint64 passes = 2;
    quint64 memoryKiB = 64 * 1024;
};

// An Argon2id hash in the PHC string form (it carries its own salt and cost).
QString hashPassword(const QString &password, const HashCost &cost);
bool verifyPassword(const QString &hash, const QString &password);

// 256 random bits, base64url without padding (43 characters).
QByteArray randomToken();
// What is stored in place of a token: its BLAKE2b-256 hash, in hex.
QByteArray tokenHash(const QByteArray &token);
// Compares two byte strings in a time that does not depend on where they differ.
bool equalSecrets(const QByteArray &a, const QByteArray &b);

// The 256-bit key that seals PINs. Read from the file, or made there (mode 0600) when the
// file does not exist yet. No value (and *error says why) when it cannot be read or written.
std::optional<QByteArray> loadOrCreateKey(const QString &path, QString *error);

// Encrypts a PIN for one account (XChaCha20-Poly1305; the account id is bound to it, so a
// sealed PIN copied to another account does not open).
QByteArray sealPin(const QByteArray &key, qint64 userID, const QString &pin);
// The PIN, or no value when the seal was tampered with or belongs to another account.
std::optional<QString> openPin(const QByteArray &key, qint64 userID, const QByteArray &sealed);

} // namespace Crypto
