// Load for the filtering DNS over UDP and over TLS from one client, in one run, so that the two
// rates compare: queries kept in flight over one UDP socket, then over kept-alive DNS over TLS
// connections, then TLS handshakes made one after another on new connections (the cost a device
// pays when it connects). Prints "name value" lines for bench/dns/run.sh.
//
//   nimbrel_bench_dot_load PORT DOT_PORT SERVER_NAME CA_PEM QUERY_FILE SECONDS [CONNECTIONS] [IN_FLIGHT]
//
// QUERY_FILE has one "name type" line per query (dnsperf's format; only A is asked).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
// A query in wire format with id 0 (patched per send): RD set, one question of type A, class IN.
QByteArray queryFor(const QByteArray &name)
{
    QByteArray wire = QByteArray::fromHex("000001000001000000000000");
    for (const QByteArray &label : name.split('.')) {
        if (label.isEmpty())
            continue;
        wire += char(label.size());
        wire += label;
    }
    wire += QByteArray::fromHex("0000010001");
    return wire;
}

struct Load {
    std::vector<QByteArray> queries;
    size_t next = 0;
    quint16 id = 0;
    const QByteArray &take()
    {
        const QByteArray &q = queries[next];
        next = (next + 1) % queries.size();
        return q;
    }
    QByteArray stamped()
    {
        QByteArray q = take();
        qToBigEndian<quint16>(++id, q.data());
        return q;
    }
};

double udpRate(Load &load, quint16 port, int seconds, int inFlight)
{
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
    qint64 answered = 0;
    QElapsedTimer clock;
    clock.start();
    int outstanding = 0;
    const qint64 endMs = qint64(seconds) * 1000;
    // A lost datagram is replaced after a quiet moment, so the window never drains for good.
    while (clock.elapsed() < endMs) {
        while (outstanding < inFlight) {
            socket.writeDatagram(load.stamped(), QHostAddress::LocalHost, port);
            ++outstanding;
        }
        if (!socket.waitForReadyRead(50)) {
            outstanding = 0;
            continue;
        }
        while (socket.hasPendingDatagrams()) {
            char buffer[4096];
            if (socket.readDatagram(buffer, sizeof buffer) >= 12) {
                ++answered;
                --outstanding;
            }
        }
    }
    return answered * 1000.0 / double(clock.elapsed());
}

QSslConfiguration tls(const QString &caFile)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(QSslCertificate::fromPath(caFile));
    return configuration;
}

double dotRate(Load &load, quint16 port, const QString &serverName, const QString &caFile, int seconds,
               int connections, int inFlight)
{
    struct Connection {
        std::unique_ptr<QSslSocket> socket;
        QByteArray buffer;
    };
    std::vector<Connection> all(static_cast<size_t>(connections));
    qint64 answered = 0;
    bool measuring = false;
    for (Connection &c : all) {
        c.socket = std::make_unique<QSslSocket>();
        c.socket->setSslConfiguration(tls(caFile));
        QSslSocket *socket = c.socket.get();
        QObject::connect(socket, &QSslSocket::readyRead, socket, [&, socket, buffer = &c.buffer] {
            *buffer += socket->readAll();
            QByteArray more;
            while (buffer->size() >= 2) {
                const quint16 length = qFromBigEndian<quint16>(buffer->constData());
                if (buffer->size() < 2 + length)
                    break;
                buffer->remove(0, 2 + length);
                if (measuring)
                    ++answered;
                // Each answer makes room for one more query on this connection.
                const QByteArray q = load.stamped();
                char prefix[2];
                qToBigEndian<quint16>(quint16(q.size()), prefix);
                more += QByteArray(prefix, 2) + q;
            }
            if (!more.isEmpty())
                socket->write(more);
        });
        socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port, serverName);
        if (!socket->waitForEncrypted(5000)) {
            std::fprintf(stderr, "DNS over TLS: no handshake with %s: %s\n", qPrintable(serverName),
                         qPrintable(socket->errorString()));
            return 0;
        }
        QByteArray first;
        for (int i = 0; i < inFlight; ++i) {
            const QByteArray q = load.stamped();
            char prefix[2];
            qToBigEndian<quint16>(quint16(q.size()), prefix);
            first += QByteArray(prefix, 2) + q;
        }
        socket->write(first);
    }
    // A moment to fill the pipes, then the measured stretch.
    QDeadlineTimer warm(300);
    while (!warm.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    measuring = true;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds) * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double rate = answered * 1000.0 / double(clock.elapsed());
    measuring = false;
    for (Connection &c : all) {
        if (c.socket->state() != QAbstractSocket::ConnectedState)
            std::fprintf(stderr, "DNS over TLS: a connection ended during the run\n");
    }
    return rate;
}

double handshakeRate(quint16 port, const QString &serverName, const QString &caFile, int seconds)
{
    const QSslConfiguration configuration = tls(caFile);
    qint64 made = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds) * 1000) {
        QSslSocket socket;
        socket.setSslConfiguration(configuration);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port, serverName);
        if (socket.waitForEncrypted(5000))
            ++made;
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.waitForDisconnected(1000);
    }
    return made * 1000.0 / double(clock.elapsed());
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 7) {
        std::fprintf(stderr, "usage: %s PORT DOT_PORT SERVER_NAME CA_PEM QUERY_FILE SECONDS [CONNECTIONS] [IN_FLIGHT]\n",
                     argv[0]);
        return 2;
    }
    const quint16 port = quint16(args[1].toUInt());
    const quint16 dotPort = quint16(args[2].toUInt());
    const QString serverName = args[3];
    const QString caFile = args[4];
    const int seconds = qMax(1, args[6].toInt());
    const int connections = args.size() > 7 ? qMax(1, args[7].toInt()) : 4;
    const int inFlight = args.size() > 8 ? qMax(1, args[8].toInt()) : 50;
    QFile file(args[5]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[5]));
        return 2;
    }
    Load load;
    while (!file.atEnd()) {
        const QByteArray name = file.readLine().trimmed().split(' ').value(0);
        if (!name.isEmpty())
            load.queries.push_back(queryFor(name));
    }
    if (load.queries.empty())
        return 2;
    std::printf("udp %.0f\n", udpRate(load, port, seconds, connections * inFlight));
    std::printf("dot %.0f\n", dotRate(load, dotPort, serverName, caFile, seconds, connections, inFlight));
    std::printf("handshakes %.0f\n", handshakeRate(dotPort, serverName, caFile, seconds));
    return 0;
}
