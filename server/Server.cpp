#include "Server.h"

#include "ApiService.h"
#include "FileClock.h"
#include "HttpWorker.h"
#include "Outbox.h"
#include "PasswordWorkers.h"
#include "SessionCache.h"
#include "SocialVerifier.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "dns/DnsPolicyBuilder.h"
#include "dns/DnsServer.h"
#include "storage/SqlStorage.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QThread>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// The open-file limit raised as far as the system lets this process (the usual soft limit of
// 1,024 is a few hundred idle clients); the limit in force.
qint64 raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? qint64(1) << 20 : qint64(limit.rlim_cur);
}

// Descriptors kept for everything but client connections: database connections, listening
// sockets, the resolver's, files being written, the threads' wake-up pipes.
qint64 reservedDescriptors(int threads)
{
    return 64 + 16 * qint64(threads);
}
} // namespace

std::unique_ptr<Server> Server::start(const ServerOptions &options, QString *error)
{
    std::unique_ptr<Server> server(new Server);
    if (!options.clockFile.isEmpty()) {
        server->m_ownClock = std::make_unique<FileClock>(options.clockFile);
        server->m_clock = server->m_ownClock.get();
    } else {
        server->m_clock = &Clock::shared();
    }

    // One server a data folder: two on one SQLite file would each trust what it keeps in memory.
    QDir().mkpath(options.dataFolder);
    server->m_lock =
        std::make_unique<QLockFile>(QDir(options.dataFolder).filePath(QStringLiteral("nimbrel-server.lock")));
    server->m_lock->setStaleLockTime(0); // only a live process holds it
    if (!server->m_lock->tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString program;
        server->m_lock->getLockInfo(&pid, &host, &program);
        *error = server->m_lock->error() == QLockFile::LockFailedError
                     ? QStringLiteral("another server uses the data folder %1: %2 (pid %3)")
                           .arg(options.dataFolder, program.isEmpty() ? QStringLiteral("nimbrel-server") : program)
                           .arg(pid)
                     : QStringLiteral("cannot lock the data folder %1").arg(options.dataFolder);
        return nullptr;
    }

    const std::optional<QByteArray> key = Crypto::loadOrCreateKey(options.keyFile, error);
    if (!key)
        return nullptr;
    server->m_storage = SqlStorage::open(options.database, error);
    if (!server->m_storage)
        return nullptr;
    server->m_outbox = std::make_unique<Outbox>(options.outbox, QStringLiteral("Nimbrel <no-reply@nimbrel.invalid>"));
    server->m_social = makeSocialVerifier(options);
    // Sessions and list answers are kept in memory only where this server is the database's
    // one writer.
    server->m_cache = std::make_unique<SessionCache>(options.database.kind == DatabaseSettings::Kind::sqlite);

    ServiceSettings settings;
    settings.appToken = options.appToken;
    settings.classicApi = options.classicApi;
    settings.hashCost = options.hashCost;
    const int workers = options.passwordWorkers > 0 ? options.passwordWorkers : QThread::idealThreadCount();
    server->m_passwords = std::make_unique<PasswordWorkers>(workers, 4 * workers);
    // The main thread's services only send PIN e-mails and prune; the HTTP threads answer.
    server->m_service = std::make_unique<ApiService>(*server->m_storage, *server->m_outbox, *server->m_social,
                                                     *server->m_passwords, *key, settings, *server->m_clock,
                                                     *server->m_cache);
    const bool tls = !options.tlsCertificate.isEmpty();
    const int threads = options.threads > 0 ? options.threads : QThread::idealThreadCount();
    // Client connections share what the reserve leaves: DNS over TCP an eighth (at most its own
    // cap), the HTTP threads the rest in equal parts.
    const qint64 descriptors = raiseOpenFileLimit();
    const qint64 forClients = qMax<qint64>(64, descriptors - reservedDescriptors(threads));
    server->m_dnsTcpConnections = int(qMin<qint64>(DnsServer::maxTcpConnections, forClients / 8));
    const int httpPerThread = int(qMin<qint64>(65536, (forClients - server->m_dnsTcpConnections) / threads));
    quint16 port = options.port;
    QString why;
    const int listener = listenExclusive(options.listen, &port, &why);
    if (listener < 0) {
        *error = QStringLiteral("cannot listen on %1 port %2: %3").arg(options.listen.toString()).arg(port).arg(why);
        return nullptr;
    }
    QList<int> sockets{listener};
    for (int i = 1; i < threads; ++i)
        sockets.append(::fcntl(listener, F_DUPFD_CLOEXEC, 0));
    if (sockets.contains(-1)) {
        for (const int open : std::as_const(sockets))
            ::close(open);
        *error = QStringLiteral("cannot share the listening socket among the HTTP threads");
        return nullptr;
    }
    server->m_port = port;

    QUrl listening;
    listening.setScheme(tls ? QStringLiteral("https") : QStringLiteral("http"));
    listening.setHost(options.listen.toString());
    listening.setPort(server->m_port);
    listening.setPath(QStringLiteral("/api/v3/"));
    server->m_publicBase =
        options.publicBase.isValid() ? options.publicBase : listening.resolved(QUrl(QStringLiteral("/")));
    server->m_service->setPublicBase(server->m_publicBase);

    if (options.dns)
        server->m_dns = std::make_unique<DnsServer>();
    HttpWorker::Shared shared{options,
                              server->m_outbox.get(),
                              server->m_passwords.get(),
                              server->m_clock,
                              server->m_cache.get(),
                              *key,
                              server->m_publicBase};
    shared.dns = server->m_dns.get();
    shared.maxConnections = httpPerThread;
    // The kernel spreads one client's connections over the threads.
    shared.maxConnectionsPerAddress = qMax(1, qMin(httpPerThread, options.connectionsPerAddress / threads));
    for (const int fd : std::as_const(sockets)) {
        auto thread = std::make_unique<QThread>();
        auto *worker = new HttpWorker(shared, fd);
        worker->moveToThread(thread.get());
        thread->start();
        bool started = false;
        QString why;
        QMetaObject::invokeMethod(
            worker, [worker, &started, &why] { started = worker->start(&why); }, Qt::BlockingQueuedConnection);
        server->m_workers.push_back({std::move(thread), worker});
        if (!started) {
            *error = QStringLiteral("an HTTP thread cannot start: ") + why;
            return nullptr;
        }
        connect(worker->service(), &ApiService::listsChanged, server.get(), &Server::listsChanged);
    }

    connect(&server->m_timer, &QTimer::timeout, server.get(), &Server::periodicCheck);
    server->m_timer.start(options.checkIntervalMs);
    Log::line(QStringLiteral("nimbrel-server listening on %1 (database: %2, schema %3; outbox: %4)")
                  .arg(listening.toString(), options.database.describe())
                  .arg(server->m_storage->schemaVersion())
                  .arg(options.outbox));
    Log::line(QStringLiteral("open files: %1; HTTP connections: %2 (%3 per client address), DNS over TCP: %4")
                  .arg(descriptors)
                  .arg(qint64(httpPerThread) * threads)
                  .arg(qint64(shared.maxConnectionsPerAddress) * threads)
                  .arg(server->m_dnsTcpConnections));
    if (options.publicBase.isValid())
        Log::line(QStringLiteral("links in e-mails point to %1").arg(server->m_publicBase.toString()));
    server->periodicCheck();
    if (options.dns)
        server->startDns(options);
    return server;
}

