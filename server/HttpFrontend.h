#pragma once

#include <QAbstractHttpServer>

class ApiService;

// Turns HTTP requests into ApiService calls and writes their answers back, with one log line
// per request: method, path (never the query, which may hold a reset link's secret), status
// and time taken.
class HttpFrontend : public QAbstractHttpServer
{
    Q_OBJECT
public:
    explicit HttpFrontend(ApiService &service, QObject *parent = nullptr);

    // Listens in plain HTTP behind the checks of HttpGate; the port, or 0.
    quint16 listenChecked(const QHostAddress &address, quint16 port);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    ApiService &m_service;
};
