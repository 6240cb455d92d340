#include "DnsServer.h"

#include "DnsQuery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QNetworkDatagram>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ldns/ldns.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unbound.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int tcpIdleMs = 10000;
constexpr int maxPending = 10000; // queries waiting for the resolver; beyond, new ones are dropped
constexpr int maxCached = 50000;   // answers kept; when full, the cache starts again empty
constexpr qint64 maxUdpQuery = 4096; // a name and EDNS options fit many times over
// A client gets an answer this soon whatever the upstream does: a stale one when the cache has
// the name, SERVFAIL otherwise (libunbound alone waits 10 s and more for a silent upstream).
constexpr qint64 answerWithinMs = 1200;
constexpr int deadlineCheckMs = 200;
constexpr qint64 staleSeconds = 24 * 3600; // how long past its TTL an answer may still serve
// Once the upstream failed to renew a name, its stale answer is given at once for this long
// before the upstream is tried again, rather than each client waiting for the deadline.
constexpr qint64 staleRefreshSeconds = 30;
// Datagrams taken per system call, and calls per wake-up before TCP and the resolver get a turn.
constexpr int udpBatch = 64;
constexpr int udpBatchesPerWake = 16;

QString bindError(const QAbstractSocket &socket, const QHostAddress &address, quint16 port)
{
    QString why = QStringLiteral("cannot bind DNS port %1 on %2: %3")
                      .arg(port)
                      .arg(address.toString(), socket.errorString());
    if (socket.error() == QAbstractSocket::SocketAccessError && port < 1024)
        why += QStringLiteral(
                   " (ports below 1024 need a privilege: run as root, or give the binary the capability with "
                   "`sudo setcap cap_net_bind_service=+ep %1`)")
                   .arg(QCoreApplication::applicationFilePath());
    return why;
}
} // namespace

// A bound UDP socket read and written directly: one system call takes or sends a batch of
// datagrams where the system has one (recvmmsg, sendmmsg), a datagram a call elsewhere.
struct UdpListener {
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    ~UdpListener()
    {
        delete notifier;
        if (fd >= 0)
            ::close(fd);
    }
};

// Lives on the DNS thread; everything below runs there.
class DnsWorker : public QObject
{
public:
    ~DnsWorker() override;

    bool start(const DnsServer::Settings &settings, quint16 *port, QString *error);
    void setPolicy(std::shared_ptr<const DnsPolicy> policy) { m_policy = std::move(policy); }

private:
    struct Pending {
        DnsWorker *worker = nullptr;
        DnsQuery::Packet query;
        DnsQuery::Transport transport = DnsQuery::Transport::udp;
        UdpListener *udp = nullptr;
        sockaddr_storage peer{}; // as received, so the answer goes back to exactly it
        socklen_t peerSize = 0;
        QPointer<QTcpSocket> tcp;
        QByteArray cacheKey;
        qint64 startedMs = 0; // on m_clock
        bool answered = false; // by the deadline; the upstream's late answer is only cached
    };
    // libunbound's answers come through one background thread and a pipe, which bounds the
    // answers a second far below what this thread serves: answers are kept here for their TTL.
    struct Cached {
        DnsQuery::Packet answer;
        qint64 storedAt = 0; // seconds on m_clock
        quint32 seconds = 0;
        qint64 failedAt = -1; // when the upstream last failed to renew it, in seconds on m_clock
    };

    // A UDP reply waiting for the end of the batch it answers.
    struct Reply {
        int fd = -1;
        QByteArray answer;
        sockaddr_storage peer{};
        socklen_t peerSize = 0;
    };

    bool bindAll(const DnsServer::Settings &settings, quint16 port, QString *error);
    bool startResolver(const DnsServer::Settings &settings, QString *error);
    bool takeOver(QUdpSocket *socket, QString *error);
    void readUdp(UdpListener *listener);
    int receiveBatch(int fd);
    void flushReplies();
    void acceptTcp(QTcpServer *server);
    bool makeTcpRoom(const QHostAddress &address);
    bool shedQuietest(const QHostAddress *address);
    void readTcp(QTcpSocket *socket);
    // Answers now or hands the name to the resolver; the answer goes back through send().
    void handle(const QByteArray &message, const QHostAddress &peer, Pending target);
    QByteArray fromMemo(const QByteArray &message, const QHostAddress &peer, DnsQuery::Transport transport) const;
    const QHostAddress &peerAddress(const sockaddr_storage &peer);
    // Which cached answer (when it was stored), at which age in whole seconds.
    static qint64 stampOf(qint64 storedAt, qint64 age) { return (storedAt << 22) | age; }
    void send(const Pending &target, const QByteArray &answer);
    static void resolved(void *data, int error, ub_result *result);
    // The answer when the upstream cannot give one: stale from the cache, or SERVFAIL.
    QByteArray withoutUpstream(const Pending &pending);
    void checkDeadlines();

