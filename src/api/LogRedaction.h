#pragma once

#include <QJsonValue>
#include <QMap>
#include <QString>

#include "records/RecordCodec.h"

// Exchanges are logged in full except their secrets: the values of these keys, at any depth,
// and the "Authorization" header are written as "<redacted>".
namespace LogRedaction {
inline const QString mark = QStringLiteral("<redacted>");

bool isSecretKey(const QString &key);
QJsonValue redacted(const QJsonValue &value);
// A JSON value as one compact line, secrets redacted.
QString describe(const QJsonValue &value);
// ["email": "a@b.c", "password": "<redacted>"]; [:] when empty.
QString describeParameters(const QMap<QString, QString> &parameters);
QString describeHeaders(const QMap<QString, QString> &headers);

template <class T> QString describeRecord(const T &record)
{
    return describe(RecordCodec::write(record));
}
} // namespace LogRedaction
