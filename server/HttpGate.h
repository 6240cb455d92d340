#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <functional>

// The listening socket of a server that reads requests itself (no reverse proxy in front).
// QtHttpServer 6.4 buffers a whole request before its handler sees it and has no limits of
// its own, so every connection gets a watcher that sees each request head before the HTTP
// server does (its readyRead slot is connected first) and refuses, without running the
// request:
// - a head over maxHeadBytes (431), an announced body over maxBodyBytes (413);
// - broken framing: a Content-Length that is not a number, two different ones, any
//   Transfer-Encoding (400; chunked without a length: 411);
// - a request not complete requestTimeoutMs after its first byte (408), and closes a
//   connection idle for idleTimeoutMs. Connections beyond maxConnections are closed at once.
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
    };
    // The body of a refusal, from the HTTP status and the request's "X-localization".
    using RefusalBody = std::function<QByteArray(int status, const QByteArray &language)>;

    HttpGate(const Limits &limits, RefusalBody refusal, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    Limits m_limits;
    RefusalBody m_refusal;
    int m_connections = 0;
};
