#include "HttpFrontend.h"

#include "ApiService.h"
#include "HttpGate.h"
#include "core/Log.h"

#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QPointer>
#include <QTcpSocket>
#include <memory>

namespace {
QString clientAddress(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4).toString() : address.toString();
}
} // namespace

HttpFrontend::HttpFrontend(ApiService &service, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_service(service)
{
}

quint16 HttpFrontend::listenChecked(const QHostAddress &address, quint16 port)
{
    HttpGate::Limits limits;
    limits.maxBodyBytes = ApiService::maxBodyBytes;
    auto *gate = new HttpGate(limits, &ApiService::refusalBody, this);
    if (!gate->listen(address, port)) {
        delete gate;
        return 0;
    }
    bind(gate);
    return gate->serverPort();
}

bool HttpFrontend::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();

    ApiRequest api;
    api.method =
        QByteArray(QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(request.method()))).toUpper();
    api.path = request.url().path(QUrl::FullyEncoded);
    api.query = request.query();
    api.headers = request.headers();
    api.body = request.body();
    api.remoteAddress = clientAddress(request.remoteAddress());

    // The answer may come later (social sign-in waits for the provider); by then the client
    // may have gone.
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    QPointer<QTcpSocket> connection(socket);
    const QString line = QString::fromLatin1(api.method) + QLatin1Char(' ') + api.path;
    m_service.handle(api, [responder, connection, timer, line](const ApiReply &reply) {
        if (connection && connection->isOpen()) {
            responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
            responder->writeHeader("Content-Type", reply.contentType);
            for (const auto &[name, value] : reply.headers)
                responder->writeHeader(name, value);
            responder->writeHeader("Content-Length", QByteArray::number(reply.body.size()));
            responder->writeBody(reply.body);
        }
        Log::line(QStringLiteral("%1 %2 %3 ms").arg(line).arg(reply.status).arg(timer->elapsed()));
    });
    return true;
}

void HttpFrontend::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // Every request is handled above.
}
