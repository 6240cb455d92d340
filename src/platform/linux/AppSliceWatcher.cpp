#include "AppSliceWatcher.h"

#include "AppIdentity.h"
#include "ProcessTable.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

namespace {
// Where the cgroup hierarchy that systemd keeps is mounted: the unified one, else the named one.
QString cgroupMount()
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    QString named;
    const QList<QByteArray> lines = mounts.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype separator = line.indexOf(" - ");
        if (separator < 0)
            continue;
        const QList<QByteArray> fields = line.left(separator).split(' ');
        const QList<QByteArray> tail = line.mid(separator + 3).split(' ');
        if (fields.size() < 5 || tail.isEmpty())
            continue;
        // Only a mount of the hierarchy's root maps a cgroup path onto a folder by prefix.
        if (fields.at(3) != "/")
            continue;
        const QString point = QString::fromUtf8(fields.at(4));
        if (tail.at(0) == "cgroup2")
            return point;
        if (tail.at(0) == "cgroup" && tail.size() > 2 && tail.at(2).contains("name=systemd"))
            named = point;
    }
    return named;
}

// The slice as the user manager names it; asked only when our own cgroup does not tell.
QString sliceFromManager(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return {};
    const QString service = QStringLiteral("org.freedesktop.systemd1");
    QDBusMessage getUnit = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/systemd1"),
                                                          QStringLiteral("org.freedesktop.systemd1.Manager"),
                                                          QStringLiteral("GetUnit"));
    getUnit << QStringLiteral("app.slice");
    const QDBusMessage unit = bus.call(getUnit, QDBus::Block, 2000);
    if (unit.type() != QDBusMessage::ReplyMessage || unit.arguments().isEmpty())
        return {};
    const QString path = unit.arguments().constFirst().value<QDBusObjectPath>().path();
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.systemd1.Slice") << QStringLiteral("ControlGroup");
    const QDBusMessage value = bus.call(get, QDBus::Block, 2000);
    if (value.type() != QDBusMessage::ReplyMessage || value.arguments().isEmpty())
        return {};
    return value.arguments().constFirst().value<QDBusVariant>().variant().toString();
}

QString sliceOfSession(const QDBusConnection &bus)
{
    // Started inside the user manager's tree (its own unit, a session scope below it): the
    // slice is beside that unit, no question to ask.
    const QString own = AppIdentity::cgroupOf(QCoreApplication::applicationPid());
    const QString manager = QStringLiteral("/user@%1.service").arg(::getuid());
    const qsizetype at = own.indexOf(manager + QLatin1Char('/'));
    if (at >= 0)
        return own.left(at + manager.size()) + QStringLiteral("/app.slice");
    return sliceFromManager(bus);
}
} // namespace

std::unique_ptr<AppSliceWatcher> AppSliceWatcher::open(const QDBusConnection &bus)
{
    const QString mount = cgroupMount();
    if (mount.isEmpty())
        return nullptr;
    const QString slice = sliceOfSession(bus);
    if (slice.isEmpty() || !QFileInfo(mount + slice).isDir())
        return nullptr;
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<AppSliceWatcher>(new AppSliceWatcher(fd, mount, mount + slice));
}

AppSliceWatcher::AppSliceWatcher(int fd, QString mount, QString root)
    : m_fd(fd)
    , m_mount(std::move(mount))
    , m_root(std::move(root))
{
    if (m_mount.endsWith(QLatin1Char('/')))
        m_mount.chop(1);
}

AppSliceWatcher::~AppSliceWatcher()
{
    ::close(m_fd);
}

void AppSliceWatcher::start()
{
    if (m_notifier)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &AppSliceWatcher::readEvents);
    watchSlice(m_root);
}

void AppSliceWatcher::watchSlice(const QString &folder)
{
    const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_DELETE | IN_ONLYDIR);
    if (wd < 0)
        return;
    m_slices.insert(wd, folder);
    // Watched first, listed second: a unit made in between is seen twice, never missed.
    const QStringList children = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &child : children) {
        const QString path = folder + QLatin1Char('/') + child;
        if (child.endsWith(QLatin1String(".slice")))
            watchSlice(path);
        else
            consider(path);
    }
}

void AppSliceWatcher::consider(const QString &folder)
{
    if (m_reported.contains(folder))
        return;
    QList<qint64> pids = ProcessTable::processesOfCgroup(folder);
    if (pids.isEmpty()) {
        // Made before its first process moves in: the kernel tells when it becomes populated.
        if (std::find(m_waiting.cbegin(), m_waiting.cend(), folder) != m_waiting.cend())
            return;
        const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(folder + QStringLiteral("/cgroup.events")).constData(),
                                           IN_MODIFY);
        if (wd >= 0)
            m_waiting.insert(wd, folder);
        // It may have been populated while the watch was being added.
        pids = ProcessTable::processesOfCgroup(folder);
        if (pids.isEmpty())
            return;
    }
    m_reported.insert(folder);
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it.value() == folder) {
            ::inotify_rm_watch(m_fd, it.key());
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
    emit unitStarted(folder, *std::min_element(pids.cbegin(), pids.cend()));
}

void AppSliceWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    QList<std::pair<int, QString>> created;
    QList<int> modified;
    bool overflow = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                overflow = true;
                continue;
            }
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            if (event->mask & IN_IGNORED) {
                m_slices.remove(event->wd);
                m_waiting.remove(event->wd);
            } else if (m_slices.contains(event->wd) && (event->mask & IN_ISDIR)) {
                const QString path = m_slices.value(event->wd) + QLatin1Char('/') + name;
                if (event->mask & IN_CREATE)
                    created.append({event->wd, path});
                else if (event->mask & IN_DELETE)
                    m_reported.remove(path); // a unit of the same name later is a new start
            } else if (event->mask & IN_MODIFY) {
                modified.append(event->wd);
            }
        }
    }
    for (const auto &[wd, path] : std::as_const(created)) {
        if (path.endsWith(QLatin1String(".slice")))
            watchSlice(path);
        else
            consider(path);
    }
    for (int wd : std::as_const(modified)) {
        if (const QString folder = m_waiting.value(wd); !folder.isEmpty())
            consider(folder);
    }
    if (overflow) {
        // Events were lost: whatever runs and was not reported is reported now.
        const QList<QString> slices = m_slices.values();
        for (const QString &slice : slices) {
            const QStringList children = QDir(slice).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            for (const QString &child : children) {
                if (!child.endsWith(QLatin1String(".slice")))
                    consider(slice + QLatin1Char('/') + child);
            }
        }
    }
}
