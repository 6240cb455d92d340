#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <functional>
#include <optional>

class QTcpServer;

// A DNS over TLS connection, once its handshake is done: the device its server name named.
class DotSocket : public QSslSocket
{
public:
    using QSslSocket::QSslSocket;
    QByteArray keyHash; // DeviceKey::hash of the key in the server name
};

// DNS over TLS (RFC 7858): a device asks for the server name "<its key>.<zone>", and that name
// is how it is told apart, whatever its address. Qt shows a server nothing of the name a client
// asks for, so it is read first from the client's hello, still unread in the system's buffer
// (peeked), by OpenSSL itself; then Qt does the handshake on the same connection. Connections
// naming no device the policy knows are closed before any handshake. Lives on the DNS thread.
class DnsOverTls : public QObject
{
public:
    struct Settings {
        QSslConfiguration tls;
        QString zone;              // "dns.example.org"
        // Connections not yet encrypted; beyond, the oldest that has not named a device goes.
        int maxHandshakes = 256;
        int handshakeMs = 10000;   // from the connection to the end of the handshake
    };
    using Knows = std::function<bool(const QByteArray &keyHash)>;
    // An encrypted connection of a known device; owned by the callee from then on.
    using Ready = std::function<void(DotSocket *socket, const QHostAddress &client)>;

    DnsOverTls(const Settings &settings, Knows knows, Ready ready, QObject *parent = nullptr);
    ~DnsOverTls() override;

    // port 0: the system picks one, which the next addresses then use too.
    bool listen(const QList<QHostAddress> &addresses, quint16 port, QString *error);
    quint16 port() const { return m_port; }

    // The hash of the key a server name carries ("<key>.<zone>", any letter case, a final dot
    // or not); empty when it is not such a name.
    static QByteArray keyHashOf(const QByteArray &serverName, const QString &zone);
    // The server name a TLS client hello asks for: no value while the hello is not whole yet,
    // an empty one when it names none or the bytes are not a client hello.
    static std::optional<QByteArray> serverName(const QByteArray &clientHello);

private:
    struct Handshake;
    void accepted(qintptr descriptor);
    void peek(Handshake *handshake);
    void close(Handshake *handshake);
    void encrypt(Handshake *handshake, const QByteArray &keyHash);

    Settings m_settings;
    Knows m_knows;
    Ready m_ready;
    QList<QTcpServer *> m_listeners;
    QList<Handshake *> m_handshakes; // before the server name is known
    int m_encrypting = 0;
    quint16 m_port = 0;
};
