#include "ProcessTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace ProcessTable {

namespace {
bool ownedByUs(qint64 pid)
{
    struct stat info{};
    const QByteArray path = "/proc/" + QByteArray::number(pid);
    return ::stat(path.constData(), &info) == 0 && info.st_uid == ::getuid();
}
} // namespace

QString executableOf(qint64 pid)
{
    QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    // A program replaced on disk while running is reported with this suffix.
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    return target;
}

QList<qint64> userProcesses()
{
    QList<qint64> pids;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && pid != self && ownedByUs(pid))
            pids.append(pid);
    }
    return pids;
}

bool runsProgram(qint64 pid, const QString &executable)
{
    return pid > 0 && pid != QCoreApplication::applicationPid() && !executable.isEmpty() && ownedByUs(pid)
        && executableOf(pid) == executable;
}

} // namespace ProcessTable
