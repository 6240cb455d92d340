#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpSocket;

// The clients of DNS over a byte stream (TCP; the same framing serves TLS): each message after
// its length in two bytes. What one client can hold is bounded, so clients that trickle bytes or
// keep connections open never shut others out:
// - only clients the policy answers get a connection; any other is closed at once;
// - at most maxPerAddress connections from one address and maxConnections in all; beyond either,
//   the connection idle the longest (of that address first) is closed for the new one, and only
//   when every one is waiting for an answer is the new one turned away;
// - a connection ends idleMs after its last whole message (or its start): bytes that never make
//   a message do not keep it.
// Lives on the DNS thread; sockets handed to add() are owned from then on.
class DnsStreamClients : public QObject
{
public:
    struct Limits {
        int maxConnections = 256;
        int maxPerAddress = 4;
        int idleMs = 10000;
    };
    // Whether the policy answers this client at all.
    using Admits = std::function<bool(const QHostAddress &client)>;
    // A whole message from a client; its answer goes back through answer().
    using Message = std::function<void(QTcpSocket *socket, const QByteArray &message, const QHostAddress &client)>;

    DnsStreamClients(const Limits &limits, Admits admits, Message message, QObject *parent = nullptr);

    // A connected socket (an encrypted one once its handshake is done); closed at once when
    // there is no room for it.
    void add(QTcpSocket *socket, const QHostAddress &client);
    // Writes the answer to one message; a refusal ends the connection once written.
    void answer(QTcpSocket *socket, const QByteArray &answer, bool refused);
    // The process has no descriptor left: the connection idle the longest goes.
    void shedOne() { shedIdlest(nullptr); }
    int count() const { return int(m_clients.size()); }

private:
    struct Client {
        QHostAddress address;
        qint64 lastMessageMs = 0;
        int unanswered = 0;
    };
    bool makeRoom(const QHostAddress &address);
    bool shedIdlest(const QHostAddress *address);
    void read(QTcpSocket *socket);
    void forget(QTcpSocket *socket);

    Limits m_limits;
    Admits m_admits;
    Message m_message;
    QHash<QTcpSocket *, Client> m_clients;
    QHash<QHostAddress, int> m_perAddress;
    QElapsedTimer m_clock;
};
