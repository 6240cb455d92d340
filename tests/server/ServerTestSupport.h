#pragma once

#include "ServerProcess.h"
#include "records/FormEncoding.h"
#include "records/Records.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

namespace ServerTest {

inline QJsonObject fixture(const QString &name)
{
    QFile file(QStringLiteral(NIMBREL_TEST_DATA_DIR "/api/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Where the server's answer gives a key the hand-written fixture also has, both must hold the
// same JSON type (a contract slip made the same way in the app's records and the server's
// encoders would still show here).
inline QString shapeDifference(const QJsonValue &server, const QJsonValue &expected, const QString &path)
{
    if (server.isNull() || server.isUndefined() || expected.isNull() || expected.isUndefined())
        return {};
    if (server.type() != expected.type())
        return QStringLiteral("%1: type %2, the fixture has %3").arg(path).arg(server.type()).arg(expected.type());
    if (server.isObject()) {
        const QJsonObject s = server.toObject();
        const QJsonObject e = expected.toObject();
        for (auto it = e.begin(); it != e.end(); ++it) {
            const QString problem = shapeDifference(s.value(it.key()), it.value(), path + QLatin1Char('.') + it.key());
            if (!problem.isEmpty())
                return problem;
        }
    } else if (server.isArray() && !server.toArray().isEmpty() && !expected.toArray().isEmpty()) {
        return shapeDifference(server.toArray().first(), expected.toArray().first(), path + QStringLiteral("[0]"));
    }
    return {};
}

// Empty when the answer is HTTP 200, decodes strictly as the app's record T, agrees with the
// fixture's types and has the expected status; otherwise what is wrong.
template <class T> QString contractProblem(const ServerAnswer &answer, const QString &fixtureName, bool status)
{
    if (answer.status != 200)
        return QStringLiteral("HTTP %1: %2").arg(answer.status).arg(QString::fromUtf8(answer.body));
    DecodingError error;
    const std::optional<T> record = decodeRecord<T>(answer.body, &error);
    if (!record)
        return QStringLiteral("does not decode: %1 in %2").arg(error.description(), QString::fromUtf8(answer.body));
    if (record->status != status)
        return QStringLiteral("status %1: %2").arg(record->status).arg(record->msg);
    if (record->msg.isEmpty())
        return QStringLiteral("no message");
    const QString shape = shapeDifference(answer.json(), fixture(fixtureName), QStringLiteral("body"));
    return shape;
}

inline ServerAnswer logIn(ServerClient &client, const QString &email, const QString &password,
                          const QByteArray &token = ServerProcess::appToken())
{
    return client.post(QStringLiteral("login"),
                       {{QStringLiteral("email"), email},
                        {QStringLiteral("password"), password},
                        {QStringLiteral("social_media"), QStringLiteral("0")},
                        {QStringLiteral("platform_unique_id"), QStringLiteral("3f2504e04f8911d39a0c0305e82c3301")}},
                       token);
}

// One request on a connection of its own from a chosen loopback source (127.x.y.z), so that one
// test process plays many clients at once. Runs in the event loop: wait for done().
class RawExchange
{
public:
    RawExchange(quint16 port, const QHostAddress &source, const QByteArray &request)
        : m_socket(std::make_unique<QTcpSocket>())
    {
        QTcpSocket *socket = m_socket.get();
        socket->bind(source, 0);
        QObject::connect(socket, &QTcpSocket::connected, socket, [socket, request] { socket->write(request); });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { m_received += m_socket->readAll(); });
        socket->connectToHost(QHostAddress::LocalHost, port);
    }

    // A POST to /api/v3/<path> as the app sends it.
    static QByteArray post(const QString &path, const FormFields &form, const QByteArray &token)
    {
        const QByteArray body = encodeForm(form);
        return "POST /api/v3/" + path.toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
               "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    // The answer is whole, or the connection ended.
    bool done() const { return answer().status != 0 || m_socket->state() == QAbstractSocket::UnconnectedState; }
    // 0 until a whole answer came.
    ServerAnswer answer() const
    {
        ServerAnswer answer;
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        if (!m_received.startsWith("HTTP/1.1 ") || end < 0)
            return answer;
        qsizetype length = 0;
        for (const QByteArray &line : m_received.left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (m_received.size() < end + 4 + length)
            return answer;
        answer.status = m_received.mid(9, 3).toInt();
        answer.body = m_received.mid(end + 4, length);
        return answer;
    }

private:
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_received;
};

} // namespace ServerTest
