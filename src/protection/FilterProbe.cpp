#include "FilterProbe.h"

#include "core/Log.h"
#include "BuildConfig.h"
#include "dnswire/DnsWire.h"
#include "platform/Components.h"

#include <QCoreApplication>
#include <QDir>
#include <QDnsLookup>
#include <QNetworkDatagram>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

namespace {
const QByteArray probeText = QByteArrayLiteral("nimbrel-filter");

// The DNS message module, loaded the first time the filter is asked and kept: ldns and the
// OpenSSL it links stay out of the process until protection is switched on.
struct Wire {
    DnsWireTxtQueryFn txtQuery = nullptr;
    DnsWireAnswersTxtFn answersTxt = nullptr;
};

const Wire &wire()
{
    static const Wire loaded = [] {
        Wire found;
        if (!Components::load(DnsWire::fileBaseName,
                              {{DnsWire::txtQuerySymbol, reinterpret_cast<QFunctionPointer *>(&found.txtQuery)},
                               {DnsWire::answersTxtSymbol, reinterpret_cast<QFunctionPointer *>(&found.answersTxt)}}))
            return Wire(); // the filter cannot be asked
        return found;
    }();
    return loaded;
}

// The question as it goes on the wire; empty when the name cannot be encoded.
QByteArray encodeQuery(const QString &name, quint16 id)
{
    if (!wire().txtQuery)
        return {};
    unsigned char buffer[512]; // a name is at most 255 bytes: the question always fits
    std::size_t size = sizeof buffer;
    if (wire().txtQuery(name.toLatin1().constData(), id, buffer, &size) != 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size));
}

// Whether the datagram answers our question with the probe record.
bool isProbeAnswer(const QByteArray &datagram, const QString &name, quint16 id)
{
    return wire().answersTxt
        && wire().answersTxt(reinterpret_cast<const unsigned char *>(datagram.constData()), std::size_t(datagram.size()),
                             name.toLatin1().constData(), id, probeText.constData(), std::size_t(probeText.size()))
               == 1;
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
