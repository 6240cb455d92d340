#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <optional>
#include <type_traits>

// Why a body did not decode: the first offending key (a dotted path from the body, array
// elements as [n]) and what was wrong with it. Decoding stops there; nothing is half-filled.
struct DecodingError {
    QString path;
    QString problem;

    // "data.pin_protection.pin": expected an integer, found a string
    QString description() const;
};

// Strict JSON decoding and encoding of the server's records.
//
// A record lists its keys once, in a static fields(self, visitor) template, and the same
// list drives both directions: a std::optional member is an optional key (missing or null
// reads as no value and is left out when encoding), any other member is required. Members
// are qint64 (a JSON integer within the signed 64-bit range), QString, bool, QList<T> and
// nested records. Keys that are not listed are ignored.
namespace RecordCodec {

// Parses a body that may be any JSON value, not only an object or array.
std::optional<QJsonValue> parseJson(const QByteArray &body, QString *error = nullptr);

template <class T> struct IsOptional : std::false_type {
};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {
};

class Reader;
class FieldReader;
class FieldWriter;

// A record type: one that lists its keys with a static fields(self, visitor).
template <class T>
concept Record = requires(T &record, FieldReader &visitor)
{
    T::fields(record, visitor);
};

class FieldReader
{
public:
    FieldReader(Reader &reader, const QJsonObject &object, const QString &path)
        : m_reader(reader)
        , m_object(object)
        , m_path(path)
    {
    }
    template <class M> void operator()(const char *key, M &member);

private:
    Reader &m_reader;
    const QJsonObject &m_object;
    const QString &m_path;
};

class Reader
{
public:
    std::optional<DecodingError> error;

    bool read(const QJsonValue &value, const QString &path, qint64 &out);
    bool read(const QJsonValue &value, const QString &path, QString &out);
    bool read(const QJsonValue &value, const QString &path, bool &out);

    template <class T> bool read(const QJsonValue &value, const QString &path, QList<T> &out)
    {
        if (!value.isArray())
            return fail(path, expected(QStringLiteral("an array"), value));
        const QJsonArray array = value.toArray();
        QList<T> items;
        items.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            T item{};
            if (!read(array.at(i), path + QLatin1Char('[') + QString::number(i) + QLatin1Char(']'), item))
                return false;
            items.append(std::move(item));
        }
        out = std::move(items);
        return true;
    }

    template <Record T> bool read(const QJsonValue &value, const QString &path, T &out)
    {
        if (!value.isObject())
            return fail(path, expected(QStringLiteral("an object"), value));
        const QJsonObject object = value.toObject();
        FieldReader fields(*this, object, path);
        T::fields(out, fields);
        return !error;
    }

    bool fail(const QString &path, const QString &problem);
    static QString expected(const QString &wanted, const QJsonValue &found);
    static QString keyPath(const QString &path, const char *key);
};

template <class M> void FieldReader::operator()(const char *key, M &member)
{
    if (m_reader.error)
        return;
    const QString path = Reader::keyPath(m_path, key);
    const auto it = m_object.constFind(QLatin1String(key));
    if constexpr (IsOptional<M>::value) {
        if (it == m_object.constEnd() || it->isNull()) {
            member.reset();
            return;
        }
        typename M::value_type value{};
        if (m_reader.read(*it, path, value))
            member = std::move(value);
    } else {
        if (it == m_object.constEnd()) {
            m_reader.fail(path, QStringLiteral("required key is missing"));
            return;
        }
        if (it->isNull()) {
            m_reader.fail(path, QStringLiteral("required value is null"));
            return;
        }
        m_reader.read(*it, path, member);
    }
}

inline QJsonValue write(qint64 value)
{
    return QJsonValue(value);
}
inline QJsonValue write(const QString &value)
{
    return QJsonValue(value);
}
inline QJsonValue write(bool value)
{
    return QJsonValue(value);
}
template <class T> QJsonValue write(const QList<T> &items);
template <Record T> QJsonValue write(const T &record);

class FieldWriter
{
public:
    explicit FieldWriter(QJsonObject &object)
        : m_object(object)
    {
    }
    template <class M> void operator()(const char *key, const M &member)
    {
        if constexpr (IsOptional<M>::value) {
            if (member)
                m_object.insert(QLatin1String(key), write(*member));
        } else {
            m_object.insert(QLatin1String(key), write(member));
        }
    }

private:
    QJsonObject &m_object;
};

template <class T> QJsonValue write(const QList<T> &items)
{
    QJsonArray array;
    for (const T &item : items)
        array.append(write(item));
    return array;
}

template <Record T> QJsonValue write(const T &record)
{
    QJsonObject object;
    FieldWriter fields(object);
    T::fields(record, fields);
    return object;
}

} // namespace RecordCodec

// The record a body holds, or no value (and *error says why) when any part of it does not fit.
template <class T> std::optional<T> decodeRecord(const QJsonValue &value, DecodingError *error = nullptr)
{
    RecordCodec::Reader reader;
    T record{};
    if (reader.read(value, QString(), record))
        return record;
    if (error)
        *error = *reader.error;
    return std::nullopt;
}

template <class T> std::optional<T> decodeRecord(const QByteArray &body, DecodingError *error = nullptr)
{
    QString parseError;
    const std::optional<QJsonValue> value = RecordCodec::parseJson(body, &parseError);
    if (!value) {
        if (error)
            *error = {QString(), parseError};
        return std::nullopt;
    }
    return decodeRecord<T>(*value, error);
}

template <class T> QJsonObject encodeRecord(const T &record)
{
    return RecordCodec::write(record).toObject();
}
