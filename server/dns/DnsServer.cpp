#include "DnsServer.h"

#include "DnsWorker.h"

using namespace DnsTuning;

namespace {
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
}} // namespace

DnsWorker::~DnsWorker()
{
    if (m_resolver)
        ub_ctx_delete(m_resolver); // no callback runs after this
    qDeleteAll(m_pending);
}

bool DnsWorker::start(const DnsServer::Settings &settings, quint16 *port, QString *error)
{
    m_clock.start();
    DnsStreamClients::Limits limits;
    limits.maxConnections = settings.maxTcpConnections;
    limits.maxPerAddress = DnsServer::maxTcpPerAddress;
    limits.idleMs = tcpIdleMs;
    m_streams = new DnsStreamClients(
        limits, [this](const QHostAddress &client) { return m_policy->answers(client); },
        [this](QTcpSocket *socket, const QByteArray &message, const QHostAddress &client) {
            Pending target;
            target.transport = DnsQuery::Transport::tcp;
            target.tcp = socket;
            target.streams = m_streams;
            handle(message, client, std::move(target));
        },
        this);
    if (settings.dotTls) {
        DnsStreamClients::Limits dotLimits = limits;
        dotLimits.maxPerAddress = DnsServer::maxDotPerAddress;
        // Admitted by their key, before the handshake.
        m_dotStreams = new DnsStreamClients(
            dotLimits, [](const QHostAddress &) { return true; },
            [this](QTcpSocket *socket, const QByteArray &message, const QHostAddress &client) {
                Pending target;
                target.transport = DnsQuery::Transport::tcp;
                target.tcp = socket;
                target.streams = m_dotStreams;
                handle(message, DnsClient(client, static_cast<DotSocket *>(socket)->keyHash), std::move(target));
            },
            this);
        DnsOverTls::Settings dot;
        dot.tls = *settings.dotTls;
        dot.zone = settings.dotZone;
        m_dot = new DnsOverTls(
            dot, [this](const QByteArray &keyHash) { return m_policy->knowsKey(keyHash); },
            [this](DotSocket *socket, const QHostAddress &client) {
                m_dotStreams->add(socket, DnsPolicy::plainAddress(client));
            }, this);
    }
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
            return !m_dot || m_dot->listen(settings.listen, settings.dotPort, error);
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
            m_streams->shedOne();
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

// A question asked the same way before is answered from the memo without reading it with ldns.
// The policy still decides for this client and this snapshot: an answer allowed for one client
// never serves another whose lists block the name, and a change of the lists applies at once.
QByteArray DnsWorker::fromMemo(const QByteArray &message, const DnsClient &client,
                               DnsQuery::Transport transport) const
{
    const DnsQuery::AnswerMemo::Entry *entry = m_memo.find(message.constData(), message.size(), transport);
    if (!entry)
        return {};
    switch (m_policy->decide(client, entry->nameSuffixes())) {
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

void DnsWorker::handle(const QByteArray &message, const DnsClient &client, Pending target)
{
    if (const QByteArray memo = fromMemo(message, client, target.transport); !memo.isEmpty()) {
        send(target, memo);
        return;
    }
    DnsQuery::Outcome outcome =
        DnsQuery::answer(message.constData(), message.size(), *m_policy, client, target.transport);
    switch (outcome.kind) {
    case DnsQuery::Outcome::Kind::drop:
        if (target.keyed)
            target.keyed({DnsServer::KeyedAnswer::Kind::notAQuery, {}});
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
    if (m_pending.size() >= maxPending) {
        // A datagram is dropped as the network would; an HTTPS request gets its answer.
        if (target.keyed)
            send(target, DnsQuery::fromAnswer(outcome.query.get(), nullptr, 0, target.transport));
        return;
    }
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

void DnsWorker::handleKeyed(const QByteArray &message, const QByteArray &keyHash, DnsServer::Answered answered)
{
    // A key that names nobody learns nothing of any policy.
    if (!m_policy->knowsKey(keyHash)) {
        answered({DnsServer::KeyedAnswer::Kind::unknownKey, {}});
        return;
    }
    Pending target;
    target.transport = DnsQuery::Transport::tcp; // no truncation: HTTP carries any size
    target.keyed = std::move(answered);
    handle(message, DnsClient(QHostAddress(), keyHash), std::move(target));
}

void DnsWorker::send(const Pending &target, const QByteArray &answer)
{
    if (answer.isEmpty())
        return;
    if (target.keyed) {
        target.keyed({DnsServer::KeyedAnswer::Kind::answer, answer});
        return;
    }
    if (target.transport == DnsQuery::Transport::udp) {
        m_replies.push_back({target.udp->fd, answer, target.peer, target.peerSize});
        if (!m_holdReplies)
            flushReplies();
        return;
    }
    if (!target.tcp || !target.streams)
        return;
    // A client refused now is refused for every name: its connection ends with the answer.
    target.streams->answer(target.tcp, answer, answer.size() > 3 && (answer.at(3) & 0x0f) == LDNS_RCODE_REFUSED);
}

DnsServer::DnsServer(QObject *parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("dns"));
}

DnsServer::~DnsServer()
{
    {
        QMutexLocker lock(&m_servingLock);
        m_serving = nullptr;
    }
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
    quint16 dotPort = 0;
    QMetaObject::invokeMethod(
        m_worker,
        [&] {
            started = m_worker->start(settings, &port, error);
            dotPort = m_worker->dotPort();
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        QMetaObject::invokeMethod(m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
        m_worker = nullptr;
        m_thread.quit();
        m_thread.wait();
        return false;
    }
    m_port = port;
    m_dotPort = dotPort;
    QMutexLocker lock(&m_servingLock);
    m_serving = m_worker;
    return true;
}

void DnsServer::askForDevice(const QByteArray &message, const QByteArray &keyHash, QObject *context,
                             Answered answered)
{
    QMutexLocker lock(&m_servingLock);
    if (!m_serving) {
        lock.unlock();
        answered({KeyedAnswer::Kind::unavailable, {}});
        return;
    }
    QMetaObject::invokeMethod(
        m_serving,
        [worker = m_serving, message, keyHash, context, answered = std::move(answered)]() mutable {
            worker->handleKeyed(message, keyHash, [context, answered = std::move(answered)](const KeyedAnswer &answer) {
                QMetaObject::invokeMethod(context, [answered, answer] { answered(answer); }, Qt::QueuedConnection);
            });
        },
        Qt::QueuedConnection);
}

void DnsServer::setPolicy(std::shared_ptr<const DnsPolicy> policy)
{
    if (!m_worker)
        return;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, policy = std::move(policy)]() mutable { worker->setPolicy(std::move(policy)); },
        Qt::QueuedConnection);
}
