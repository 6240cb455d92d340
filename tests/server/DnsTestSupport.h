#pragma once

// A real dnsmasq as the upstream of the filtering DNS, and queries made with ldns.

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>
#include <ldns/ldns.h>
#include <unistd.h>

namespace DnsTest {

// dnsmasq on a free port of 127.0.0.1 answering 192.0.2.10 for every name under test. and
// REFUSED for the rest (it has no upstream of its own).
class Dnsmasq
{
public:
    static QString binary()
    {
        return QStandardPaths::findExecutable(QStringLiteral("dnsmasq"),
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                               QStringLiteral("/usr/bin")});
    }

    ~Dnsmasq() { stop(); }

    // The upstream goes silent: its port answers nothing any more.
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(5000);
        }
    }

    // extraArguments: more dnsmasq options, such as --local-ttl=300.
    bool start(QString *why, const QStringList &extraArguments = {})
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QUdpSocket probe;
            if (!probe.bind(QHostAddress::LocalHost, 0))
                continue;
            m_port = probe.localPort();
            probe.close();
            QStringList arguments{QStringLiteral("-k"),
                                  QStringLiteral("--conf-file=/dev/null"),
                                  QStringLiteral("--port=%1").arg(m_port),
                                  QStringLiteral("--listen-address=127.0.0.1"),
                                  QStringLiteral("--bind-interfaces"),
                                  QStringLiteral("--no-resolv"),
                                  QStringLiteral("--no-hosts"),
                                  QStringLiteral("--pid-file="),
                                  QStringLiteral("--address=/test/192.0.2.10")};
            arguments += extraArguments;
            if (::getuid() == 0)
                arguments << QStringLiteral("--user=root"); // no user switch in a sandbox
            m_process.setProcessChannelMode(QProcess::MergedChannels);
            m_process.start(binary(), arguments);
            if (!m_process.waitForStarted(5000)) {
                *why = m_process.errorString();
                return false;
            }
            // Ready once it answers.
            QDeadlineTimer deadline(5000);
            while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
                QUdpSocket socket;
                ldns_pkt *query = ldns_pkt_query_new(ldns_dname_new_frm_str("ready.test."), LDNS_RR_TYPE_A,
                                                     LDNS_RR_CLASS_IN, LDNS_RD);
                uint8_t *wire = nullptr;
                size_t size = 0;
                ldns_pkt2wire(&wire, query, &size);
                ldns_pkt_free(query);
                socket.writeDatagram(reinterpret_cast<const char *>(wire), qint64(size), QHostAddress::LocalHost,
                                     m_port);
                free(wire);
                if (socket.waitForReadyRead(200))
                    return true;
            }
            *why = QString::fromUtf8(m_process.readAll());
            m_process.waitForFinished(2000);
        }
        return false;
    }

    quint16 port() const { return m_port; }
    QString upstream() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

struct Query {
    QByteArray name;
    ldns_rr_type type = LDNS_RR_TYPE_A;
    bool tcp = false;
    bool edns = false;
    QHostAddress source = QHostAddress::LocalHost;
};

struct Answer {
    bool received = false;
    quint16 id = 0;
    QByteArray question; // the name echoed back, as the answer spells it
    int rcode = -1;
    bool tc = false;
    bool blockedError = false; // Extended DNS Error 15
    bool staleError = false;   // Extended DNS Error 3
    QStringList records;       // "A 192.0.2.10", "TXT \"nimbrel-filter\""
    QList<quint32> ttls;       // of the records, in the same order
};

inline QByteArray queryWire(const Query &query, quint16 id)
{
    ldns_pkt *packet = ldns_pkt_query_new(ldns_dname_new_frm_str(query.name.constData()), query.type,
                                          LDNS_RR_CLASS_IN, LDNS_RD);
    ldns_pkt_set_id(packet, id);
    if (query.edns)
        ldns_pkt_set_edns_udp_size(packet, 1232);
    uint8_t *wire = nullptr;
    size_t size = 0;
    ldns_pkt2wire(&wire, packet, &size);
    ldns_pkt_free(packet);
    const QByteArray out(reinterpret_cast<const char *>(wire), qsizetype(size));
    free(wire);
    return out;
}

