#pragma once

#include "ServerOptions.h"

#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QUrl>
#include <memory>
#include <optional>

class ApiService;
class Clock;
class DnsServer;
class HttpFrontend;
class Outbox;
class PasswordWorkers;
class SessionCache;
class SocialVerifier;
class SqlStorage;

// One HTTP thread: its own duplicate of the process's listening socket (the threads accept from
// one queue), its own database connection, services and QHttpServer. Made on the main thread,
// then moved to its thread and started there.
class SocialVerifier;

// The provider checks as the options set them; every thread has its own.
std::unique_ptr<SocialVerifier> makeSocialVerifier(const ServerOptions &options);

class HttpWorker : public QObject
{
    Q_OBJECT
public:
    struct Shared {
        ServerOptions options;
        Outbox *outbox = nullptr;
        PasswordWorkers *passwords = nullptr;
        Clock *clock = nullptr;
        SessionCache *cache = nullptr;
        QByteArray pinKey;
        QUrl publicBase;
        DnsServer *dns = nullptr; // the filtering DNS, for DNS over HTTPS; stopped before the HTTP threads
        int maxConnections = 4096;          // of this thread
        int maxConnectionsPerAddress = 256; // of this thread
    };

    HttpWorker(const Shared &shared, int listeningSocket);
    ~HttpWorker() override;

    // On the worker's thread. False (and *error says why) when it cannot serve.
    bool start(QString *error);
    ApiService *service() const { return m_service.get(); }

private:
    Shared m_shared;
    int m_socket;
    std::unique_ptr<SqlStorage> m_storage;
    std::unique_ptr<SocialVerifier> m_social;
    std::unique_ptr<ApiService> m_service;
    std::unique_ptr<HttpFrontend> m_http;
};

// A certificate chain and its key from PEM files, for a TLS server; no value (and *error says
// why) when they cannot be read.
std::optional<QSslConfiguration> tlsConfiguration(const QString &certificate, const QString &privateKey,
                                                 QString *error);

// The listening TCP socket of this process; its HTTP threads each take a duplicate and accept
// from the one queue. Without SO_REUSEPORT, so a second server on the port is refused rather than
// handed half the connections. Port 0 picks a free one (then *port says which). -1 and *error
// (naming the process that holds the port, when it can be seen) on failure.
int listenExclusive(const QHostAddress &address, quint16 *port, QString *error);
