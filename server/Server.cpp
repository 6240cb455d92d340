#include "Server.h"

#include "ApiService.h"
#include "FileClock.h"
#include "HttpFrontend.h"
#include "Outbox.h"
#include "SocialVerifier.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "dns/DnsPolicyBuilder.h"
#include "dns/DnsServer.h"
#include "storage/SqlStorage.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

namespace {
bool setUpTls(HttpFrontend &http, const ServerOptions &options, QString *error)
{
    QFile certificateFile(options.tlsCertificate);
    QFile keyFile(options.tlsKey);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the TLS certificate or key");
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateFile.readAll(), QSsl::Pem);
    const QByteArray keyData = keyFile.readAll();
    QSslKey key(keyData, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *error = QStringLiteral("the TLS certificate or key is not a PEM file the server can use");
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setProtocol(QSsl::SecureProtocols);
    http.sslSetup(configuration);
    return true;
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

    const std::optional<QByteArray> key = Crypto::loadOrCreateKey(options.keyFile, error);
    if (!key)
        return nullptr;
    server->m_storage = SqlStorage::open(options.database, error);
    if (!server->m_storage)
        return nullptr;
    server->m_outbox = std::make_unique<Outbox>(options.outbox, QStringLiteral("Nimbrel <no-reply@nimbrel.invalid>"));
    server->m_social = std::make_unique<SocialVerifier>();
    if (options.googleVerifyURL.isValid())
        server->m_social->setEndpoint(SocialVerifier::Provider::google, options.googleVerifyURL);
    if (options.facebookVerifyURL.isValid())
        server->m_social->setEndpoint(SocialVerifier::Provider::facebook, options.facebookVerifyURL);
    server->m_social->setAudience(SocialVerifier::Provider::google, options.googleClientId, options.googleTokenInfoURL);
    server->m_social->setAudience(SocialVerifier::Provider::facebook, options.facebookAppId,
                                  options.facebookDebugTokenURL, options.facebookAppSecret);

    ServiceSettings settings;
    settings.appToken = options.appToken;
    settings.hashCost = options.hashCost;
    server->m_service = std::make_unique<ApiService>(*server->m_storage, *server->m_outbox, *server->m_social, *key,
                                                     settings, *server->m_clock);
    server->m_http = std::make_unique<HttpFrontend>(*server->m_service);
    const bool tls = !options.tlsCertificate.isEmpty();
    if (tls && !setUpTls(*server->m_http, options, error))
        return nullptr;
    server->m_port = server->m_http->listen(options.listen, options.port);
    if (server->m_port == 0) {
        *error = QStringLiteral("cannot listen on %1 port %2").arg(options.listen.toString()).arg(options.port);
        return nullptr;
    }

    QUrl listening;
    listening.setScheme(tls ? QStringLiteral("https") : QStringLiteral("http"));
    listening.setHost(options.listen.toString());
    listening.setPort(server->m_port);
    listening.setPath(QStringLiteral("/api/v3/"));
    server->m_publicBase =
        options.publicBase.isValid() ? options.publicBase : listening.resolved(QUrl(QStringLiteral("/")));
    server->m_service->setPublicBase(server->m_publicBase);

    connect(&server->m_timer, &QTimer::timeout, server.get(), &Server::periodicCheck);
    server->m_timer.start(options.checkIntervalMs);
    Log::line(QStringLiteral("nimbrel-server listening on %1 (database: %2, schema %3; outbox: %4)")
                  .arg(listening.toString(), options.database.describe())
                  .arg(server->m_storage->schemaVersion())
                  .arg(options.outbox));
    if (options.publicBase.isValid())
        Log::line(QStringLiteral("links in e-mails point to %1").arg(server->m_publicBase.toString()));
    SqlStorage *storage = server->m_storage.get();
    connect(server->m_service.get(), &ApiService::listsChanged, server.get(), [storage](qint64 userID) {
        try {
            storage->announceChange(userID);
        } catch (const StorageError &e) {
            Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
        }
    });
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
    m_policy = std::make_unique<DnsPolicyBuilder>(*m_storage, settings);
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
    m_dns = std::make_unique<DnsServer>();
    DnsServer::Settings front;
    front.listen = options.dnsListen;
    front.port = options.dnsPort;
    front.upstreams = options.dnsUpstreams;
    if (!m_dns->start(front, m_policy->current(), &error)) {
        Log::line(QStringLiteral("DNS not started: ") + error);
        m_dns.reset();
        return;
    }
    m_dnsPort = m_dns->port();
    connect(m_service.get(), &ApiService::listsChanged, m_policy.get(), &DnsPolicyBuilder::userChanged);
    DnsPolicyBuilder *policy = m_policy.get();
    if (m_storage->watchChanges(policy, [policy](qint64 userID) { policy->userChanged(userID); }))
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
}

Server::~Server() = default;

void Server::periodicCheck()
{
    try {
        m_service->sendDuePins();
        m_service->forgetOldRecords();
    } catch (const StorageError &e) {
        Log::line(QStringLiteral("storage: ") + QString::fromStdString(e.what()));
    }
}
