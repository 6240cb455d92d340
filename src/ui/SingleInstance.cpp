#include "SingleInstance.h"

#include "BuildConfig.h"
#include "core/Log.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QStandardPaths>

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent)
    , m_name(std::move(serverName))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

QString SingleInstance::defaultServerName()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QLatin1Char('/')
        + QLatin1String(BuildConfig::bundleId) + QLatin1String(".sock");
}

bool SingleInstance::sendUrls(const QStringList &urls, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    for (const QString &url : urls)
        socket.write("url " + url.toUtf8() + '\n');
    socket.write("done\n");
    socket.flush();
    // The running copy answers once it has read everything.
    return socket.waitForReadyRead(timeoutMs) && socket.readLine().trimmed() == "ok";
}

bool SingleInstance::takeOver(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(timeoutMs)) {
        Log::line(QStringLiteral("Asking the running copy to quit"));
        socket.write("quit\n");
        socket.flush();
        // The older copy closes the connection when its process ends.
        while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
            socket.waitForDisconnected(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    QLocalServer::removeServer(m_name);
    if (!m_server.listen(m_name)) {
        Log::line(QStringLiteral("Single instance: cannot listen: ") + m_server.errorString());
        return false;
    }
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                if (line == "quit") {
                    emit quitRequested();
                } else if (line.startsWith("url ")) {
                    emit urlReceived(QUrl(QString::fromUtf8(line.mid(4))));
                } else if (line == "done") {
                    socket->write("ok\n");
                    socket->flush();
                }
            }
        });
    }
}
