#pragma once

#include <QString>
#include <QStringList>

// Removes the installed application from the computer. The files are fixed when the app is
// built, never taken from input; a copy not running from its installed place (the build
// tree, say) refuses, so a developer's checkout is never deleted.
class InstalledApplication
{
public:
    InstalledApplication(QStringList installedPaths, QString installedExecutable, QString runningExecutable);
    // What this build installs, checked against the running executable.
    static InstalledApplication current();

    // Whether this copy runs from the place this build installs to, so it has files to remove.
    bool isInstalledCopy() const;
    // Runs the removal; returns what it printed, empty when everything went.
    QString remove() const;
    QString removalCommand() const;

private:
    QStringList m_paths;
    QString m_installedExecutable;
    QString m_runningExecutable;
};
