#include "DnsStreamClients.h"

#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

namespace {
constexpr qint64 maxMessage = 65535;
}

DnsStreamClients::DnsStreamClients(const Limits &limits, Admits admits, Message message, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_admits(std::move(admits))
    , m_message(std::move(message))
{
    m_limits.maxConnections = qMax(1, m_limits.maxConnections);
    m_limits.maxPerAddress = qMax(1, m_limits.maxPerAddress);
    m_clock.start();
}

void DnsStreamClients::add(QTcpSocket *socket, const QHostAddress &client)
{
    socket->setParent(this);
    if (!m_admits(client) || !makeRoom(client)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_clients.insert(socket, {client, m_clock.elapsed(), 0});
    ++m_perAddress[client];
    // A whole message and its length; more waits in the system's buffer.
    socket->setReadBufferSize(2 + maxMessage);
    auto *idle = new QTimer(socket);
    idle->setObjectName(QStringLiteral("idle"));
    idle->setSingleShot(true);
    idle->start(m_limits.idleMs);
    connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        forget(socket);
        socket->deleteLater();
    });
    if (socket->bytesAvailable() > 0)
        read(socket);
}

void DnsStreamClients::forget(QTcpSocket *socket)
{
    const auto client = m_clients.constFind(socket);
    if (client == m_clients.cend())
        return;
    auto count = m_perAddress.find(client->address);
    if (count != m_perAddress.end() && --*count <= 0)
        m_perAddress.erase(count);
    m_clients.erase(client);
}

// A connection waiting for an answer is busy; of the others, the one whose last message is the
// oldest goes.
bool DnsStreamClients::shedIdlest(const QHostAddress *address)
{
    QTcpSocket *idlest = nullptr;
    qint64 since = 0;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if ((address && it->address != *address) || it->unanswered > 0)
            continue;
        if (!idlest || it->lastMessageMs < since) {
            idlest = it.key();
            since = it->lastMessageMs;
        }
    }
    if (!idlest)
        return false;
    forget(idlest);
    idlest->abort();
    idlest->deleteLater();
    return true;
}

bool DnsStreamClients::makeRoom(const QHostAddress &address)
{
    if (m_perAddress.value(address) >= m_limits.maxPerAddress && !shedIdlest(&address))
        return false;
    return m_clients.size() < m_limits.maxConnections || shedIdlest(nullptr);
}

void DnsStreamClients::read(QTcpSocket *socket)
{
    // Each message comes after its length in two bytes; a partial one waits for more.
    while (socket->bytesAvailable() >= 2 && m_clients.contains(socket)) {
        char prefix[2];
        socket->peek(prefix, 2);
        const quint16 length = qFromBigEndian<quint16>(prefix);
        if (socket->bytesAvailable() < 2 + qint64(length))
            return;
        socket->skip(2);
        const QByteArray message = socket->read(length);
        Client &client = m_clients[socket];
        client.lastMessageMs = m_clock.elapsed();
        ++client.unanswered;
        if (auto *idle = socket->findChild<QTimer *>(QStringLiteral("idle"), Qt::FindDirectChildrenOnly))
            idle->start(m_limits.idleMs);
        const QHostAddress address = client.address;
        m_message(socket, message, address);
    }
}

void DnsStreamClients::answer(QTcpSocket *socket, const QByteArray &answer, bool refused)
{
    const auto client = m_clients.find(socket);
    if (client == m_clients.end() || socket->state() != QAbstractSocket::ConnectedState)
        return;
    client->unanswered = qMax(0, client->unanswered - 1);
    char prefix[2];
    qToBigEndian<quint16>(quint16(answer.size()), prefix);
    socket->write(prefix, 2);
    socket->write(answer);
    if (refused) {
        forget(socket);
        socket->disconnectFromHost();
    }
}
