// The DNS thread's sockets: UDP read and written in batches, DNS over TCP with its caps.
#include "DnsWorker.h"

using namespace DnsTuning;

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

void DnsWorker::acceptTcp(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection())
        m_streams->add(socket, DnsPolicy::plainAddress(socket->peerAddress()));
}