// A DNS front that cannot start is reported and HTTP keeps serving: the app's account, lists
// and PIN work without it.
void Server::startDns(const ServerOptions &options)
{
    DnsPolicyBuilder::Settings settings;
    settings.categoryListsFolder = options.categoryLists;
    settings.probeZone = options.filterProbe;
    settings.allowedClients = options.dnsAllow;
    m_policy = std::make_unique<DnsPolicyBuilder>(*m_storage, *m_clock, settings);
    QString error;
    try {
        if (!m_policy->load(&error)) {
            Log::line(QStringLiteral("DNS not started: ") + error);
            m_policy.reset();
            return;
        }
    } catch (const StorageError &e) {
        Log::line(QStringLiteral("DNS not started: storage: ") + QString::fromStdString(e.what()));
        m_policy.reset();
        return;
    }
    DnsServer::Settings front;
    front.listen = options.dnsListen;
    front.port = options.dnsPort;
    front.upstreams = options.dnsUpstreams;
    front.maxTcpConnections = m_dnsTcpConnections;
    if (!options.dotZone.isEmpty()) {
        front.dotTls = tlsConfiguration(options.dotCertificate, options.dotKey, &error);
        if (!front.dotTls) {
            Log::line(QStringLiteral("DNS not started: DNS over TLS: ") + error);
            return;
        }
        // Clients show no certificate: the system's CAs, which Qt would load into every
        // connection's context, are of no use here and cost each handshake time.
        front.dotTls->setCaCertificates({});
        front.dotZone = options.dotZone;
        front.dotPort = options.dotPort;
    }
    if (!m_dns->start(front, m_policy->current(), &error)) {
        Log::line(QStringLiteral("DNS not started: ") + error);
        return; // kept unstarted: DNS over HTTPS answers that there is no DNS here

    }
    m_dnsPort = m_dns->port();
    DnsPolicyBuilder *policy = m_policy.get();
    // Changes announced while the connection was lost never arrive: everything is read again.
    if (m_storage->watchChanges(
            policy, [policy](qint64 userID) { policy->userChanged(userID); },
            [policy] { policy->everythingChanged(); }))
        Log::line(QStringLiteral("DNS applies changes made through the other servers on this database"));
    connect(m_policy.get(), &DnsPolicyBuilder::published, m_dns.get(), &DnsServer::setPolicy);
    QStringList addresses;
    for (const QHostAddress &address : options.dnsListen)
        addresses.append(address.toString());
    Log::line(QStringLiteral("DNS listening on %1 port %2 (UDP and TCP), forwarding to %3")
                  .arg(addresses.join(QStringLiteral(", ")))
                  .arg(m_dnsPort)
                  .arg(options.dnsUpstreams.isEmpty() ? QStringLiteral("the root servers")
                                                      : options.dnsUpstreams.join(QStringLiteral(", "))));
    if (m_dns->dotPort())
        Log::line(QStringLiteral("DNS over TLS listening on %1 port %2 for <device key>.%3")
                      .arg(addresses.join(QStringLiteral(", ")))
                      .arg(m_dns->dotPort())
                      .arg(options.dotZone));
}

// Every HTTP thread reports here, on the main thread: the other servers on the database and
// the one policy builder of this process learn of the change.
void Server::listsChanged(qint64 userID)
{
    try {
        m_storage->announceChange(userID);
    } catch (const StorageError &e) {
        Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
    }
    if (m_policy)
        m_policy->userChanged(userID);
}

Server::~Server()
{
    // Password work under way ends first; its answers go nowhere once the threads stop. The DNS
    // stops before the HTTP threads: its answers to DNS over HTTPS go to their services.
    m_passwords.reset();
    m_dns.reset();
    for (Worker &w : m_workers) {
        HttpWorker *worker = w.worker;
        QMetaObject::invokeMethod(
            worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
        w.thread->quit();
        w.thread->wait();
    }
}

void Server::periodicCheck()
{
    try {
        m_service->sendDuePins();
        m_service->forgetOldRecords();
    } catch (const StorageError &e) {
        Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
    }
}
