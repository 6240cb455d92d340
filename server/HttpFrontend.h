#pragma once

#include "HttpGate.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QList>
#include <QPair>

class ApiService;

// Turns HTTP requests into ApiService calls and writes their answers back, with one log line
// per request: method, path (never the query, which may hold a reset link's secret), status
// and time taken.
class HttpFrontend : public QAbstractHttpServer
{
    Q_OBJECT
public:
    // Requests from trustedProxies name their client in X-Forwarded-For.
    HttpFrontend(ApiService &service, const QList<QPair<QHostAddress, int>> &trustedProxies, QObject *parent = nullptr);

    // Serves HTTP (HTTPS when limits.tls is set) on a listening socket, behind the checks of
    // HttpGate; the body limit is the services' own, and trusted proxies have no per-address cap.
    bool listenChecked(int listeningSocket, HttpGate::Limits limits, QString *error);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    QString clientAddress(const QHttpServerRequest &request) const;
    bool trusted(const QHostAddress &address) const;

    ApiService &m_service;
    QList<QPair<QHostAddress, int>> m_trustedProxies;
};
