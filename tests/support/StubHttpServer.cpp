#include "StubHttpServer.h"

#include "records/FormEncoding.h"

#include <QAbstractHttpServer>
#include <QDeadlineTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QtTest>

namespace {
const QString apiPrefix = QStringLiteral("/api/v3/");
}

class StubHttpBackend : public QAbstractHttpServer
{
public:
    explicit StubHttpBackend(StubHttpServer *owner)
        : m_owner(owner)
    {
    }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        StubHttpServer::Request recorded;
        recorded.method = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(request.method()));
        recorded.method = recorded.method.toUpper();
        QString path = request.url().path();
        if (path.startsWith(apiPrefix))
            path = path.mid(apiPrefix.size());
        if (request.url().hasQuery())
            path += QLatin1Char('?') + request.url().query();
        recorded.path = path;
        recorded.headers = request.headers();
        recorded.body = request.body();

        const StubHttpServer::Answer answer = m_owner->take(recorded);
        // Holding the answer back on this thread leaves the client's thread free.
        const QDeadlineTimer deadline(answer.delayMs);
        while (!deadline.hasExpired() && !m_owner->m_stopping)
            QThread::msleep(5);
        if (m_owner->m_stopping)
            return true;
        QHttpServerResponder responder = makeResponder(request, socket);
        responder.write(answer.body, {{QByteArrayLiteral("Content-Type"), answer.contentType}},
                        static_cast<QHttpServerResponder::StatusCode>(answer.status));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    StubHttpServer *m_owner;
};

QByteArray StubHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool StubHttpServer::Request::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto &h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QList<QPair<QString, QString>> StubHttpServer::Request::form() const
{
    return decodeForm(body);
}

StubHttpServer::StubHttpServer()
{
    m_backend = new StubHttpBackend(this);
    m_backend->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_backend, [this] { m_port = m_backend->listen(QHostAddress::LocalHost, 0); }, Qt::BlockingQueuedConnection);
}

StubHttpServer::~StubHttpServer()
{
    m_stopping = true;
    QMetaObject::invokeMethod(
        m_backend, [this] { delete m_backend; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QUrl StubHttpServer::apiBase() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(m_port));
}

void StubHttpServer::answer(const QString &path, const Answer &answer)
{
    QMutexLocker lock(&m_mutex);
    m_answers.insert(path, answer);
}

void StubHttpServer::answer(const QString &path, int status, const QByteArray &body, int delayMs)
{
    Answer a;
    a.status = status;
    a.body = body;
    a.delayMs = delayMs;
    answer(path, a);
}

StubHttpServer::Answer StubHttpServer::take(const Request &request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
    if (const auto it = m_answers.constFind(request.path); it != m_answers.constEnd())
        return *it;
    Answer missing;
    missing.status = 404;
    missing.contentType = QByteArrayLiteral("text/plain");
    missing.body = "no answer scripted for " + request.path.toUtf8();
    return missing;
}

QList<StubHttpServer::Request> StubHttpServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

int StubHttpServer::requestCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_requests.size());
}

bool StubHttpServer::waitForRequests(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return requestCount() >= count; }, timeoutMs);
}

quint16 unusedLocalPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
