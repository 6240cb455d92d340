#include "HttpGate.h"

#include "core/Log.h"

#include <QTcpSocket>
#include <QTimer>

namespace {
const char *reason(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    default:
        return "Request Header Fields Too Large";
    }
}

// Follows the byte stream of one connection request by request, as far as the framing goes.
class Watcher : public QObject
{
public:
    Watcher(QTcpSocket *socket, const HttpGate::Limits &limits, const HttpGate::RefusalBody &refusal)
        : QObject(socket)
        , m_socket(socket)
        , m_limits(limits)
        , m_refusal(refusal)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &Watcher::timedOut);
        connect(socket, &QTcpSocket::readyRead, this, &Watcher::readyRead);
        m_timer.start(m_limits.idleTimeoutMs);
    }

private:
    void readyRead()
    {
        // New bytes only: the HTTP server reads everything at each readyRead, after this.
        const QByteArray fresh = m_socket->peek(m_socket->bytesAvailable());
        qsizetype at = 0;
        while (at < fresh.size() && !m_refused) {
            if (m_bodyLeft > 0) {
                const qint64 take = qMin<qint64>(m_bodyLeft, fresh.size() - at);
                m_bodyLeft -= take;
                at += take;
                if (m_bodyLeft == 0)
                    requestComplete();
                continue;
            }
            if (m_head.isEmpty()) {
                // Blank lines between requests are allowed.
                while (at < fresh.size() && (fresh[at] == '\r' || fresh[at] == '\n'))
                    ++at;
                if (at == fresh.size())
                    break;
                m_timer.start(m_limits.requestTimeoutMs);
            }
            const qsizetype end = findHeadEnd(fresh, at);
            const qsizetype until = end < 0 ? fresh.size() : end;
            m_head.append(fresh.constData() + at, until - at);
            at = until;
            if (m_head.size() > m_limits.maxHeadBytes)
                return refuse(431);
            if (end < 0)
                break;
            m_headTail = at;
            checkHead();
        }
    }

    // Where the blank line ending the head is, counting what m_head already holds; -1 if not yet.
    qsizetype findHeadEnd(const QByteArray &fresh, qsizetype from) const
    {
        // The terminator may straddle two reads: look from a few bytes back in the head.
        const qsizetype back = qMin<qsizetype>(3, m_head.size());
        const QByteArray joined = m_head.right(back) + fresh.mid(from, m_limits.maxHeadBytes + 4);
        const qsizetype found = joined.indexOf("\r\n\r\n");
        if (found < 0)
            return -1;
        return from + found + 4 - back;
    }

    void checkHead()
    {
        const QList<QByteArray> lines = m_head.split('\n');
        std::optional<qint64> length;
        bool transferEncoding = false;
        bool chunked = false;
        m_language.clear();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (line.isEmpty())
                continue;
            if (colon <= 0)
                return refuse(400);
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length") {
                bool ok = value.size() <= 18 && !value.isEmpty();
                for (const char c : value)
                    ok = ok && c >= '0' && c <= '9';
                if (!ok || (length && *length != value.toLongLong()))
                    return refuse(400);
                length = value.toLongLong();
            } else if (name == "transfer-encoding") {
                transferEncoding = true;
                chunked = value.toLower() == "chunked";
            } else if (name == "x-localization") {
                m_language = value;
            }
        }
        if (transferEncoding)
            return refuse(chunked && !length ? 411 : 400);
        if (length && *length > m_limits.maxBodyBytes)
            return refuse(413, *length);
        m_head.clear();
        m_bodyLeft = length.value_or(0);
        if (m_bodyLeft == 0)
            requestComplete();
    }

    void requestComplete() { m_timer.start(m_limits.idleTimeoutMs); }

    void timedOut()
    {
        if (m_refused) { // the refused body did not come
            m_socket->abort();
            return;
        }
        if (m_head.isEmpty() && m_bodyLeft == 0) {
            m_socket->disconnectFromHost(); // idle
            return;
        }
        refuse(408);
    }

    // A refused body up to this size is read and thrown away before the connection closes, so a
    // client still sending it sees the answer instead of a reset connection.
    static constexpr qint64 maxDiscardBytes = 1024 * 1024;

    void refuse(int status, qint64 announced = 0)
    {
        m_refused = true;
        m_timer.stop();
        // The HTTP server must not read this request: it would run it.
        disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
        qint64 discard = announced <= maxDiscardBytes ? announced : 0;
        // What came with the head already counts.
        discard -= m_socket->readAll().size() - m_headTail;
        const QByteArray body = m_refusal(status, m_language);
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) +
                            "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body;
        m_socket->write(answer);
        if (discard <= 0) {
            m_socket->disconnectFromHost();
        } else {
            auto left = std::make_shared<qint64>(discard);
            connect(m_socket, &QTcpSocket::readyRead, this, [this, left] {
                *left -= m_socket->readAll().size();
                if (*left <= 0)
                    m_socket->disconnectFromHost();
            });
            m_timer.start(m_limits.requestTimeoutMs);
        }
        Log::line(QStringLiteral("refused a request before reading it: HTTP %1").arg(status));
    }

    QTcpSocket *m_socket;
    const HttpGate::Limits &m_limits;
    const HttpGate::RefusalBody &m_refusal;
    QTimer m_timer;
    QByteArray m_head;
    QByteArray m_language;
    qint64 m_bodyLeft = 0;
    qsizetype m_headTail = 0; // bytes of the latest read up to the end of the head just read
    bool m_refused = false;
};
} // namespace

HttpGate::HttpGate(const Limits &limits, RefusalBody refusal, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
    , m_refusal(std::move(refusal))
{
}

void HttpGate::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    if (m_connections >= m_limits.maxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    // A request the server holds whole is at most this large; beyond it the socket stops
    // reading and the timeouts end the connection.
    socket->setReadBufferSize(m_limits.maxHeadBytes + m_limits.maxBodyBytes + 4096);
    new Watcher(socket, m_limits, m_refusal);
    addPendingConnection(socket);
}