inline Answer readAnswer(const QByteArray &wire)
{
    Answer answer;
    ldns_pkt *packet = nullptr;
    if (ldns_wire2pkt(&packet, reinterpret_cast<const uint8_t *>(wire.constData()), size_t(wire.size())) !=
        LDNS_STATUS_OK)
        return answer;
    answer.received = true;
    answer.id = ldns_pkt_id(packet);
    if (ldns_pkt_qdcount(packet) == 1) {
        char *name = ldns_rdf2str(ldns_rr_owner(ldns_rr_list_rr(ldns_pkt_question(packet), 0)));
        answer.question = name;
        free(name);
    }
    answer.rcode = ldns_pkt_get_rcode(packet);
    answer.tc = ldns_pkt_tc(packet);
    if (ldns_edns_option_list *options = ldns_pkt_edns_get_option_list(packet)) {
        for (size_t i = 0; i < ldns_edns_option_list_get_count(options); ++i) {
            ldns_edns_option *option = ldns_edns_option_list_get_option(options, i);
            const uint8_t *data = ldns_edns_get_data(option);
            if (ldns_edns_get_code(option) == LDNS_EDNS_EDE && ldns_edns_get_size(option) >= 2 && data[0] == 0) {
                answer.blockedError = answer.blockedError || data[1] == 15;
                answer.staleError = answer.staleError || data[1] == 3;
            }
        }
    }
    const ldns_rr_list *records = ldns_pkt_answer(packet);
    for (size_t i = 0; i < ldns_rr_list_rr_count(records); ++i) {
        const ldns_rr *record = ldns_rr_list_rr(records, i);
        char *type = ldns_rr_type2str(ldns_rr_get_type(record));
        char *data = ldns_rdf2str(ldns_rr_rdf(record, 0));
        answer.records.append(QStringLiteral("%1 %2").arg(QString::fromLatin1(type), QString::fromLatin1(data)));
        answer.ttls.append(ldns_rr_ttl(record));
        free(type);
        free(data);
    }
    ldns_pkt_free(packet);
    return answer;
}

// Sends a message over UDP from source and waits up to timeoutMs for the answer.
inline QByteArray exchangeUdp(const QByteArray &message, quint16 port, const QHostAddress &source,
                              int timeoutMs = 3000)
{
    QUdpSocket socket;
    if (!socket.bind(source, 0))
        return {};
    socket.writeDatagram(message, QHostAddress::LocalHost, port);
    if (!socket.waitForReadyRead(timeoutMs))
        return {};
    return socket.receiveDatagram().data();
}

// Messages over a connected stream (TCP or TLS), each after its two-byte length; the answers in
// order of arrival.
inline QList<QByteArray> exchangeStream(QAbstractSocket &socket, const QList<QByteArray> &messages, int timeoutMs = 3000)
{
    QByteArray out;
    for (const QByteArray &message : messages) {
        char prefix[2];
        qToBigEndian<quint16>(quint16(message.size()), prefix);
        out += QByteArray(prefix, 2) + message;
    }
    socket.write(out);
    QList<QByteArray> answers;
    QByteArray buffer;
    QDeadlineTimer deadline(timeoutMs);
    while (answers.size() < messages.size() && !deadline.hasExpired()) {
        // A TLS socket may hold decrypted bytes already: read those before waiting.
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        buffer += socket.readAll();
        while (buffer.size() >= 2) {
            const quint16 length = qFromBigEndian<quint16>(buffer.constData());
            if (buffer.size() < 2 + length)
                break;
            answers.append(buffer.mid(2, length));
            buffer.remove(0, 2 + length);
        }
    }
    return answers;
}

// Messages over one TCP connection.
inline QList<QByteArray> exchangeTcp(const QList<QByteArray> &messages, quint16 port, int timeoutMs = 3000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    return exchangeStream(socket, messages, timeoutMs);
}

inline Answer ask(quint16 port, const Query &query)
{
    const quint16 id = quint16(QRandomGenerator::global()->bounded(1, 65535));
    const QByteArray message = queryWire(query, id);
    QByteArray wire;
    if (query.tcp) {
        const QList<QByteArray> answers = exchangeTcp({message}, port);
        wire = answers.value(0);
    } else {
        wire = exchangeUdp(message, port, query.source);
    }
    Answer answer = readAnswer(wire);
    if (answer.received && answer.id != id)
        answer = Answer(); // not the answer to this query
    return answer;
}

inline int rcodeOf(quint16 port, const QByteArray &name, const QHostAddress &source = QHostAddress::LocalHost)
{
    return ask(port, {name, LDNS_RR_TYPE_A, false, false, source}).rcode;
}

} // namespace DnsTest
