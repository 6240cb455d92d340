// Devices, the blocked applications, and the change announcements between servers.
#include "SqlStorageQuery.h"

#include <QSqlDriver>
#include <QTimer>
#include <cstdio>

using namespace SqlRows;

// Devices

bool SqlStorage::recordDevice(qint64 userID, const QString &platformID, const QString &address, const QDateTime &at)
{
    Query q = query("INSERT INTO devices (user_id, platform_id, address, last_seen_at) VALUES (?, ?, ?, ?)"
                    " ON CONFLICT (user_id, platform_id)"
                    " DO UPDATE SET address = excluded.address, last_seen_at = excluded.last_seen_at");
    q.bind(userID).bind(platformID).bind(address).bind(ms(at)).exec();
    return q.affected() == 1;
}

namespace {
const char *const deviceColumns =
    "SELECT id, user_id, platform_id, address, last_seen_at, protected, dns_key_hash, dns_key_token FROM devices";

template <class Q> DeviceRow deviceFrom(Q &q)
{
    return {q.integer(0),       q.integer(1),           q.text(2),          q.text(3), timeOf(q.value(4)),
            q.integer(5) != 0, q.text(6).toLatin1(), q.integer(7)};
}
} // namespace

QList<DeviceRow> SqlStorage::devices(qint64 userID)
{
    static const QByteArray sql = withColumns(deviceColumns, " WHERE user_id = ? ORDER BY id");
    Query q = query(sql.constData());
    q.bind(userID).exec();
    QList<DeviceRow> rows;
    while (q.next())
        rows.append(deviceFrom(q));
    return rows;
}

QList<DeviceRow> SqlStorage::allDevices()
{
    static const QByteArray sql = withColumns(deviceColumns, " ORDER BY id");
    Query q = query(sql.constData());
    q.exec();
    QList<DeviceRow> rows;
    while (q.next())
        rows.append(deviceFrom(q));
    return rows;
}

std::optional<DeviceRow> SqlStorage::device(qint64 userID, const QString &platformID)
{
    static const QByteArray sql = withColumns(deviceColumns, " WHERE user_id = ? AND platform_id = ?");
    Query q = query(sql.constData());
    q.bind(userID).bind(platformID).exec();
    if (!q.next())
        return std::nullopt;
    return deviceFrom(q);
}

bool SqlStorage::setDeviceProtected(qint64 userID, const QString &platformID, bool on)
{
    Query q = query("UPDATE devices SET protected = ? WHERE user_id = ? AND platform_id = ?");
    q.bind(on ? 1 : 0).bind(userID).bind(platformID).exec();
    return q.affected() == 1;
}

std::optional<DeviceRow> SqlStorage::latestDevice(const QString &platformID)
{
    static const QByteArray sql =
        withColumns(deviceColumns, " WHERE platform_id = ? ORDER BY last_seen_at DESC, id DESC LIMIT 1");
    Query q = query(sql.constData());
    q.bind(platformID).exec();
    if (!q.next())
        return std::nullopt;
    return deviceFrom(q);
}

bool SqlStorage::setDeviceKey(qint64 userID, const QString &platformID, const QByteArray &keyHash, qint64 tokenID)
{
    Query q = query("UPDATE devices SET dns_key_hash = ?, dns_key_token = ? WHERE user_id = ? AND platform_id = ?");
    q.bind(QString::fromLatin1(keyHash)).bind(tokenID).bind(userID).bind(platformID).exec();
    return q.affected() == 1;
}

QList<DeviceKeyRow> SqlStorage::liveDeviceKeys(const QDateTime &now)
{
    Query q = query("SELECT d.dns_key_hash, d.user_id FROM devices d JOIN tokens t ON t.id = d.dns_key_token"
                    " WHERE d.dns_key_hash IS NOT NULL AND t.revoked_at IS NULL AND t.expires_at > ?");
    q.bind(ms(now)).exec();
    QList<DeviceKeyRow> rows;
    while (q.next())
        rows.append({q.text(0).toLatin1(), q.integer(1)});
    return rows;
}

