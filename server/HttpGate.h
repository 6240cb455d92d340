#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QSet>
#include <QSslConfiguration>
#include <QTcpServer>
#include <functional>
#include <optional>

class QTcpSocket;
class GateWatcher;

// The listening socket of a server that reads requests itself (no reverse proxy in front).
// QtHttpServer 6.4 buffers a whole request before its handler sees it and has no limits of
// its own, so every connection gets a watcher that sees each request head before the HTTP
// server does (its readyRead slot is connected first) and refuses, without running the
// request:
// - a head over maxHeadBytes (431), an announced body over maxBodyBytes (413);
// - broken framing: a line not ending in CR LF, a Content-Length that is not a number or comes
//   twice, any Transfer-Encoding (400; chunked without a length: 411);
// - a request not complete requestTimeoutMs after its first byte (408), and closes a
//   connection idle for idleTimeoutMs.
// Connections are counted: when one client address holds maxConnectionsPerAddress (trusted
// proxies excepted), or the gate holds maxConnections, the oldest idle connection (of that
// address first) makes room for the new one; only when none is idle is the new one closed. So
// idle connections held open by one client never shut the others out. With TLS the handshake
// happens here too, so the same checks apply to HTTPS. Requests sent one after another without
// waiting are checked one at a time: those before a refused one are answered, then the refusal
// is written and the connection closes.
class HttpGate : public QTcpServer
{
    Q_OBJECT
public:
    struct Limits {
        qint64 maxHeadBytes = 16 * 1024;
        qint64 maxBodyBytes = 64 * 1024;
        int requestTimeoutMs = 10000;
        int idleTimeoutMs = 60000;
        int maxConnections = 4096;
        int maxConnectionsPerAddress = 256;
        QList<QPair<QHostAddress, int>> uncappedAddresses; // reverse proxies carry many clients
        std::optional<QSslConfiguration> tls;
    };
    // The body of a refusal, from the HTTP status and the request's "X-localization".
    using RefusalBody = std::function<QByteArray(int status, const QByteArray &language)>;

    HttpGate(const Limits &limits, RefusalBody refusal, QObject *parent = nullptr);
    ~HttpGate() override;

    // The HTTP server is working on an answer for this connection: it is not idle meanwhile.
    static void answerStarted(QTcpSocket *socket);
    static void answerDone(QTcpSocket *socket);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    friend class GateWatcher;
    bool makeRoom(const QHostAddress &address, bool capped);
    bool shedOldestIdle(const QHostAddress *address);
    void forget(GateWatcher *watcher);
    void outOfDescriptors();
    qint64 nowMs() const { return m_clock.elapsed(); }

    Limits m_limits;
    RefusalBody m_refusal;
    QSet<GateWatcher *> m_open;
    QHash<QHostAddress, int> m_perAddress;
    QElapsedTimer m_clock;
    int m_reserve = -1; // a descriptor given up when the process has none left, to accept and shed
};
