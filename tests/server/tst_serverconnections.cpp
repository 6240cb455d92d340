// The real nimbrel-server under abuse of its connections: thousands of idle ones, and requests
// too large for it over HTTPS. Other clients must still be answered, and quickly.
#include "ServerTestSupport.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {
constexpr int idleConnections = 2000;

// Sends a request on a connected socket and gives the status of the answer (0: none within
// timeoutMs).
int exchange(QTcpSocket &socket, const QByteArray &request, int timeoutMs = 5000)
{
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(timeoutMs);
    while (!answer.contains("\r\n\r\n") && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        answer += socket.readAll();
    }
    if (!answer.startsWith("HTTP/1.1 "))
        return 0;
    return answer.mid(9, 3).toInt();
}

QByteArray categoryRequest()
{
    return "GET /api/v3/category HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + ServerProcess::appToken() +
           "\r\n\r\n";
}

// Milliseconds from connecting to the head of the answer for GET category, from 127.0.0.1;
// -1 when it was not answered 200 within five seconds.
qint64 timedRequest(quint16 port)
{
    QElapsedTimer timer;
    timer.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000) || exchange(socket, categoryRequest()) != 200)
        return -1;
    return timer.elapsed();
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
} // namespace

class tst_ServerConnections : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The server starts with the 1,024 descriptors a login session usually gives; clients hold
    // 2,000 idle connections, from one address or from many. 127.0.0.1 is still answered at once.
    void idleConnectionsDoNotShutOthersOut_data()
    {
        QTest::addColumn<int>("addresses");
        QTest::newRow("one address") << 1;
        QTest::newRow("forty addresses, the server full") << 40;
    }

    void idleConnectionsDoNotShutOthersOut()
    {
        QFETCH(int, addresses);
        // This process holds the clients' ends.
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_max < idleConnections + 500)
            QSKIP("the open-file limit of this process is too low for 2,000 client connections");
        limit.rlim_cur = limit.rlim_max;
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);

        ServerProcess server(QStringLiteral(NIMBREL_SERVER_BINARY),
                             m_dir.filePath(QStringLiteral("idle%1").arg(addresses)));
        server.setOpenFileLimit(1024);
        QVERIFY(server.start());
        QVERIFY(timedRequest(server.port()) >= 0);

        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < idleConnections; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            QVERIFY(socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i % addresses)), 0));
            socket->connectToHost(QHostAddress::LocalHost, server.port());
            idle.push_back(std::move(socket));
        }
        auto settled = [&] {
            return std::none_of(idle.begin(), idle.end(),
                                [](const auto &socket) { return socket->state() == QAbstractSocket::ConnectingState; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 20000);
        auto open = [&] {
            return std::count_if(idle.begin(), idle.end(),
                                 [](const auto &socket) { return socket->state() == QAbstractSocket::ConnectedState; });
        };
        // One address holds no more than its share; room is made by closing its oldest ones.
        if (addresses == 1)
            QTRY_VERIFY_WITH_TIMEOUT(open() <= 256, 10000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(open() < 1024, 10000);
        QVERIFY(open() > 0);

        QList<qint64> times;
        for (int i = 0; i < 5; ++i)
            times.append(timedRequest(server.port()));
        QVERIFY2(!times.contains(-1), qPrintable(QDebug::toString(times)));
        std::sort(times.begin(), times.end());
        QVERIFY2(times[2] < 100, qPrintable(QDebug::toString(times)));
        idle.clear();
        QVERIFY(server.stop());
    }

    // A second server on the same port, or on the same data folder, is refused at start and
    // names the first; the first keeps serving.
    void oneServerPerPortAndFolder_data()
    {
        QTest::addColumn<bool>("samePort");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("same port, another folder") << true << "listens on it";
        QTest::newRow("same folder, another port") << false << "another server uses the data folder";
    }
    void oneServerPerPortAndFolder()
    {
        QFETCH(bool, samePort);
        QFETCH(QString, complaint);
        const QString folder = m_dir.filePath(QStringLiteral("first%1").arg(samePort));
        ServerProcess first(QStringLiteral(NIMBREL_SERVER_BINARY), folder);
        QVERIFY(first.start());
        ServerProcess second(QStringLiteral(NIMBREL_SERVER_BINARY),
                             samePort ? m_dir.filePath(QStringLiteral("second")) : folder);
        QVERIFY(!second.start(samePort ? QStringList{QStringLiteral("--port"), QString::number(first.port())}
                                       : QStringList()));
        QTRY_VERIFY(!second.isRunning());
        const QString output = second.output();
        QVERIFY2(output.contains(complaint) && output.contains(QStringLiteral("(pid %1)").arg(first.pid())),
                 qPrintable(output));
        QVERIFY(timedRequest(first.port()) >= 0);
        QVERIFY(first.stop());
    }

    // HTTPS goes through the same checks as plain HTTP: a head or a body too large is refused
    // before it is read, and the server's memory does not grow with what the client sends.
    void tlsRequestLimits()
    {
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (openssl.isEmpty())
            QSKIP("openssl is not installed (needed to make a test certificate)");
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt has no TLS backend here");
        const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        QProcess make;
        make.setProcessChannelMode(QProcess::MergedChannels);
        make.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                             QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                             QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-days"),
                             QStringLiteral("1"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
        QVERIFY(make.waitForFinished(30000));
        QVERIFY2(make.exitCode() == 0, make.readAll().constData());

        ServerProcess server(QStringLiteral(NIMBREL_SERVER_BINARY), m_dir.filePath(QStringLiteral("tls")));
        QVERIFY(server.start({QStringLiteral("--tls-cert"), cert, QStringLiteral("--tls-key"), key}));
        auto connectTls = [&](QSslSocket &socket) {
            socket.setPeerVerifyMode(QSslSocket::VerifyNone);
            socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.port());
            return socket.waitForEncrypted(5000);
        };
        {
            QSslSocket socket;
            QVERIFY(connectTls(socket));
            QCOMPARE(exchange(socket, categoryRequest()), 200);
        }
        const qint64 before = residentKiB(server.pid());
        QVERIFY(before > 0);

        {
            QSslSocket socket;
            QVERIFY(connectTls(socket));
            const QByteArray head =
                "GET /api/v3/category HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + QByteArray(100 * 1024, 'a') +
                "\r\n\r\n";
            QCOMPARE(exchange(socket, head), 431);
        }
        {
            // The body follows the head without waiting, as a hostile client would send it.
            QSslSocket socket;
            QVERIFY(connectTls(socket));
            socket.write("POST /api/v3/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                         "application/x-www-form-urlencoded\r\nContent-Length: 209715200\r\n\r\n");
            const QByteArray chunk(1024 * 1024, 'x');
            QByteArray answer;
            for (int sent = 0; sent < 200 && socket.state() == QAbstractSocket::ConnectedState; ++sent) {
                socket.write(chunk);
                while (socket.bytesToWrite() > 0 && socket.state() == QAbstractSocket::ConnectedState)
                    socket.waitForBytesWritten(1000);
                answer += socket.readAll();
            }
            QDeadlineTimer deadline(5000);
            while (!answer.contains("\r\n\r\n") &&
                   socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                answer += socket.readAll();
            QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.left(100).constData());
        }
        const qint64 after = residentKiB(server.pid());
        QVERIFY2(after - before < 16 * 1024, qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(before).arg(after)));
        {
            QSslSocket socket;
            QVERIFY(connectTls(socket));
            QCOMPARE(exchange(socket, categoryRequest()), 200);
        }
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(tst_ServerConnections)
#include "tst_serverconnections.moc"
