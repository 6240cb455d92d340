#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <atomic>

class StubHttpBackend;

// A scriptable HTTP server on 127.0.0.1 (random port) that stands in for the operator's API.
// It answers each path with the status and body it was given, records every request, and can
// hold an answer back. It runs on its own thread, so a held answer never blocks the client.
class StubHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        // Below the API base, query included: "getblockwebsitebyuser?page=1".
        QString path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        // Case-blind; empty when absent.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
        // The body read as a form, decoded.
        QList<QPair<QString, QString>> form() const;
    };
    struct Answer {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
        QByteArray contentType = QByteArrayLiteral("application/json");
    };

    StubHttpServer();
    ~StubHttpServer() override;

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    // http://127.0.0.1:<port>/api/v3/
    QUrl apiBase() const;

    // Paths without an answer get 404 and a body that names them.
    void answer(const QString &path, const Answer &answer);
    void answer(const QString &path, int status, const QByteArray &body, int delayMs = 0);

    QList<Request> requests() const;
    int requestCount() const;
    // Waits (running the event loop) until count requests arrived.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

private:
    friend class StubHttpBackend;
    Answer take(const Request &request);

    QThread m_thread;
    StubHttpBackend *m_backend = nullptr;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QHash<QString, Answer> m_answers;
    QList<Request> m_requests;
    std::atomic_bool m_stopping = false;
};

// A port on 127.0.0.1 where nothing listens, for connection-refused cases.
quint16 unusedLocalPort();
