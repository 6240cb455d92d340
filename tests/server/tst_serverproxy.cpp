// nimbrel-server behind a real nginx using the shipped proxy settings (deploy/nginx): the
// proxy enforces the body limit, and the client's address reaches the server through
// X-Forwarded-For.
#include "ServerTestSupport.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <unistd.h>

using namespace ServerTest;

namespace {
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// One request on a connection made from `from`; the whole answer once the server closed or the
// announced body is in.
QByteArray exchange(const QHostAddress &from, quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.bind(from);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            const QByteArray head = answer.left(headEnd).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qint64 length =
                at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            if (answer.size() >= headEnd + 4 + length)
                break;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        socket.waitForReadyRead(100);
        answer += socket.readAll();
    }
    return answer;
}
} // namespace

class tst_ServerProxy : public QObject
{
    Q_OBJECT

private slots:
    void behindNginx()
    {
        const QString nginx = QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin", "/usr/bin"});
        if (nginx.isEmpty())
            QSKIP("nginx is not installed (Debian package nginx-light; make test installs it)");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ServerProcess server(QStringLiteral(NIMBREL_SERVER_BINARY), dir.filePath("server"));
        QVERIFY(server.start({"--trusted-proxy", "127.0.0.1/32", "--dns-port", "0"}));
        QVERIFY2(server.dnsPort(), qPrintable(server.output()));

        const quint16 port = freePort();
        QVERIFY(port);
        QFile config(dir.filePath("nginx.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("%1pid %2/nginx.pid;\nerror_log %2/error.log;\nevents {}\n"
                                    "http {\n"
                                    "  access_log off;\n"
                                    "  client_body_temp_path %2/body;\n  proxy_temp_path %2/proxy;\n"
                                    "  upstream nimbrel { server 127.0.0.1:%3; keepalive 8; }\n"
                                    "  server {\n    listen 127.0.0.1:%4;\n    client_max_body_size 64k;\n"
                                    "    location /api/v3/ { include %5; }\n"
                                    "    location /dns-query/ { include %5; }\n  }\n}\n")
                         .arg(::geteuid() == 0 ? "user root;\n" : "", dir.path())
                         .arg(server.port())
                         .arg(port)
                         .arg(QStringLiteral(NIMBREL_SOURCE_DIR "/deploy/nginx/nimbrel-proxy.conf"))
                         .toUtf8());
        config.close();
        QProcess proxy;
        proxy.setProcessChannelMode(QProcess::MergedChannels);
        proxy.start(nginx, {"-p", dir.path(), "-c", config.fileName(), "-g", "daemon off;"});
        QVERIFY(proxy.waitForStarted(5000));
        auto stopProxy = qScopeGuard([&] {
            proxy.terminate();
            if (!proxy.waitForFinished(5000))
                proxy.kill();
        });
        QTRY_VERIFY2(!exchange(QHostAddress::LocalHost, port, "GET /api/v3/category HTTP/1.0\r\n\r\n").isEmpty(),
                     proxy.readAll().constData());

        ServerClient client(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(port)));
        const Account ada = signUp(client, "ada@example.org");
        QVERIFY(ada.id);

        // The device is recorded with the address the proxy saw, not the proxy's own.
        const QByteArray body = "platform_unique_id=desk";
        const QByteArray sync = exchange(QHostAddress("127.0.0.2"), port,
                                         "POST /api/v3/sync-url HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                         "Authorization: Bearer " +
                                             ada.token +
                                             "\r\nX-Forwarded-For: 198.51.100.1\r\n"
                                             "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QVERIFY2(sync.contains("\"status\":true"), sync.constData());

        // DNS over HTTPS through the proxy, with the key the status answer made.
        const QByteArray key = QRegularExpression(QStringLiteral("/dns-query/([a-z2-7]{26})"))
                                   .match(QString::fromLatin1(sync))
                                   .captured(1)
                                   .toLatin1();
        QVERIFY2(!key.isEmpty(), sync.constData());
        // use-application-dns.net, type A: blocked for everybody, no upstream needed.
        const QByteArray query = QByteArray::fromHex("00000100000100000000000013") + "use-application-dns" +
                                 QByteArray::fromHex("036e65740000010001");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT(
            (answer = exchange(QHostAddress::LocalHost, port,
                               "POST /dns-query/" + key + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                               "Content-Type: application/dns-message\r\nContent-Length: " +
                                   QByteArray::number(query.size()) + "\r\n\r\n" + query))
                .startsWith("HTTP/1.1 200"),
            2000);
        QVERIFY2(answer.contains("application/dns-message"), answer.constData());
        QCOMPARE(answer.right(answer.size() - answer.indexOf("\r\n\r\n") - 4).at(3) & 0x0f, 3); // NXDOMAIN
        QVERIFY(!server.output().contains(QString::fromLatin1(key)));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "devices");
            db.setDatabaseName(dir.filePath("server/nimbrel.db"));
            QVERIFY(db.open());
            QSqlQuery rows("SELECT address FROM devices WHERE platform_id = 'desk'", db);
            QVERIFY(rows.next());
            QCOMPARE(rows.value(0).toString(), QStringLiteral("127.0.0.2"));
        }
        QSqlDatabase::removeDatabase("devices");

        // A 1 MB body never reaches the server.
        const QByteArray big =
            exchange(QHostAddress::LocalHost, port,
                     "POST /api/v3/blockwesitebyuser HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Authorization: Bearer " +
                         ada.token + "\r\nContent-Length: 1048576\r\n\r\n" + QByteArray(1048576, 'a'));
        QVERIFY2(big.startsWith("HTTP/1.1 413"), big.left(200).constData());
        QVERIFY(!server.output().contains("POST /api/v3/blockwesitebyuser"));
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(tst_ServerProxy)
#include "tst_serverproxy.moc"
