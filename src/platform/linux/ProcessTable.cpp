#include "ProcessTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProcessTable {

bool ownedByUs(qint64 pid)
{
    struct stat info{};
    const QByteArray path = "/proc/" + QByteArray::number(pid);
    return ::stat(path.constData(), &info) == 0 && info.st_uid == ::getuid();
}

QString executableOf(qint64 pid)
{
    QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    // A program replaced on disk while running is reported with this suffix.
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    return target;
}

QStringList argumentsOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray all = file.read(64 * 1024);
    if (all.endsWith('\0'))
        all.chop(1);
    QStringList arguments;
    if (all.isEmpty())
        return arguments;
    const QList<QByteArray> parts = all.split('\0');
    for (const QByteArray &part : parts)
        arguments.append(QString::fromUtf8(part));
    return arguments;
}

qint64 parentOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.read(1024);
    // The program name in parentheses may hold spaces and parentheses: read after the last one.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

QList<qint64> allProcesses()
{
    QList<qint64> pids;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return pids;
    pids.reserve(1024);
    while (const dirent *entry = ::readdir(proc)) {
        const char *name = entry->d_name;
        if (*name < '1' || *name > '9')
            continue;
        qint64 pid = 0;
        for (; *name >= '0' && *name <= '9'; ++name)
            pid = pid * 10 + (*name - '0');
        if (*name == '\0')
            pids.append(pid);
    }
    ::closedir(proc);
    return pids;
}

QList<qint64> userProcesses()
{
    QList<qint64> pids;
    const qint64 self = QCoreApplication::applicationPid();
    for (qint64 pid : allProcesses()) {
        if (pid != self && ownedByUs(pid))
            pids.append(pid);
    }
    return pids;
}

bool runsProgram(qint64 pid, const QString &executable)
{
    return pid > 0 && pid != QCoreApplication::applicationPid() && !executable.isEmpty() && ownedByUs(pid)
        && executableOf(pid) == executable;
}

QList<qint64> processesOfCgroup(const QString &folder)
{
    QList<qint64> pids;
    QFile procs(folder + QStringLiteral("/cgroup.procs"));
    if (procs.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = procs.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (const qint64 pid = line.toLongLong(); pid > 0)
                pids.append(pid);
        }
    }
    const QStringList children = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &child : children)
        pids += processesOfCgroup(folder + QLatin1Char('/') + child);
    return pids;
}

} // namespace ProcessTable
