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
        return m_head.isEmpty() && m_bodyLeft == 0 && !m_refused && m_answers == 0 && m_socket->bytesToWrite() == 0 &&
               m_socket->bytesAvailable() == 0;
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
        if (m_answers == 0 && !m_refusalAnswer.isEmpty())
            sendRefusal();
    }
    void encrypted() { m_timer.start(m_limits.idleTimeoutMs); }

private:
    void readyRead()
    {
        if (m_gate)
            m_lastActiveMs = m_gate->nowMs();
        if (m_refused)
            return;
        // The HTTP server takes one request a turn and signals again for what follows, so each
        // request is checked at its own turn, and a bad one never stops those before it. Between
        // two requests it holds no transaction and the unread bytes start at the next request;
        // within one it has read what came so far and only new bytes are unread.
        if (!m_socket->isTransactionStarted()) {
            m_head.clear();
            m_bodyLeft = 0;
            m_whole = false;
        }
        if (m_whole)
            return;
        const QByteArray fresh = m_socket->peek(m_socket->bytesAvailable());
        qsizetype at = 0;
        if (m_bodyLeft == 0) {
            if (m_head.isEmpty()) {
                // Blank lines before a request are allowed.
                while (at < fresh.size() && (fresh[at] == '\r' || fresh[at] == '\n'))
                    ++at;
                if (at == fresh.size())
                    return;
                m_timer.start(m_limits.requestTimeoutMs);
            }
            if (!readHead(fresh, &at))
                return;
        }
        const qint64 take = qMin<qint64>(m_bodyLeft, fresh.size() - at);
        m_bodyLeft -= take;
        if (m_bodyLeft == 0)
            requestComplete();
    }

    // Takes the head's bytes from fresh; true once the head is whole and passed its checks.
    // Every line ends with CR LF: the HTTP server also ends one at a bare LF or CR, which would
    // let it see headers these checks did not.
    bool readHead(const QByteArray &fresh, qsizetype *at)
    {
        for (; *at < fresh.size(); ++*at) {
            const char c = fresh[*at];
            const bool afterCR = !m_head.isEmpty() && m_head.back() == '\r';
            if (afterCR != (c == '\n'))
                return refuse(400);
            m_head.append(c);
            if (m_head.size() > m_limits.maxHeadBytes)
                return refuse(431);
            if (c == '\n' && m_head.endsWith("\r\n\r\n")) {
                m_headTail = ++*at;
                return checkHead();
            }
        }
        return false;
    }

    bool checkHead()
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
                // A second length, even the same, is a request smuggled past a proxy.
                if (!ok || length)
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
        return true;
    }

    void requestComplete()
    {
        m_whole = true;
        m_timer.start(m_limits.idleTimeoutMs);
    }

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

    // Always false: what the checks return once a request is refused.
    bool refuse(int status, qint64 announced = 0)
    {
        m_refused = true;
        m_timer.stop();
        // The HTTP server must not read this request: it would run it.
        disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
        m_discard = announced <= maxDiscardBytes ? announced : 0;
        // What came with the head already counts.
        m_discard -= m_socket->readAll().size() - m_headTail;
        const QByteArray body = m_refusal(status, m_language);
        m_refusalAnswer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) +
                          "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body;
        Log::line(QStringLiteral("refused a request before reading it: HTTP %1").arg(status));
        // The requests before this one are answered first, in their order.
        if (m_answers == 0)
            sendRefusal();
        else
            m_timer.start(m_limits.requestTimeoutMs);
        return false;
    }

    void sendRefusal()
    {
        m_socket->write(m_refusalAnswer);
        m_refusalAnswer.clear();
        if (m_discard <= 0) {
            m_socket->disconnectFromHost();
            return;
        }
        auto left = std::make_shared<qint64>(m_discard);
        connect(m_socket, &QTcpSocket::readyRead, this, [this, left] {
            *left -= m_socket->readAll().size();
            if (*left <= 0)
                m_socket->disconnectFromHost();
        });
        m_timer.start(m_limits.requestTimeoutMs);
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
    bool m_whole = false;     // the request under way came whole; the next waits for its turn
    bool m_refused = false;
    QByteArray m_refusalAnswer; // written once the requests before the refused one are answered
    qint64 m_discard = 0;
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
