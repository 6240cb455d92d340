#include "DnsOverTls.h"

#include "DeviceKey.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>
#include <cerrno>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A client hello is a few hundred bytes, a couple of kilobytes with large key shares.
constexpr int maxHello = 16 * 1024;
// While a hello is incomplete the buffer stays readable: look again after a pause that doubles
// each time, so a client that trickles its hello costs little.
constexpr int firstPeekPauseMs = 1;
constexpr int maxPeekPauseMs = 200;

// Hands the descriptor of each connection over before Qt reads from it.
class DescriptorServer : public QTcpServer
{
public:
    std::function<void(qintptr)> take;

protected:
    void incomingConnection(qintptr descriptor) override { take(descriptor); }
};

struct Hello {
    bool seen = false;
    QByteArray name;
};

// Called by OpenSSL once it has read the hello's extensions: keeps the name and ends the
// handshake there (this SSL object only reads; the real handshake is Qt's).
int keepServerName(SSL *ssl, int *alert, void *)
{
    auto *hello = static_cast<Hello *>(SSL_get_app_data(ssl));
    hello->seen = true;
    if (const char *name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name))
        hello->name = QByteArray(name);
    *alert = SSL_AD_UNRECOGNIZED_NAME;
    return SSL_TLSEXT_ERR_ALERT_FATAL;
}

SSL_CTX *helloReader()
{
    static SSL_CTX *const context = [] {
        SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
        if (ctx)
            SSL_CTX_set_tlsext_servername_callback(ctx, keepServerName);
        return ctx;
    }();
    return context;
}
} // namespace

struct DnsOverTls::Handshake {
    int fd = -1;
    QHostAddress peer;
    QSocketNotifier *notifier = nullptr;
    QTimer *deadline = nullptr;
    int pauseMs = firstPeekPauseMs;
};

DnsOverTls::DnsOverTls(const Settings &settings, Knows knows, Ready ready, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_knows(std::move(knows))
    , m_ready(std::move(ready))
{
}

DnsOverTls::~DnsOverTls()
{
    for (Handshake *handshake : std::as_const(m_handshakes)) {
        delete handshake->notifier;
        ::close(handshake->fd);
        delete handshake;
    }
}

bool DnsOverTls::listen(const QList<QHostAddress> &addresses, quint16 port, QString *error)
{
    for (const QHostAddress &address : addresses) {
        auto *server = new DescriptorServer;
        server->setParent(this);
        server->take = [this](qintptr descriptor) { accepted(descriptor); };
        if (!server->listen(address, port)) {
            *error = QStringLiteral("cannot listen for DNS over TLS on %1 port %2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(server->errorString());
            return false;
        }
        port = server->serverPort();
        m_listeners.append(server);
    }
    m_port = port;
    return true;
}

QByteArray DnsOverTls::keyHashOf(const QByteArray &serverName, const QString &zone)
{
    QByteArray name = serverName.toLower();
    if (name.endsWith('.'))
        name.chop(1);
    const QByteArray suffix = '.' + zone.toLower().toLatin1();
    if (zone.isEmpty() || !name.endsWith(suffix))
        return {};
    return DeviceKey::hash(QString::fromLatin1(name.left(name.size() - suffix.size())));
}

std::optional<QByteArray> DnsOverTls::serverName(const QByteArray &clientHello)
{
    SSL_CTX *context = helloReader();
    if (!context)
        return QByteArray();
    SSL *ssl = SSL_new(context);
    if (!ssl)
        return QByteArray();
    BIO *in = BIO_new(BIO_s_mem());
    BIO *out = BIO_new(BIO_s_mem());
    BIO_write(in, clientHello.constData(), int(clientHello.size()));
    SSL_set_bio(ssl, in, out); // owned by ssl from here
    SSL_set_accept_state(ssl);
    Hello hello;
    SSL_set_app_data(ssl, &hello);
    const int result = SSL_do_handshake(ssl);
    const bool incomplete = !hello.seen && SSL_get_error(ssl, result) == SSL_ERROR_WANT_READ;
    SSL_free(ssl);
    if (incomplete)
        return std::nullopt;
    return hello.name;
}

void DnsOverTls::accepted(qintptr descriptor)
{
    const int fd = int(descriptor);
    // Full: the connection that has waited longest without naming a device makes room; when
    // every one is already in its handshake, the new one is turned away.
    if (m_handshakes.size() + m_encrypting >= m_settings.maxHandshakes) {
        if (m_handshakes.isEmpty()) {
            ::close(fd);
            return;
        }
        close(m_handshakes.first());
    }
    auto *handshake = new Handshake;
    handshake->fd = fd;
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) == 0)
        handshake->peer = QHostAddress(reinterpret_cast<const sockaddr *>(&peer));
    handshake->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    handshake->deadline = new QTimer(handshake->notifier);
    handshake->deadline->setSingleShot(true);
    connect(handshake->deadline, &QTimer::timeout, this, [this, handshake] { close(handshake); });
    handshake->deadline->start(m_settings.handshakeMs);
    connect(handshake->notifier, &QSocketNotifier::activated, this, [this, handshake] { peek(handshake); });
    m_handshakes.append(handshake);
}

