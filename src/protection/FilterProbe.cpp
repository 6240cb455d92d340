#include "FilterProbe.h"

#include "BuildConfig.h"

#include <QDnsLookup>
#include <QNetworkDatagram>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>
#include <ldns/ldns.h>

namespace {
const QByteArray probeText = QByteArrayLiteral("nimbrel-filter");

// The question as it goes on the wire; empty when the name cannot be encoded.
QByteArray encodeQuery(const QString &name, quint16 id)
{
    ldns_rdf *owner = ldns_dname_new_frm_str(name.toLatin1().constData());
    if (!owner)
        return {};
    ldns_pkt *query = ldns_pkt_query_new(owner, LDNS_RR_TYPE_TXT, LDNS_RR_CLASS_IN, LDNS_RD);
    ldns_pkt_set_id(query, id);
    uint8_t *wire = nullptr;
    size_t size = 0;
    QByteArray out;
    if (ldns_pkt2wire(&wire, query, &size) == LDNS_STATUS_OK)
        out = QByteArray(reinterpret_cast<const char *>(wire), qsizetype(size));
    free(wire);
    ldns_pkt_free(query);
    return out;
}

// Whether the datagram answers our question with the probe record.
bool isProbeAnswer(const QByteArray &datagram, const QString &name, quint16 id)
{
    ldns_pkt *answer = nullptr;
    if (ldns_wire2pkt(&answer, reinterpret_cast<const uint8_t *>(datagram.constData()), size_t(datagram.size())) !=
        LDNS_STATUS_OK)
        return false;
    bool found = false;
    ldns_rdf *owner = ldns_dname_new_frm_str(name.toLatin1().constData());
    if (owner && ldns_pkt_id(answer) == id && ldns_pkt_qr(answer) && ldns_pkt_get_rcode(answer) == LDNS_RCODE_NOERROR) {
        ldns_rr_list *records = ldns_pkt_answer(answer);
        for (size_t i = 0; records && i < ldns_rr_list_rr_count(records) && !found; ++i) {
            ldns_rr *rr = ldns_rr_list_rr(records, i);
            if (ldns_rr_get_type(rr) != LDNS_RR_TYPE_TXT || ldns_dname_compare(ldns_rr_owner(rr), owner) != 0)
                continue;
            for (size_t j = 0; j < ldns_rr_rd_count(rr) && !found; ++j) {
                // A character-string: its length, then its bytes.
                const ldns_rdf *text = ldns_rr_rdf(rr, j);
                const QByteArray data(reinterpret_cast<const char *>(ldns_rdf_data(text)),
                                      qsizetype(ldns_rdf_size(text)));
                found = data.size() >= 1 && data.mid(1, quint8(data.at(0))) == probeText;
            }
        }
    }
    ldns_rdf_deep_free(owner);
    ldns_pkt_free(answer);
    return found;
}

// One question in flight: the socket, the time limit and the caller's callback.
class FilterQuestion : public QObject
{
public:
    FilterQuestion(QObject *context, std::function<void(bool)> done)
        : m_context(context)
        , m_done(std::move(done))
    {
    }

    void start(const QHostAddress &server, quint16 port)
    {
        m_name = FilterProbe::freshName();
        m_id = quint16(QRandomGenerator::global()->bounded(1 << 16));
        const QByteArray query = encodeQuery(m_name, m_id);
        m_socket = new QUdpSocket(this);
        connect(m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket->hasPendingDatagrams()) {
                if (isProbeAnswer(m_socket->receiveDatagram().data(), m_name, m_id)) {
                    finish(true);
                    return;
                }
            }
        });
        // Nothing listens there (the system says so at once on a local address).
        connect(m_socket, &QUdpSocket::errorOccurred, this, [this] { finish(false); });
        QTimer::singleShot(FilterProbe::timeoutMs, this, [this] { finish(false); });
        // Connected, so that only the filter's own answers are read.
        m_socket->connectToHost(server, port);
        if (query.isEmpty() || m_socket->write(query) != query.size())
            QTimer::singleShot(0, this, [this] { finish(false); });
    }

private:
    void finish(bool answered)
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_context && m_done)
            m_done(answered);
        deleteLater();
    }

    QPointer<QObject> m_context;
    std::function<void(bool)> m_done;
    QUdpSocket *m_socket = nullptr;
    QString m_name;
    quint16 m_id = 0;
    bool m_finished = false;
};
} // namespace

QString FilterProbe::freshName()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString label;
    for (int i = 0; i < 16; ++i)
        label += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet) - 1)]);
    return label + QLatin1Char('.') + QString::fromLatin1(BuildConfig::filterProbe) + QLatin1Char('.');
}

void FilterProbe::askFilter(const QHostAddress &server, quint16 port, QObject *context, std::function<void(bool)> done)
{
    auto *question = new FilterQuestion(context, std::move(done));
    question->start(server, port);
}

void FilterProbe::askSystemResolver(QObject *context, std::function<void(bool)> done)
{
    QString name = freshName();
    name.chop(1);
    auto *lookup = new QDnsLookup(QDnsLookup::TXT, name);
    QPointer<QObject> guard(context);
    QObject::connect(lookup, &QDnsLookup::finished, lookup, [lookup, guard, done = std::move(done)] {
        bool through = false;
        if (lookup->error() == QDnsLookup::NoError) {
            for (const QDnsTextRecord &record : lookup->textRecords())
                through = through || record.values().contains(probeText);
        }
        lookup->deleteLater();
        if (guard && done)
            done(through);
    });
    lookup->lookup();
}
