#include "HttpWorker.h"

#include "ApiService.h"
#include "HttpFrontend.h"
#include "ServerOptions.h"
#include "SocialVerifier.h"
#include "storage/SqlStorage.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

std::optional<QSslConfiguration> tlsConfiguration(const QString &certificate, const QString &privateKey,
                                                 QString *error)
{
    QFile certificateFile(certificate);
    QFile keyFile(privateKey);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the TLS certificate or key");
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateFile.readAll(), QSsl::Pem);
    const QByteArray keyData = keyFile.readAll();
    QSslKey key(keyData, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *error = QStringLiteral("the TLS certificate or key is not a PEM file the server can use");
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setProtocol(QSsl::SecureProtocols);
    return configuration;
}

namespace {
// Which process listens on this TCP port, by the socket's inode in /proc/net and the
// descriptors of the processes this user may see: "nimbrel-server (pid 1234)"; empty when unknown.
QString portHolder(quint16 port)
{
    QSet<QByteArray> inodes;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine(); // the column names
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            // local address "ADDR:PORT" in hex, state 0A: listening
            if (fields.size() > 9 && fields[3] == "0A" && fields[1].split(':').value(1).toUShort(nullptr, 16) == port)
                inodes.insert(fields[9]);
        }
    }
    if (inodes.isEmpty())
        return {};
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool number = false;
        pid.toLongLong(&number);
        if (!number)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            const QByteArray target = fd.symLinkTarget().section(QLatin1Char('/'), -1).toLatin1();
            if (target.startsWith("socket:[") && inodes.contains(target.mid(8, target.size() - 9))) {
                QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
                const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed())
                                                                    : QStringLiteral("a process");
                return QStringLiteral("%1 (pid %2)").arg(name, pid);
            }
        }
    }
    return {};
}
} // namespace

int listenExclusive(const QHostAddress &address, quint16 *port, QString *error)
{
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    // Connections of a previous run waiting out their last packets do not hold the port; a
    // listening socket of another process does (no SO_REUSEPORT: the system refuses a second).
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int bound = -1;
    if (v6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(*port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&a.sin6_addr, &bytes, sizeof bytes);
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(*port);
        a.sin_addr.s_addr = htonl(address.toIPv4Address());
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    if (bound != 0 || ::listen(fd, 1024) != 0) {
        const int cause = errno;
        *error = QString::fromLocal8Bit(std::strerror(cause));
        if (cause == EADDRINUSE) {
            const QString holder = portHolder(*port);
            *error += holder.isEmpty() ? QStringLiteral(" (another program listens on it)")
                                       : QStringLiteral(" (%1 listens on it)").arg(holder);
        }
        ::close(fd);
        return -1;
    }
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &size);
    *port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&local)->sin6_port
                     : reinterpret_cast<sockaddr_in *>(&local)->sin_port);
    return fd;
}

std::unique_ptr<SocialVerifier> makeSocialVerifier(const ServerOptions &options)
{
    auto social = std::make_unique<SocialVerifier>();
    if (options.googleVerifyURL.isValid())
        social->setEndpoint(SocialVerifier::Provider::google, options.googleVerifyURL);
    if (options.facebookVerifyURL.isValid())
        social->setEndpoint(SocialVerifier::Provider::facebook, options.facebookVerifyURL);
    social->setAudience(SocialVerifier::Provider::google, options.googleClientId, options.googleTokenInfoURL);
    social->setAudience(SocialVerifier::Provider::facebook, options.facebookAppId, options.facebookDebugTokenURL,
                        options.facebookAppSecret);
    return social;
}

HttpWorker::HttpWorker(const Shared &shared, int listeningSocket)
    : m_shared(shared)
    , m_socket(listeningSocket)
{
}

HttpWorker::~HttpWorker() = default;

bool HttpWorker::start(QString *error)
{
    const ServerOptions &options = m_shared.options;
    m_storage = SqlStorage::open(options.database, error);
    if (!m_storage)
        return false;
    m_social = makeSocialVerifier(options);
    ServiceSettings settings;
    settings.appToken = options.appToken;
    settings.classicApi = options.classicApi;
    settings.hashCost = options.hashCost;
    settings.publicBase = m_shared.publicBase;
    settings.filteringDns = options.dns;
    settings.dotZone = options.dotZone;
    m_service = std::make_unique<ApiService>(*m_storage, *m_shared.outbox, *m_social, *m_shared.passwords,
                                             m_shared.pinKey, settings, *m_shared.clock, *m_shared.cache);
    m_service->setDns(m_shared.dns);
    m_http = std::make_unique<HttpFrontend>(*m_service, options.trustedProxies);
    HttpGate::Limits limits;
    limits.maxConnections = m_shared.maxConnections;
    limits.maxConnectionsPerAddress = m_shared.maxConnectionsPerAddress;
    // TLS is ended in the gate, so HTTPS gets the same checks as plain HTTP.
    if (!options.tlsCertificate.isEmpty()) {
        limits.tls = tlsConfiguration(options.tlsCertificate, options.tlsKey, error);
        if (!limits.tls)
            return false;
    }
    return m_http->listenChecked(m_socket, limits, error);
}
