#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reads the kernel's process table under /proc.
namespace ProcessTable {
// The program a process runs, resolved; empty when it is gone or not ours to read.
QString executableOf(qint64 pid);
// Its arguments, the program's own name first; empty when it is gone.
QStringList argumentsOf(qint64 pid);
// Its parent, or 0.
qint64 parentOf(qint64 pid);
// Every process number under /proc, read without a stat each: the cheap half of a scan.
QList<qint64> allProcesses();
// Whether the process belongs to the current user.
bool ownedByUs(qint64 pid);
// Processes of the current user, our own process left out.
QList<qint64> userProcesses();
// A process of the current user that is not us, still running exactly this program.
bool runsProgram(qint64 pid, const QString &executable);
// The process numbers listed in a cgroup folder's cgroup.procs and in its sub-folders'.
QList<qint64> processesOfCgroup(const QString &folder);
} // namespace ProcessTable
