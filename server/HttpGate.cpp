#include "HttpGate.h"

#include "core/Log.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

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

QHostAddress plainAddress(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4) : address;
}
} // namespace

// Follows the byte stream of one connection request by request, as far as the framing goes.
class GateWatcher : public QObject
{
public:
    GateWatcher(QTcpSocket *socket, const QHostAddress &address, HttpGate *gate)
        : QObject(socket)
        , m_socket(socket)
        , m_gate(gate)
        , m_address(address)
        , m_limits(gate->m_limits)
        , m_refusal(gate->m_refusal)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &GateWatcher::timedOut);
        connect(socket, &QTcpSocket::readyRead, this, &GateWatcher::readyRead);
        // A TLS handshake is held to the time of a request.
        m_timer.start(m_limits.tls ? m_limits.requestTimeoutMs : m_limits.idleTimeoutMs);
        m_lastActiveMs = gate->nowMs();
    }
    ~GateWatcher() override
    {
        if (m_gate)
            m_gate->forget(this);
    }

    const QHostAddress &address() const { return m_address; }
    qint64 lastActiveMs() const { return m_lastActiveMs; }
    // Between requests, nothing owed in either direction.
    bool idle() const
    {
        return m_head.isEmpty() && m_bodyLeft == 0 && !m_refused && m_answers == 0 && m_socket->bytesToWrite() == 0;
    }
    void shed()
    {
        m_gate = nullptr; // already forgotten
        m_socket->abort();
    }
    void detach() { m_gate = nullptr; }
    void answerStarted() { ++m_answers; }
    void answerDone()
    {
        m_answers = qMax(0, m_answers - 1);
        m_lastActiveMs = m_gate ? m_gate->nowMs() : m_lastActiveMs;
    }
    void encrypted() { m_timer.start(m_limits.idleTimeoutMs); }

private:
    void readyRead()
    {
        if (m_gate)
            m_lastActiveMs = m_gate->nowMs();
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
    HttpGate *m_gate;
    QHostAddress m_address;
    const HttpGate::Limits &m_limits;
    const HttpGate::RefusalBody &m_refusal;
    QTimer m_timer;
    qint64 m_lastActiveMs = 0;
    int m_answers = 0;
    QByteArray m_head;
    QByteArray m_language;
    qint64 m_bodyLeft = 0;
    qsizetype m_headTail = 0; // bytes of the latest read up to the end of the head just read
    bool m_refused = false;
};

namespace {
const QString watcherName = QStringLiteral("nimbrel-gate-watcher");

GateWatcher *watcherOf(QTcpSocket *socket)
{
    // GateWatcher has no meta-object of its own: found by name, among the socket's children.
    return socket ? static_cast<GateWatcher *>(socket->findChild<QObject *>(watcherName, Qt::FindDirectChildrenOnly))
                  : nullptr;
}
} // namespace

HttpGate::HttpGate(const Limits &limits, RefusalBody refusal, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
    , m_refusal(std::move(refusal))
{
    m_clock.start();
    m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::SocketResourceError)
            outOfDescriptors();
    });
}

HttpGate::~HttpGate()
{
    for (GateWatcher *watcher : std::as_const(m_open))
        watcher->detach();
    if (m_reserve >= 0)
        ::close(m_reserve);
}

void HttpGate::answerStarted(QTcpSocket *socket)
{
    if (GateWatcher *watcher = watcherOf(socket))
        watcher->answerStarted();
}

void HttpGate::answerDone(QTcpSocket *socket)
{
    if (GateWatcher *watcher = watcherOf(socket))
        watcher->answerDone();
}

void HttpGate::forget(GateWatcher *watcher)
{
    if (!m_open.remove(watcher))
        return;
    auto count = m_perAddress.find(watcher->address());
    if (count != m_perAddress.end() && --*count <= 0)
        m_perAddress.erase(count);
}

// Closes the idle connection quiet the longest (of that address when one is given); false
// when every one is busy.
bool HttpGate::shedOldestIdle(const QHostAddress *address)
{
    GateWatcher *oldest = nullptr;
    for (GateWatcher *watcher : std::as_const(m_open)) {
        if ((address && watcher->address() != *address) || !watcher->idle())
            continue;
        if (!oldest || watcher->lastActiveMs() < oldest->lastActiveMs())
            oldest = watcher;
    }
    if (!oldest)
        return false;
    forget(oldest);
    oldest->shed();
    return true;
}

bool HttpGate::makeRoom(const QHostAddress &address, bool capped)
{
    if (capped && m_perAddress.value(address) >= m_limits.maxConnectionsPerAddress && !shedOldestIdle(&address))
        return false;
    return int(m_open.size()) < m_limits.maxConnections || shedOldestIdle(nullptr);
}

// The process has no descriptor left for a new connection, and the listening socket stopped
// accepting: the reserve lets one more in, which is closed at once, an idle one makes room for
// the next, and accepting goes on.
void HttpGate::outOfDescriptors()
{
    if (m_reserve >= 0) {
        ::close(m_reserve);
        m_reserve = -1;
    }
    const int shed = ::accept4(int(socketDescriptor()), nullptr, nullptr, SOCK_CLOEXEC);
    if (shed >= 0)
        ::close(shed);
    shedOldestIdle(nullptr);
    m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    Log::line(QStringLiteral("no file descriptor left for a new connection: one was closed"));
    resumeAccepting();
}

void HttpGate::incomingConnection(qintptr socketDescriptor)
{
    QTcpSocket *socket = m_limits.tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    const QHostAddress address = plainAddress(socket->peerAddress());
    bool capped = true;
    for (const auto &range : m_limits.uncappedAddresses)
        capped = capped && !address.isInSubnet(range);
    if (!makeRoom(address, capped)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // A request the server holds whole is at most this large; beyond it the socket stops
    // reading and the timeouts end the connection.
    socket->setReadBufferSize(m_limits.maxHeadBytes + m_limits.maxBodyBytes + 4096);
    auto *watcher = new GateWatcher(socket, address, this);
    watcher->setObjectName(watcherName);
    m_open.insert(watcher);
    ++m_perAddress[address];
    if (!m_limits.tls) {
        addPendingConnection(socket);
        return;
    }
    auto *tls = static_cast<QSslSocket *>(socket);
    tls->setSslConfiguration(*m_limits.tls);
    // The HTTP server sees the connection once it is encrypted; a failed handshake just ends it.
    auto handedOver = std::make_shared<bool>(false);
    connect(tls, &QSslSocket::encrypted, this, [this, tls, watcher, handedOver] {
        *handedOver = true;
        watcher->encrypted();
        addPendingConnection(tls);
        emit newConnection();
    });
    connect(tls, &QAbstractSocket::disconnected, this, [tls, handedOver] {
        // Never handed to the HTTP server: nobody else deletes it.
        if (!*handedOver)
            tls->deleteLater();
    });
    tls->startServerEncryption();
}
