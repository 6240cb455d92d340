#pragma once

#include "ServerOptions.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <memory>
#include <vector>

class ApiService;
class DnsPolicyBuilder;
class DnsServer;
class Clock;
class HttpWorker;
class QLockFile;
class Outbox;
class PasswordWorkers;
class SessionCache;
class SocialVerifier;
class SqlStorage;

// The whole server: storage, mail, the HTTP threads, the filtering DNS, and the periodic look for
// PINs due and records to prune.
class Server : public QObject
{
    Q_OBJECT
public:
    // A listening server, or nullptr (and *error says why).
    static std::unique_ptr<Server> start(const ServerOptions &options, QString *error);
    ~Server() override;

    quint16 port() const { return m_port; }
    quint16 dnsPort() const { return m_dnsPort; }

private:
    Server() = default;
    void listsChanged(qint64 userID);
    void periodicCheck();
    void startDns(const ServerOptions &options);

    std::unique_ptr<QLockFile> m_lock; // of the data folder, for the life of the server
    std::unique_ptr<Clock> m_ownClock;
    Clock *m_clock = nullptr;
    std::unique_ptr<SqlStorage> m_storage;
    std::unique_ptr<Outbox> m_outbox;
    std::unique_ptr<SocialVerifier> m_social;
    std::unique_ptr<SessionCache> m_cache;
    std::unique_ptr<ApiService> m_service;
    struct Worker {
        std::unique_ptr<QThread> thread;
        HttpWorker *worker = nullptr; // lives on that thread
    };
    std::vector<Worker> m_workers;
    std::unique_ptr<DnsPolicyBuilder> m_policy;
    std::unique_ptr<DnsServer> m_dns;
    // Declared last, so destroyed first: work under way finishes while its services live.
    std::unique_ptr<PasswordWorkers> m_passwords;
    QTimer m_timer;
    quint16 m_port = 0;
    quint16 m_dnsPort = 0;
    int m_dnsTcpConnections = 0;
    QUrl m_publicBase;
};
