#pragma once

#include "platform/Workspace.h"

// The Mac's applications folder and AppleScript, driven through their command-line tools
// without a shell: an application's name is always one argument of its own, never part of
// a command line or of the script text. Activations need the Cocoa workspace and are not
// reported here yet.
class MacWorkspace : public Workspace
{
    Q_OBJECT
public:
    explicit MacWorkspace(QString applicationsFolder = QStringLiteral("/Applications"), QObject *parent = nullptr);

    // Entries of the folder ending in ".app", ours left out, each that AppleScript can name.
    QList<InstalledApp> installedApplications() override;
    // tell application NAME / quit / end tell
    QuitOutcome quitApplication(const QString &appID) override;

    // The script lines osascript runs for each purpose; the name arrives as item 1 of argv.
    static QStringList idScript();
    static QStringList quitScript();

private:
    QString m_folder;
};
