#pragma once

// The DNS thread's worker, shared by DnsServer.cpp (the resolver and the answers) and
// DnsWorkerSockets.cpp (UDP in batches, DNS over TCP). Included by those two only.

#include "DnsServer.h"

#include "DnsOverTls.h"
#include "DnsQuery.h"
#include "DnsStreamClients.h"

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

namespace DnsTuning {
constexpr int tcpIdleMs = 10000;  // after the last whole query
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
} // namespace DnsTuning


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
    quint16 dotPort() const { return m_dot ? m_dot->port() : 0; }
    void setPolicy(std::shared_ptr<const DnsPolicy> policy) { m_policy = std::move(policy); }
    // A message of a device named by its key, from outside the DNS ports.
    void handleKeyed(const QByteArray &message, const QByteArray &keyHash, DnsServer::Answered answered);

private:
    struct Pending {
        DnsWorker *worker = nullptr;
        DnsQuery::Packet query;
        DnsQuery::Transport transport = DnsQuery::Transport::udp;
        UdpListener *udp = nullptr;
        sockaddr_storage peer{}; // as received, so the answer goes back to exactly it
        socklen_t peerSize = 0;
        QPointer<QTcpSocket> tcp;
        DnsStreamClients *streams = nullptr; // the tcp socket's: DNS over TCP or over TLS
        DnsServer::Answered keyed; // a message from handleKeyed: its answer goes here
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
    // Answers now or hands the name to the resolver; the answer goes back through send().
    void handle(const QByteArray &message, const DnsClient &client, Pending target);
    QByteArray fromMemo(const QByteArray &message, const DnsClient &client, DnsQuery::Transport transport) const;
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
    DnsStreamClients *m_streams = nullptr;
    DnsStreamClients *m_dotStreams = nullptr;
    DnsOverTls *m_dot = nullptr;
    ub_ctx *m_resolver = nullptr;
    QSocketNotifier *m_resolverNotifier = nullptr;
    QSet<Pending *> m_pending;
    QTimer *m_deadlines = nullptr;
    QHash<QByteArray, Cached> m_cache; // kept past their TTL (for staleSeconds) to answer stale
    // Receive buffers for one batch.
    std::vector<char> m_datagrams = std::vector<char>(size_t(DnsTuning::udpBatch * DnsTuning::maxUdpQuery));
    sockaddr_storage m_peers[DnsTuning::udpBatch];
    socklen_t m_peerSizes[DnsTuning::udpBatch];
    int m_sizes[DnsTuning::udpBatch];
    // Replies are held while a batch is answered (or the resolver's answers delivered), then
    // sent together.
    bool m_holdReplies = false;
    std::vector<Reply> m_replies;
    DnsQuery::AnswerMemo m_memo; // blocked and cached answers as sent, rebuilt when their TTLs tick
    sockaddr_storage m_lastPeer{};
    QHostAddress m_lastPeerAddress;
    QElapsedTimer m_clock;
};