void DnsOverTls::close(Handshake *handshake)
{
    m_handshakes.removeOne(handshake);
    delete handshake->notifier; // and its timers
    ::close(handshake->fd);
    delete handshake;
}

void DnsOverTls::peek(Handshake *handshake)
{
    QByteArray buffer(maxHello, Qt::Uninitialized);
    const ssize_t size = ::recv(handshake->fd, buffer.data(), size_t(buffer.size()), MSG_PEEK | MSG_DONTWAIT);
    if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (size <= 0)
        return close(handshake);
    buffer.truncate(size);
    const std::optional<QByteArray> name = serverName(buffer);
    if (!name) {
        if (size == maxHello)
            return close(handshake);
        handshake->notifier->setEnabled(false);
        QTimer::singleShot(handshake->pauseMs, handshake->notifier, [notifier = handshake->notifier] {
            notifier->setEnabled(true);
        });
        handshake->pauseMs = qMin(maxPeekPauseMs, handshake->pauseMs * 2);
        return;
    }
    const QByteArray keyHash = keyHashOf(*name, m_settings.zone);
    if (keyHash.isEmpty() || !m_knows(keyHash))
        return close(handshake);
    encrypt(handshake, keyHash);
}

void DnsOverTls::encrypt(Handshake *handshake, const QByteArray &keyHash)
{
    const int fd = handshake->fd;
    const QHostAddress peer = handshake->peer;
    const int remainingMs = handshake->deadline->remainingTime();
    m_handshakes.removeOne(handshake);
    delete handshake->notifier; // before Qt watches the descriptor
    delete handshake;

    auto *socket = new DotSocket(this);
    socket->keyHash = keyHash;
    if (!socket->setSocketDescriptor(fd)) {
        ::close(fd);
        delete socket;
        return;
    }
    ++m_encrypting;
    // The handshake's flights and the answers are small writes: none waits for an acknowledgement.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSslConfiguration(m_settings.tls);
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    auto fail = [this, socket, deadline] {
        QObject::disconnect(socket, nullptr, this, nullptr);
        QObject::disconnect(deadline, nullptr, this, nullptr);
        deadline->stop();
        --m_encrypting;
        socket->abort();
        socket->deleteLater();
    };
    connect(deadline, &QTimer::timeout, this, fail);
    connect(socket, &QAbstractSocket::errorOccurred, this, fail);
    connect(socket, &QSslSocket::encrypted, this, [this, socket, deadline, peer] {
        QObject::disconnect(socket, nullptr, this, nullptr);
        delete deadline;
        --m_encrypting;
        m_ready(socket, peer);
    });
    deadline->start(qMax(1, remainingMs));
    socket->startServerEncryption();
}
