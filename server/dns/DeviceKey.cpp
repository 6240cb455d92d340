#include "DeviceKey.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace DeviceKey {

namespace {
constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz234567"; // RFC 4648 base32, lower case
}

QString make()
{
    quint32 words[4];
    // The system generator reads the kernel's random source: fit for secrets.
    QRandomGenerator::system()->fillRange(words);
    const QByteArray bits(reinterpret_cast<const char *>(words), sizeof words);
    QString key;
    key.reserve(length);
    quint32 buffer = 0;
    int held = 0;
    for (const char byte : bits) {
        buffer = (buffer << 8) | quint8(byte);
        held += 8;
        while (held >= 5) {
            held -= 5;
            key.append(QLatin1Char(alphabet[(buffer >> held) & 31]));
        }
    }
    if (held > 0)
        key.append(QLatin1Char(alphabet[(buffer << (5 - held)) & 31]));
    return key;
}

bool valid(QStringView key)
{
    if (key.size() != length)
        return false;
    for (const QChar c : key) {
        const char16_t u = c.toLower().unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= '2' && u <= '7')))
            return false;
    }
    return true;
}

QByteArray hash(QStringView key)
{
    if (!valid(key))
        return {};
    return QCryptographicHash::hash(key.toString().toLower().toLatin1(), QCryptographicHash::Sha256).toHex();
}

} // namespace DeviceKey
