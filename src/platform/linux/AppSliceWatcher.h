#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>

class QDBusConnection;
class QSocketNotifier;

// Sees applications start without polling: the desktop starts each one in a unit of its own
// under the user manager's app.slice, and each unit is a folder of the cgroup file system,
// watched with inotify (sub-slices too). Units running when the watch begins count as started.
class AppSliceWatcher : public QObject
{
    Q_OBJECT
public:
    // Null when the session offers no slice to watch: no cgroup file system, no systemd user
    // manager to name the slice, or no inotify.
    static std::unique_ptr<AppSliceWatcher> open(const QDBusConnection &bus);
    ~AppSliceWatcher() override;

    // The slice's folder on the cgroup file system.
    QString folder() const { return m_root; }
    // The folder of a cgroup path as /proc/PID/cgroup gives it.
    QString folderOf(const QString &cgroup) const { return m_mount + cgroup; }

    // Reports the units running now, then each new one.
    void start();

signals:
    // A unit has its first process; folder is its cgroup folder.
    void unitStarted(const QString &folder, qint64 pid);

private:
    AppSliceWatcher(int fd, QString mount, QString root);
    void watchSlice(const QString &folder);
    void consider(const QString &folder);
    void readEvents();

    int m_fd;
    QString m_mount;
    QString m_root;
    QSocketNotifier *m_notifier = nullptr;
    // Watch descriptors: a slice's folder, or a unit's cgroup.events while it waits for a process.
    QHash<int, QString> m_slices;
    QHash<int, QString> m_waiting;
    QSet<QString> m_reported;
};
