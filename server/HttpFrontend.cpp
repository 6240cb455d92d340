#include "HttpFrontend.h"

#include "ApiService.h"
#include "DnsOverHttps.h"
#include "core/Log.h"

#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QPointer>
#include <QTcpSocket>
#include <memory>

namespace {
QHostAddress plain(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4) : address;
}
} // namespace

HttpFrontend::HttpFrontend(ApiService &service, const QList<QPair<QHostAddress, int>> &trustedProxies, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_service(service)
    , m_trustedProxies(trustedProxies)
{
}

bool HttpFrontend::trusted(const QHostAddress &address) const
{
    for (const auto &range : m_trustedProxies) {
        if (address.isInSubnet(range))
            return true;
    }
    return false;
}

// The peer, or behind trusted proxies the nearest address in X-Forwarded-For that is not one
// of them (anything further left was written by the client and proves nothing).
QString HttpFrontend::clientAddress(const QHttpServerRequest &request) const
{
    QHostAddress client = plain(request.remoteAddress());
    if (m_trustedProxies.isEmpty() || !trusted(client))
        return client.toString();
    QList<QByteArray> hops;
    for (const auto &[name, value] : request.headers()) {
        if (name.compare("X-Forwarded-For", Qt::CaseInsensitive) == 0)
            hops += value.split(',');
    }
    for (qsizetype i = hops.size() - 1; i >= 0; --i) {
        QHostAddress hop;
        if (!hop.setAddress(QString::fromLatin1(hops[i].trimmed())))
            break;
        client = plain(hop);
        if (!trusted(client))
            break;
    }
    return client.toString();
}

bool HttpFrontend::listenChecked(int listeningSocket, HttpGate::Limits limits, QString *error)
{
    limits.maxBodyBytes = ApiService::maxBodyBytes;
    limits.uncappedAddresses = m_trustedProxies;
    auto *gate = new HttpGate(limits, &ApiService::refusalBody, this);
    if (!gate->setSocketDescriptor(listeningSocket)) {
        *error = gate->errorString();
        delete gate;
        return false;
    }
    bind(gate);
    return true;
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
    api.remoteAddress = clientAddress(request);

    // The answer may come later (social sign-in waits for the provider); by then the client
    // may have gone.
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    QPointer<QTcpSocket> connection(socket);
    HttpGate::answerStarted(socket);
    // DNS queries are not logged, whatever carries them; their address holds a device's key.
    const bool dnsQuery = api.path.startsWith(DnsOverHttps::pathPrefix);
    const QString line = QString::fromLatin1(api.method) + QLatin1Char(' ') + api.path;
    m_service.handle(api, [responder, connection, timer, line, dnsQuery](const ApiReply &reply) {
        if (connection && connection->isOpen()) {
            responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
            responder->writeHeader("Content-Type", reply.contentType);
            for (const auto &[name, value] : reply.headers)
                responder->writeHeader(name, value);
            responder->writeHeader("Content-Length", QByteArray::number(reply.body.size()));
            responder->writeBody(reply.body);
            HttpGate::answerDone(connection);
        }
        if (!dnsQuery)
            Log::line(QStringLiteral("%1 %2 %3 ms").arg(line).arg(reply.status).arg(timer->elapsed()));
    });
    return true;
}

void HttpFrontend::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // Every request is handled above.
}
