#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the desktop and the kernel record about a running process that names its application:
// the systemd unit of its cgroup, a Flatpak instance, and the program file itself.
namespace AppIdentity {

// The desktop-file ids a unit name may stand for, the likeliest first, or none when the unit
// is no application's: `app-[<launcher>-]<id>[@<random>].service`,
// `app-[<launcher>-]<id>-<random>.scope`, `app-flatpak-<id>-<n>.scope`,
// `snap.<snap>.<app>-<uuid>.scope` (exported as `<snap>_<app>`).
QStringList desktopIdsOfUnit(const QString &unit);

// The process's cgroup path in the unified hierarchy (the named systemd one without it), or
// empty when it is gone.
QString cgroupOf(qint64 pid);
// The last component of a cgroup path: the unit a process runs in.
QString unitOfCgroup(const QString &cgroup);

// The application id of a Flatpak instance (its /.flatpak-info), or empty.
QString flatpakAppOf(qint64 pid);

// What tells a program file apart from any other, wherever it was copied and however it is
// named: its ELF build-id, else its size and a hash of its first megabyte. Empty when the
// file cannot be read.
QByteArray fileFingerprint(const QString &path);
// The ELF build-id of the file as hex, or empty.
QByteArray elfBuildId(const QString &path);

// True when the file starts with "#!": a script run by an interpreter.
bool isScript(const QString &path);

} // namespace AppIdentity
