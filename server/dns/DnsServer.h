#pragma once

#include "DnsPolicy.h"

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QSslConfiguration>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>

class DnsWorker;

// The DNS front: UDP and TCP on one port on every listen address, served on a thread of its
// own (never the HTTP event loop). Names the policy lets through are resolved by libunbound,
// forwarding to the upstreams or, without any, from the root.
class DnsServer : public QObject
{
    Q_OBJECT
public:
    struct Settings {
        QList<QHostAddress> listen;
        quint16 port = 53; // 0 picks a free port
        QStringList upstreams; // "ADDR" or "ADDR@PORT"
        int maxTcpConnections = DnsServer::maxTcpConnections;
        // DNS over TLS on the same addresses: devices named by "<key>.<dotZone>".
        std::optional<QSslConfiguration> dotTls;
        QString dotZone;
        quint16 dotPort = 853; // 0 picks a free port
    };
    // Connections over TLS come from devices each named by its key: many may share an address.
    static constexpr int maxDotPerAddress = 64;
    // Connections over TCP: at most these, and this many from one client address (see
    // DnsStreamClients for who gets one and which goes when full).
    static constexpr int maxTcpConnections = 256;
    static constexpr int maxTcpPerAddress = 4;

    explicit DnsServer(QObject *parent = nullptr);
    ~DnsServer() override;

    // Binds and starts answering; false (and *error says why, naming the privilege when the
    // port needs one) when a socket could not be bound or the resolver not set up.
    bool start(const Settings &settings, std::shared_ptr<const DnsPolicy> policy, QString *error);
    quint16 port() const { return m_port; }
    quint16 dotPort() const { return m_dotPort; } // 0: no DNS over TLS

    // Safe from any thread: the DNS thread takes the new snapshot between two queries.
    void setPolicy(std::shared_ptr<const DnsPolicy> policy);

    // A message from the device with this key (DeviceKey::hash) that came another way than
    // the DNS ports (DNS over HTTPS): answered as over TCP, from the same policy and caches.
    struct KeyedAnswer {
        enum class Kind { answer, unknownKey, notAQuery, unavailable } kind = Kind::unavailable;
        QByteArray message; // Kind::answer
    };
    using Answered = std::function<void(const KeyedAnswer &answer)>;
    // Safe from any thread; answered runs once, on context's thread. context must outlive this
    // server (the owner stops it first).
    void askForDevice(const QByteArray &message, const QByteArray &keyHash, QObject *context, Answered answered);

private:
    QThread m_thread;
    DnsWorker *m_worker = nullptr;
    QMutex m_servingLock;
    DnsWorker *m_serving = nullptr; // m_worker once it serves; null again when it stops
    quint16 m_port = 0;
    quint16 m_dotPort = 0;
};