    std::shared_ptr<const DnsPolicy> m_policy;
    QList<QUdpSocket *> m_udp; // while binding
    std::vector<std::unique_ptr<UdpListener>> m_listeners;
    QList<QTcpServer *> m_tcp;
    struct TcpClient {
        QHostAddress address;
        qint64 lastActiveMs = 0;
    };
    QHash<QTcpSocket *, TcpClient> m_tcpClients;
    QHash<QHostAddress, int> m_tcpPerAddress;
    int m_maxTcp = DnsServer::maxTcpConnections;
    ub_ctx *m_resolver = nullptr;
    QSocketNotifier *m_resolverNotifier = nullptr;
    QSet<Pending *> m_pending;
    QTimer *m_deadlines = nullptr;
    QHash<QByteArray, Cached> m_cache; // kept past their TTL (for staleSeconds) to answer stale
    // Receive buffers for one batch.
    std::vector<char> m_datagrams = std::vector<char>(size_t(udpBatch * maxUdpQuery));
    sockaddr_storage m_peers[udpBatch];
    socklen_t m_peerSizes[udpBatch];
    int m_sizes[udpBatch];
    // Replies are held while a batch is answered (or the resolver's answers delivered), then
    // sent together.
    bool m_holdReplies = false;
    std::vector<Reply> m_replies;
    DnsQuery::AnswerMemo m_memo; // blocked and cached answers as sent, rebuilt when their TTLs tick
    sockaddr_storage m_lastPeer{};
    QHostAddress m_lastPeerAddress;
    QElapsedTimer m_clock;
};

DnsWorker::~DnsWorker()
{
    if (m_resolver)
        ub_ctx_delete(m_resolver); // no callback runs after this
    qDeleteAll(m_pending);
}

bool DnsWorker::start(const DnsServer::Settings &settings, quint16 *port, QString *error)
{
    m_clock.start();
    m_maxTcp = qMax(1, settings.maxTcpConnections);
    if (!startResolver(settings, error))
        return false;
    // With port 0 the system picks the UDP port; TCP must get the same one, which another
    // program may hold: try a few times.
    for (int attempt = 0; attempt < (settings.port == 0 ? 10 : 1); ++attempt) {
        if (bindAll(settings, settings.port, error)) {
            *port = m_udp.first()->localPort();
            for (QUdpSocket *udp : std::as_const(m_udp)) {
                if (!takeOver(udp, error))
                    return false;
            }
            qDeleteAll(m_udp); // closes Qt's descriptors; ours stay bound
            m_udp.clear();
            return true;
        }
        qDeleteAll(m_udp);
        qDeleteAll(m_tcp);
        m_udp.clear();
        m_tcp.clear();
    }
    return false;
}

