#pragma once

// What the services share: the envelope builders and the small checks. Only the services'
// .cpp files include this.

#include "ServiceContext.h"
#include "Messages.h"
#include "records/Records.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <chrono>
#include <cstdio>

namespace ApiSupport {
inline const QString apiVersion = QStringLiteral("3.0");
inline const QString maskedPin = QStringLiteral("******");

// Result codes carried in the envelope's "code" (the HTTP status of a refusal stays 200).
enum Code : qint64 {
    ok = 200,
    created = 201,
    badRequest = 400,
    unauthorized = 401,
    forbidden = 403,
    notFound = 404,
    conflict = 409,
    unprocessable = 422,
    locked = 423,
    tooMany = 429,
    serverError = 500,
};

// "yyyy-MM-dd HH:mm:ss" in UTC. Written by hand from the epoch: QDateTime::toString goes
// through the locale and calendar machinery and was a sixth of a blacklist page's cost.
inline QString wireTime(const QDateTime &time)
{
    using namespace std::chrono;
    const sys_time<milliseconds> at{milliseconds(time.toMSecsSinceEpoch())};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<seconds>(at - day)};
    char text[32];
    const int size = std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(date.year()),
                                   unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                                   int(clock.minutes().count()), int(clock.seconds().count()));
    return QString::fromLatin1(text, size);
}

template <class Model> ApiReply json(const Model &model, int httpStatus = 200)
{
    ApiReply reply;
    reply.status = httpStatus;
    reply.body = QJsonDocument(encodeRecord(model)).toJson(QJsonDocument::Compact);
    return reply;
}

template <class T> ApiReply accepted(qint64 code, const QString &msg, const T &data)
{
    BaseModel<T> model;
    model.status = true;
    model.code = code;
    model.msg = msg;
    model.version = apiVersion;
    model.data = data;
    return json(model);
}

// A refusal decodes as the endpoint's own record: an envelope without payload, or the fixed
// empty payload of the three records that always carry one.
template <class Model> ApiReply refused(qint64 code, const QString &msg, int httpStatus = 200)
{
    Model model;
    model.status = false;
    model.code = code;
    model.msg = msg;
    model.version = apiVersion;
    return json(model, httpStatus);
}

template <class T> ApiReply acceptedRequired(const QString &msg, const T &data)
{
    RequiredDataModel<T> model;
    model.status = true;
    model.code = ok;
    model.msg = msg;
    model.version = apiVersion;
    model.data = data;
    return json(model);
}

// The database is away for a moment (restarting): nothing was done, and asking again shortly works.
inline ApiReply databaseAway(Language language)
{
    ApiReply reply = refused<BaseModel<QStringList>>(serverError, text(Msg::busy, language), 503);
    reply.headers.append({QByteArrayLiteral("Retry-After"), QByteArrayLiteral("1")});
    return reply;
}

inline const QRegularExpression &emailPattern()
{
    // The app's own form check.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64}")));
    return pattern;
}

inline bool validEmail(const QString &email)
{
    return email.size() <= 254 && emailPattern().match(email).hasMatch();
}

// A name shown back to the person: one line, no control characters, not too long.
inline bool validText(const QString &text)
{
    if (text.size() > ServiceLimits::maxTextLength)
        return false;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return false;
    }
    return true;
}

inline std::optional<qint64> positiveInteger(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

inline UserModel userModel(const UserRow &user)
{
    UserModel model;
    model.id = user.id;
    if (!user.name.isEmpty())
        model.name = user.name;
    model.email = user.email;
    // Addresses of e-mail accounts are not verified; a provider vouched for the others.
    model.emailVerifiedAt = user.socialMedia != 0 ? wireTime(user.createdAt) : QString();
    model.deviceName = user.deviceName;
    model.socialMedia = user.socialMedia;
    model.profileID = user.profileID;
    model.roleID = 2;
    model.status = 1;
    model.createdAt = wireTime(user.createdAt);
    model.updatedAt = wireTime(user.updatedAt);
    return model;
}

// The PIN itself is never sent: its field carries 0.
inline PinProtectionModel pinProtectionModel(const PinRow &pin, const QDateTime &now)
{
    PinProtectionModel model;
    model.id = pin.id;
    model.userID = pin.userID;
    model.pin = 0;
    model.time = pin.hours;
    model.isBlock = pin.blockedUntil && *pin.blockedUntil > now ? 1 : 0;
    model.currentTime = wireTime(now);
    model.createdAt = wireTime(pin.createdAt);
    model.updatedAt = wireTime(pin.updatedAt);
    return model;
}
} // namespace ApiSupport
