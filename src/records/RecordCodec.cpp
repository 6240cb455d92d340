#include "RecordCodec.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariant>

QString DecodingError::description() const
{
    const QString where = path.isEmpty() ? QStringLiteral("body") : QLatin1Char('"') + path + QLatin1Char('"');
    return where + QStringLiteral(": ") + problem;
}

namespace RecordCodec {

std::optional<QJsonValue> parseJson(const QByteArray &body, QString *error)
{
    // QJsonDocument reads only objects and arrays; wrapping the body in an array lets it read
    // a bare string, number or literal too, while anything after the first value still fails.
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson('[' + body + ']', &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1) {
        if (error) {
            if (parseError.error != QJsonParseError::NoError)
                *error = QStringLiteral("not valid JSON (%1 at offset %2)")
                             .arg(parseError.errorString())
                             .arg(qMax(0, parseError.offset - 1));
            else
                *error = QStringLiteral("not a single JSON value");
        }
        return std::nullopt;
    }
    return doc.array().first();
}

bool Reader::read(const QJsonValue &value, const QString &path, qint64 &out)
{
    // Qt keeps a JSON number written without fraction or exponent, within range, as an
    // integer; anything else (1.5, 1e3, 2^63) arrives as a double and is refused.
    const QVariant number = value.toVariant();
    if (value.isDouble() && number.typeId() == QMetaType::LongLong) {
        out = number.toLongLong();
        return true;
    }
    if (value.isDouble())
        return fail(path, QStringLiteral("expected an integer, found a number that is not a signed 64-bit integer"));
    return fail(path, expected(QStringLiteral("an integer"), value));
}

bool Reader::read(const QJsonValue &value, const QString &path, QString &out)
{
    if (!value.isString())
        return fail(path, expected(QStringLiteral("a string"), value));
    out = value.toString();
    return true;
}

bool Reader::read(const QJsonValue &value, const QString &path, bool &out)
{
    if (!value.isBool())
        return fail(path, expected(QStringLiteral("a boolean"), value));
    out = value.toBool();
    return true;
}

bool Reader::fail(const QString &path, const QString &problem)
{
    if (!error)
        error = DecodingError{path, problem};
    return false;
}

QString Reader::expected(const QString &wanted, const QJsonValue &found)
{
    QString kind;
    switch (found.type()) {
    case QJsonValue::Null:
        kind = QStringLiteral("null");
        break;
    case QJsonValue::Bool:
        kind = QStringLiteral("a boolean");
        break;
    case QJsonValue::Double:
        kind = QStringLiteral("a number");
        break;
    case QJsonValue::String:
        kind = QStringLiteral("a string");
        break;
    case QJsonValue::Array:
        kind = QStringLiteral("an array");
        break;
    case QJsonValue::Object:
        kind = QStringLiteral("an object");
        break;
    case QJsonValue::Undefined:
        kind = QStringLiteral("nothing");
        break;
    }
    return QStringLiteral("expected ") + wanted + QStringLiteral(", found ") + kind;
}

QString Reader::keyPath(const QString &path, const char *key)
{
    return path.isEmpty() ? QString::fromLatin1(key) : path + QLatin1Char('.') + QLatin1String(key);
}

} // namespace RecordCodec
