#pragma once

#include <QList>
#include <QString>

// Reads the kernel's process table under /proc.
namespace ProcessTable {
// The program a process runs, resolved; empty when it is gone or not ours to read.
QString executableOf(qint64 pid);
// Processes of the current user, our own process left out.
QList<qint64> userProcesses();
// A process of the current user that is not us, still running exactly this program.
bool runsProgram(qint64 pid, const QString &executable);
} // namespace ProcessTable