bool DnsWorker::bindAll(const DnsServer::Settings &settings, quint16 port, QString *error)
{
    for (const QHostAddress &address : settings.listen) {
        auto *udp = new QUdpSocket(this);
        m_udp.append(udp);
        if (!udp->bind(address, port)) {
            *error = bindError(*udp, address, port);
            return false;
        }
        port = udp->localPort();
        auto *tcp = new QTcpServer(this);
        m_tcp.append(tcp);
        if (!tcp->listen(address, port)) {
            *error = QStringLiteral("cannot listen for DNS over TCP on %1 port %2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(tcp->errorString());
            return false;
        }
        connect(tcp, &QTcpServer::newConnection, this, [this, tcp] { acceptTcp(tcp); });
        // Out of descriptors, Qt stops accepting for good: make room and go on a moment later.
        connect(tcp, &QTcpServer::acceptError, this, [this, tcp] {
            shedQuietest(nullptr);
            QTimer::singleShot(100, tcp, &QTcpServer::resumeAccepting);
        });
    }
    return true;
}

bool DnsWorker::startResolver(const DnsServer::Settings &settings, QString *error)
{
    m_resolver = ub_ctx_create();
    if (!m_resolver) {
        *error = QStringLiteral("cannot create the DNS resolver");
        return false;
    }
    auto fail = [&](const QString &what, int code) {
        *error = QStringLiteral("DNS resolver: %1: %2").arg(what, QString::fromUtf8(ub_strerror(code)));
        return false;
    };
    // Threads, not a forked process; its answers arrive through ub_fd() on this thread.
    if (int code = ub_ctx_async(m_resolver, 1))
        return fail(QStringLiteral("asynchronous mode"), code);
    // A loopback upstream is the usual local set-up.
    if (int code = ub_ctx_set_option(m_resolver, "do-not-query-localhost:", "no"))
        return fail(QStringLiteral("do-not-query-localhost"), code);
    for (const QString &upstream : settings.upstreams) {
        if (int code = ub_ctx_set_fwd(m_resolver, upstream.toLatin1().constData()))
            return fail(QStringLiteral("upstream %1").arg(upstream), code);
    }
    // libunbound answers names under test. itself unless told otherwise; they go upstream
    // like every other allowed name.
    if (int code = ub_ctx_zone_add(m_resolver, "test.", "nodefault"))
        return fail(QStringLiteral("zone test."), code);
    m_deadlines = new QTimer(this);
    m_deadlines->setInterval(deadlineCheckMs);
    connect(m_deadlines, &QTimer::timeout, this, &DnsWorker::checkDeadlines);
    m_resolverNotifier = new QSocketNotifier(ub_fd(m_resolver), QSocketNotifier::Read, this);
    connect(m_resolverNotifier, &QSocketNotifier::activated, this, [this] {
        m_holdReplies = true;
        ub_process(m_resolver);
        m_holdReplies = false;
        flushReplies();
    });
    return true;
}

// Qt binds (and says why it cannot); the worker then reads and writes a descriptor of its own,
// which keeps the socket once the QUdpSocket closes its one.
bool DnsWorker::takeOver(QUdpSocket *socket, QString *error)
{
    auto listener = std::make_unique<UdpListener>();
    listener->fd = ::fcntl(int(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (listener->fd < 0) {
        *error = QStringLiteral("cannot take the DNS socket over: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    listener->notifier = new QSocketNotifier(listener->fd, QSocketNotifier::Read, this);
    UdpListener *raw = listener.get();
    connect(listener->notifier, &QSocketNotifier::activated, this, [this, raw] { readUdp(raw); });
    m_listeners.push_back(std::move(listener));
    return true;
}

// Fills the receive buffers; the number of datagrams taken, 0 when none waits.
int DnsWorker::receiveBatch(int fd)
{
#ifdef Q_OS_LINUX
    mmsghdr messages[udpBatch];
    iovec buffers[udpBatch];
    for (int i = 0; i < udpBatch; ++i) {
        buffers[i] = {m_datagrams.data() + i * maxUdpQuery, size_t(maxUdpQuery)};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &m_peers[i];
        messages[i].msg_hdr.msg_namelen = sizeof m_peers[i];
        messages[i].msg_hdr.msg_iov = &buffers[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    int count;
    do
        count = ::recvmmsg(fd, messages, udpBatch, MSG_DONTWAIT, nullptr);
    while (count < 0 && errno == EINTR);
    for (int i = 0; i < count; ++i) {
        m_sizes[i] = int(messages[i].msg_len);
        m_peerSizes[i] = messages[i].msg_hdr.msg_namelen;
    }
    return qMax(count, 0);
#else
    int count = 0;
    while (count < udpBatch) {
        m_peerSizes[count] = sizeof m_peers[count];
        const ssize_t size = ::recvfrom(fd, m_datagrams.data() + count * maxUdpQuery, size_t(maxUdpQuery), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr *>(&m_peers[count]), &m_peerSizes[count]);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        m_sizes[count++] = int(size);
    }
    return count;
#endif
}

void DnsWorker::readUdp(UdpListener *listener)
{
    // Datagrams longer than a buffer are cut to it, as before: they fail to parse and get FORMERR.
    for (int round = 0; round < udpBatchesPerWake; ++round) {
        m_holdReplies = true;
        const int count = receiveBatch(listener->fd);
        for (int i = 0; i < count; ++i) {
            Pending target;
            target.udp = listener;
            std::memcpy(&target.peer, &m_peers[i], m_peerSizes[i]);
            target.peerSize = m_peerSizes[i];
            handle(QByteArray::fromRawData(m_datagrams.data() + i * maxUdpQuery, m_sizes[i]), peerAddress(m_peers[i]),
                   std::move(target));
        }
        m_holdReplies = false;
        flushReplies();
        if (count < udpBatch)
            break;
    }
}

// Datagrams mostly come from the same few clients: their address is built once for a run of
// them rather than for each.
const QHostAddress &DnsWorker::peerAddress(const sockaddr_storage &peer)
{
    bool same = false;
    if (peer.ss_family == AF_INET && m_lastPeer.ss_family == AF_INET) {
        same = reinterpret_cast<const sockaddr_in &>(peer).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in &>(m_lastPeer).sin_addr.s_addr;
    } else if (peer.ss_family == AF_INET6 && m_lastPeer.ss_family == AF_INET6) {
        const auto &a = reinterpret_cast<const sockaddr_in6 &>(peer);
        const auto &b = reinterpret_cast<const sockaddr_in6 &>(m_lastPeer);
        same = std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0 && a.sin6_scope_id == b.sin6_scope_id;
    }
    if (!same) {
        m_lastPeer = peer;
        m_lastPeerAddress = QHostAddress(reinterpret_cast<const sockaddr *>(&peer));
    }
    return m_lastPeerAddress;
}

void DnsWorker::flushReplies()
{
    // A full send buffer waits a little once; what still cannot go is dropped, as a datagram
    // lost on the network would be.
    bool waited = false;
    auto sendable = [&](int fd) {
        if (waited || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS))
            return false;
        waited = true;
        pollfd writable{fd, POLLOUT, 0};
        ::poll(&writable, 1, 10);
        return true;
    };
#ifdef Q_OS_LINUX
    mmsghdr messages[udpBatch];
    iovec buffers[udpBatch];
    size_t next = 0;
    while (next < m_replies.size()) {
        // Consecutive replies from one socket go in one call.
        const int fd = m_replies[next].fd;
        int count = 0;
        while (count < udpBatch && next + size_t(count) < m_replies.size() &&
               m_replies[next + size_t(count)].fd == fd) {
            Reply &reply = m_replies[next + size_t(count)];
            buffers[count] = {reply.answer.data(), size_t(reply.answer.size())};
            messages[count] = {};
            messages[count].msg_hdr.msg_name = &reply.peer;
            messages[count].msg_hdr.msg_namelen = reply.peerSize;
            messages[count].msg_hdr.msg_iov = &buffers[count];
            messages[count].msg_hdr.msg_iovlen = 1;
            ++count;
        }
        int done = 0;
        while (done < count) {
            const int sent = ::sendmmsg(fd, messages + done, unsigned(count - done), MSG_DONTWAIT);
            if (sent > 0)
                done += sent;
            else if (errno != EINTR && !sendable(fd))
                ++done; // this one cannot go
        }
        next += size_t(count);
    }
#else
    for (const Reply &reply : m_replies) {
        while (::sendto(reply.fd, reply.answer.constData(), size_t(reply.answer.size()), MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr *>(&reply.peer), reply.peerSize) < 0 &&
               (errno == EINTR || sendable(reply.fd))) {
        }
    }
#endif
    m_replies.clear();
}

bool DnsWorker::shedQuietest(const QHostAddress *address)
{
    QTcpSocket *quietest = nullptr;
    qint64 since = 0;
    for (auto it = m_tcpClients.cbegin(); it != m_tcpClients.cend(); ++it) {
        if (address && it->address != *address)
            continue;
        if (!quietest || it->lastActiveMs < since) {
            quietest = it.key();
            since = it->lastActiveMs;
        }
    }
    if (!quietest)
        return false;
    quietest->abort(); // disconnected() forgets it
    return true;
}

bool DnsWorker::makeTcpRoom(const QHostAddress &address)
{
    if (m_tcpPerAddress.value(address) >= DnsServer::maxTcpPerAddress && !shedQuietest(&address))
        return false;
    return m_tcpClients.size() < m_maxTcp || shedQuietest(nullptr);
}

void DnsWorker::acceptTcp(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        const QHostAddress address = DnsPolicy::plainAddress(socket->peerAddress());
        if (!makeTcpRoom(address)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_tcpClients.insert(socket, {address, m_clock.elapsed()});
        ++m_tcpPerAddress[address];
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(tcpIdleMs);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
            idle->start(tcpIdleMs);
            if (const auto client = m_tcpClients.find(socket); client != m_tcpClients.end())
                client->lastActiveMs = m_clock.elapsed();
            readTcp(socket);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            const auto client = m_tcpClients.constFind(socket);
            if (client != m_tcpClients.cend()) {
                auto count = m_tcpPerAddress.find(client->address);
                if (count != m_tcpPerAddress.end() && --*count <= 0)
                    m_tcpPerAddress.erase(count);
                m_tcpClients.erase(client);
            }
            socket->deleteLater();
        });
    }
}

void DnsWorker::readTcp(QTcpSocket *socket)
{
    // Each message comes after its length in two bytes; a partial one waits for more.
    while (socket->bytesAvailable() >= 2) {
        char prefix[2];
        socket->peek(prefix, 2);
        const quint16 length = qFromBigEndian<quint16>(prefix);
        if (socket->bytesAvailable() < 2 + qint64(length))
            return;
        socket->skip(2);
        const QByteArray message = socket->read(length);
        Pending target;
        target.transport = DnsQuery::Transport::tcp;
        target.tcp = socket;
        handle(message, socket->peerAddress(), std::move(target));
    }
}

// A question asked the same way before is answered from the memo without reading it with ldns.
// The policy still decides for this client and this snapshot: an answer allowed for one client
// never serves another whose lists block the name, and a change of the lists applies at once.
QByteArray DnsWorker::fromMemo(const QByteArray &message, const QHostAddress &peer,
                               DnsQuery::Transport transport) const
{
    const DnsQuery::AnswerMemo::Entry *entry = m_memo.find(message.constData(), message.size(), transport);
    if (!entry)
        return {};
    switch (m_policy->decide(peer, entry->nameSuffixes())) {
    case DnsPolicy::Verdict::block:
        return entry->blocked ? entry->answerTo(message.constData()) : QByteArray();
    case DnsPolicy::Verdict::forward: {
        if (entry->blocked)
            return {};
        const auto cached = m_cache.constFind(entry->source);
        if (cached == m_cache.constEnd())
            return {};
        const qint64 age = m_clock.elapsed() / 1000 - cached->storedAt;
        if (age >= qint64(cached->seconds) || stampOf(cached->storedAt, age) != entry->stamp)
            return {};
        return entry->answerTo(message.constData());
    }
    case DnsPolicy::Verdict::refuse:
    case DnsPolicy::Verdict::probe:
        break;
    }
    return {};
}

void DnsWorker::handle(const QByteArray &message, const QHostAddress &peer, Pending target)
{
    if (const QByteArray memo = fromMemo(message, peer, target.transport); !memo.isEmpty()) {
        send(target, memo);
        return;
    }
    DnsQuery::Outcome outcome =
        DnsQuery::answer(message.constData(), message.size(), *m_policy, peer, target.transport);
    switch (outcome.kind) {
    case DnsQuery::Outcome::Kind::drop:
        return;
    case DnsQuery::Outcome::Kind::reply:
        if (outcome.blocked)
            m_memo.store(message.constData(), message.size(), target.transport, outcome.question, outcome.reply, true);
        send(target, outcome.reply);
        return;
    case DnsQuery::Outcome::Kind::forward:
        break;
    }
    // Names differ only in letter case; the DO bit changes what an answer holds.
    const QByteArray key = outcome.question + (ldns_pkt_edns_do(outcome.query.get()) ? 'd' : '-');
    const auto cached = m_cache.constFind(key);
    if (cached != m_cache.constEnd()) {
        const qint64 age = m_clock.elapsed() / 1000 - cached->storedAt;
        if (age < qint64(cached->seconds)) {
            // TTLs count down by whole seconds: the same answer serves for the rest of this one.
            const QByteArray answer =
                DnsQuery::fromAnswer(outcome.query.get(), cached->answer.get(), quint32(age), target.transport);
            m_memo.store(message.constData(), message.size(), target.transport, outcome.question, answer, false, key,
                         stampOf(cached->storedAt, age));
            send(target, answer);
            return;
        }
        if (age >= qint64(cached->seconds) + staleSeconds) {
            m_cache.erase(cached);
        } else if (cached->failedAt >= 0 && m_clock.elapsed() / 1000 - cached->failedAt < staleRefreshSeconds) {
            send(target, DnsQuery::fromStaleAnswer(outcome.query.get(), cached->answer.get(), target.transport));
            return;
        }
    }
    if (m_pending.size() >= maxPending)
        return;
    auto *pending = new Pending(std::move(target));
    pending->worker = this;
    pending->query = outcome.query;
    pending->cacheKey = key;
    pending->startedMs = m_clock.elapsed();
    if (ub_resolve_async(m_resolver, DnsQuery::nameText(outcome.query.get()).c_str(), outcome.type, outcome.klass, pending,
                         &DnsWorker::resolved, nullptr) != 0) {
        send(*pending, withoutUpstream(*pending));
        delete pending;
        return;
    }
    m_pending.insert(pending);
    if (!m_deadlines->isActive())
        m_deadlines->start();
}

QByteArray DnsWorker::withoutUpstream(const Pending &pending)
{
    const qint64 now = m_clock.elapsed() / 1000;
    const auto cached = m_cache.find(pending.cacheKey);
    if (cached != m_cache.end() && now - cached->storedAt < qint64(cached->seconds) + staleSeconds) {
        cached->failedAt = now;
        return DnsQuery::fromStaleAnswer(pending.query.get(), cached->answer.get(), pending.transport);
    }
    return DnsQuery::fromAnswer(pending.query.get(), nullptr, 0, pending.transport);
}

void DnsWorker::checkDeadlines()
{
    const qint64 now = m_clock.elapsed();
    m_holdReplies = true;
    for (Pending *pending : std::as_const(m_pending)) {
        if (!pending->answered && now - pending->startedMs >= answerWithinMs) {
            pending->answered = true;
            send(*pending, withoutUpstream(*pending));
        }
    }
    m_holdReplies = false;
    flushReplies();
    if (m_pending.isEmpty())
        m_deadlines->stop();
}

void DnsWorker::resolved(void *data, int error, ub_result *result)
{
    auto *pending = static_cast<Pending *>(data);
    DnsWorker *worker = pending->worker;
    worker->m_pending.remove(pending);
    const bool ok = error == 0 && result && result->answer_packet;
    const DnsQuery::Packet answer =
        ok ? DnsQuery::readUpstream(result->answer_packet, result->answer_len) : DnsQuery::Packet();
    if (result)
        ub_resolve_free(result);
    if (!pending->answered) {
        // The upstream failing is no reason to withhold what the cache still has.
        const bool failed = !answer || ldns_pkt_get_rcode(answer.get()) == LDNS_RCODE_SERVFAIL;
        worker->send(*pending, failed ? worker->withoutUpstream(*pending)
                                      : DnsQuery::fromAnswer(pending->query.get(), answer.get(), 0, pending->transport));
    }
    if (const quint32 seconds = answer ? DnsQuery::cacheSeconds(answer.get()) : 0) {
        if (worker->m_cache.size() >= maxCached)
            worker->m_cache.clear();
        worker->m_cache.insert(pending->cacheKey, {answer, worker->m_clock.elapsed() / 1000, seconds});
    }
    delete pending;
}

void DnsWorker::send(const Pending &target, const QByteArray &answer)
{
    if (answer.isEmpty())
        return;
    if (target.transport == DnsQuery::Transport::udp) {
        m_replies.push_back({target.udp->fd, answer, target.peer, target.peerSize});
        if (!m_holdReplies)
            flushReplies();
        return;
    }
    if (!target.tcp || target.tcp->state() != QAbstractSocket::ConnectedState)
        return;
    char prefix[2];
    qToBigEndian<quint16>(quint16(answer.size()), prefix);
    target.tcp->write(prefix, 2);
    target.tcp->write(answer);
}

DnsServer::DnsServer(QObject *parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("dns"));
}

DnsServer::~DnsServer()
{
    if (m_worker) {
        QMetaObject::invokeMethod(m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
        m_worker = nullptr;
    }
    m_thread.quit();
    m_thread.wait();
}

bool DnsServer::start(const Settings &settings, std::shared_ptr<const DnsPolicy> policy, QString *error)
{
    if (settings.listen.isEmpty()) {
        *error = QStringLiteral("no DNS listen address");
        return false;
    }
    m_thread.start();
    m_worker = new DnsWorker;
    m_worker->setPolicy(std::move(policy));
    m_worker->moveToThread(&m_thread);
    bool started = false;
    quint16 port = 0;
    QMetaObject::invokeMethod(
        m_worker, [&] { started = m_worker->start(settings, &port, error); }, Qt::BlockingQueuedConnection);
    if (!started) {
        QMetaObject::invokeMethod(m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
        m_worker = nullptr;
        m_thread.quit();
        m_thread.wait();
        return false;
    }
    m_port = port;
    return true;
}

void DnsServer::setPolicy(std::shared_ptr<const DnsPolicy> policy)
{
    if (!m_worker)
        return;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, policy = std::move(policy)]() mutable { worker->setPolicy(std::move(policy)); },
        Qt::QueuedConnection);
}