QList<qint64> SqlStorage::usersSeenAt(const QString &address, const QDateTime &since)
{
    Query q = query("SELECT DISTINCT user_id FROM devices WHERE address = ? AND last_seen_at >= ? ORDER BY user_id");
    q.bind(address).bind(ms(since)).exec();
    QList<qint64> users;
    while (q.next())
        users.append(q.integer(0));
    return users;
}

// Blocked applications

QList<BlockedAppRow> SqlStorage::blockedApps(qint64 userID)
{
    Query q = query("SELECT id, app_id, name, created_at FROM blocked_apps WHERE user_id = ? ORDER BY id");
    q.bind(userID).exec();
    QList<BlockedAppRow> rows;
    while (q.next())
        rows.append({q.integer(0), q.text(1), q.text(2), timeOf(q.value(3))});
    return rows;
}

bool SqlStorage::addBlockedApp(qint64 userID, const QString &appID, const QString &name, const QDateTime &at)
{
    Query q = query("INSERT INTO blocked_apps (user_id, app_id, name, created_at) VALUES (?, ?, ?, ?)"
                    " ON CONFLICT (user_id, app_id) DO NOTHING");
    q.bind(userID).bind(appID).bind(name).bind(ms(at)).exec();
    return q.affected() == 1;
}

bool SqlStorage::removeBlockedApp(qint64 userID, const QString &appID)
{
    Query q = query("DELETE FROM blocked_apps WHERE user_id = ? AND app_id = ?");
    q.bind(userID).bind(appID).exec();
    return q.affected() == 1;
}

// Change announcements

namespace {
const QString changeChannel = QStringLiteral("nimbrel_lists");
}

void SqlStorage::announceChange(qint64 userID)
{
    if (m_kind != DatabaseSettings::Kind::postgresql)
        return;
    Query q = query("SELECT pg_notify(?, ?)");
    q.bind(changeChannel).bind(QString::number(userID)).exec();
}

bool SqlStorage::watchChanges(QObject *context, const std::function<void(qint64 userID)> &changed,
                              const std::function<void()> &missed)
{
    if (m_kind != DatabaseSettings::Kind::postgresql)
        return false;
    QSqlDriver *driver = m_db.driver();
    if (!driver || !driver->subscribeToNotification(changeChannel))
        return false;
    // The driver object stays across reconnections; only the subscription is renewed.
    QObject::connect(driver, &QSqlDriver::notification, context,
                     [changed](const QString &name, QSqlDriver::NotificationSource source, const QVariant &payload) {
                         // Our own announcements were applied when they were made.
                         if (name != changeChannel || source == QSqlDriver::SelfSource)
                             return;
                         bool ok = false;
                         const qint64 userID = payload.toString().toLongLong(&ok);
                         if (ok)
                             changed(userID);
                     });
    m_watchContext = context;
    m_missed = missed;
    // Nothing else may use this connection for a while: a restart is noticed here, and the
    // notifications resume within a beat.
    auto *heartbeat = new QTimer(context);
    QObject::connect(heartbeat, &QTimer::timeout, context, [this] {
        try {
            Query q = query("SELECT 1");
            q.exec();
        } catch (const StorageError &) {
            // Reported when the connection was lost; tried again at the next beat.
        }
    });
    heartbeat->start(heartbeatMs);
    return true;
}

void SqlStorage::renewWatch() const
{
    if (!m_watchContext)
        return;
    QSqlDriver *driver = m_db.driver();
    if (!driver || !driver->subscribeToNotification(changeChannel)) {
        std::fprintf(stdout, "storage: LISTEN could not be renewed\n");
        std::fflush(stdout);
        return;
    }
    if (m_missed)
        QMetaObject::invokeMethod(m_watchContext, m_missed, Qt::QueuedConnection);
}
