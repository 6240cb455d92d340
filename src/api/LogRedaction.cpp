#include "LogRedaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace LogRedaction {

bool isSecretKey(const QString &key)
{
    // Case-blind, so a key spelled differently by some answer still cannot leak.
    const QString k = key.toLower();
    // A device's DNS key is a secret too, wherever it appears (sent back, or in its DNS names).
    return k == QLatin1String("password") || k == QLatin1String("pin") || k == QLatin1String("old_pin") ||
           k == QLatin1String("token") || k == QLatin1String("dns_key") || k == QLatin1String("dot_host") ||
           k == QLatin1String("doh_url");
}

QJsonValue redacted(const QJsonValue &value)
{
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            it.value() = isSecretKey(it.key()) ? QJsonValue(mark) : redacted(it.value());
        return object;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (auto it = array.begin(); it != array.end(); ++it)
            *it = redacted(*it);
        return array;
    }
    return value;
}

QString describe(const QJsonValue &value)
{
    const QJsonValue clean = redacted(value);
    if (clean.isObject())
        return QString::fromUtf8(QJsonDocument(clean.toObject()).toJson(QJsonDocument::Compact));
    if (clean.isArray())
        return QString::fromUtf8(QJsonDocument(clean.toArray()).toJson(QJsonDocument::Compact));
    // A scalar: let the array writer quote and escape it, then drop the brackets.
    const QByteArray wrapped = QJsonDocument(QJsonArray{clean}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

namespace {
QString quoted(const QString &text)
{
    return describe(QJsonValue(text));
}

QString describeMap(const QMap<QString, QString> &map, bool (*secret)(const QString &))
{
    if (map.isEmpty())
        return QStringLiteral("[:]");
    QStringList entries;
    for (auto it = map.begin(); it != map.end(); ++it)
        entries << quoted(it.key()) + QStringLiteral(": ") + (secret(it.key()) ? quoted(mark) : quoted(it.value()));
    return QLatin1Char('[') + entries.join(QStringLiteral(", ")) + QLatin1Char(']');
}
} // namespace

QString describeParameters(const QMap<QString, QString> &parameters)
{
    return describeMap(parameters, isSecretKey);
}

QString describeHeaders(const QMap<QString, QString> &headers)
{
    return describeMap(headers, [](const QString &name) {
        return name.compare(QLatin1String("Authorization"), Qt::CaseInsensitive) == 0;
    });
}

} // namespace LogRedaction
