#include "Crypto.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <sodium.h>

namespace Crypto {

bool initialize()
{
    return sodium_init() >= 0;
}

QString hashPassword(const QString &password, const HashCost &cost)
{
    const QByteArray secret = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    const quint64 passes = qMax<quint64>(cost.passes, crypto_pwhash_OPSLIMIT_MIN);
    const size_t memory = qMax<size_t>(size_t(cost.memoryKiB) * 1024, crypto_pwhash_MEMLIMIT_MIN);
    if (crypto_pwhash_str_alg(out, secret.constData(), quint64(secret.size()), passes, memory,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {}; // out of memory: the caller refuses the request
    return QString::fromLatin1(out);
}

bool verifyPassword(const QString &hash, const QString &password)
{
    if (hash.isEmpty())
        return false;
    const QByteArray stored = hash.toLatin1();
    const QByteArray secret = password.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), secret.constData(), quint64(secret.size())) == 0;
}

QByteArray randomToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    randombytes_buf(bytes.data(), size_t(bytes.size()));
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray tokenHash(const QByteArray &token)
{
    QByteArray digest(crypto_generichash_BYTES, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(digest.data()), size_t(digest.size()),
                       reinterpret_cast<const unsigned char *>(token.constData()), quint64(token.size()), nullptr, 0);
    return digest.toHex();
}

bool equalSecrets(const QByteArray &a, const QByteArray &b)
{
    // Hashing first makes the lengths equal, so the length does not leak either.
    const QByteArray ha = tokenHash(a);
    const QByteArray hb = tokenHash(b);
    return sodium_memcmp(ha.constData(), hb.constData(), size_t(ha.size())) == 0;
}

std::optional<QByteArray> loadOrCreateKey(const QString &path, QString *error)
{
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("cannot read the key file %1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        const QByteArray key = QByteArray::fromHex(file.readAll().trimmed());
        if (key.size() != crypto_aead_xchacha20poly1305_ietf_KEYBYTES) {
            if (error)
                *error = QStringLiteral("the key file %1 does not hold a 256-bit key in hex").arg(path);
            return std::nullopt;
        }
        return key;
    }
    QByteArray key(crypto_aead_xchacha20poly1305_ietf_KEYBYTES, Qt::Uninitialized);
    crypto_aead_xchacha20poly1305_ietf_keygen(reinterpret_cast<unsigned char *>(key.data()));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write the key file %1: %2").arg(path, out.errorString());
        return std::nullopt;
    }
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.write(key.toHex() + '\n');
    if (!out.commit()) {
        if (error)
            *error = QStringLiteral("cannot write the key file %1: %2").arg(path, out.errorString());
        return std::nullopt;
    }
    return key;
}

namespace {
QByteArray associatedData(qint64 userID)
{
    return QByteArrayLiteral("nimbrel-pin:") + QByteArray::number(userID);
}
} // namespace

QByteArray sealPin(const QByteArray &key, qint64 userID, const QString &pin)
{
    const QByteArray message = pin.toUtf8();
    const QByteArray ad = associatedData(userID);
    QByteArray out(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES + message.size() +
                       crypto_aead_xchacha20poly1305_ietf_ABYTES,
                   Qt::Uninitialized);
    auto *nonce = reinterpret_cast<unsigned char *>(out.data());
    randombytes_buf(nonce, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        nonce + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, &written,
        reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
        reinterpret_cast<const unsigned char *>(ad.constData()), quint64(ad.size()), nullptr, nonce,
        reinterpret_cast<const unsigned char *>(key.constData()));
    return out.toBase64();
}

std::optional<QString> openPin(const QByteArray &key, qint64 userID, const QByteArray &sealed)
{
    const QByteArray bytes = QByteArray::fromBase64(sealed);
    const qsizetype overhead = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES + crypto_aead_xchacha20poly1305_ietf_ABYTES;
    if (bytes.size() < overhead || key.size() != crypto_aead_xchacha20poly1305_ietf_KEYBYTES)
        return std::nullopt;
    const QByteArray ad = associatedData(userID);
    const auto *nonce = reinterpret_cast<const unsigned char *>(bytes.constData());
    QByteArray message(bytes.size() - overhead, Qt::Uninitialized);
    unsigned long long length = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(message.data()), &length, nullptr,
                                                   nonce + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES,
                                                   quint64(bytes.size() - crypto_aead_xchacha20poly1305_ietf_NPUBBYTES),
                                                   reinterpret_cast<const unsigned char *>(ad.constData()),
                                                   quint64(ad.size()), nonce,
                                                   reinterpret_cast<const unsigned char *>(key.constData())) != 0)
        return std::nullopt;
    message.truncate(qsizetype(length));
    return QString::fromUtf8(message);
}

} // namespace Crypto
