#pragma once

#include "platform/Workspace.h"

#include <QHash>
#include <QSet>
#include <QTimer>

class X11Desktop;
struct X11Window;

// Installed applications from the desktop entries; the active application from the X window
// manager, or, where there is none (Wayland, a bare X server), newly started processes seen
// under /proc once a second; quitting by closing the windows, then SIGTERM.
class LinuxWorkspace : public Workspace
{
    Q_OBJECT
public:
    // How long an application has to close its windows before its processes get SIGTERM.
    static constexpr int terminateDelayMs = 3000;

    explicit LinuxWorkspace(QString ownId, QObject *parent = nullptr);
    ~LinuxWorkspace() override;

    QList<InstalledApp> installedApplications() override;
    void quitApplication(const QString &appID) override;

    // Which source reports activations: "x11" or "processes".
    QString activationSource() const;

private:
    const QList<InstalledApp> &apps();
    const InstalledApp *appOfWindow(const X11Window &window);
    void windowActivated(const X11Window &window);
    void scanProcesses();
    void terminate(const QList<qint64> &pids, const QString &executable);
    // The program as /proc shows it running: symbolic links resolved, remembered per path.
    QString program(const InstalledApp &app);

    QString m_ownId;
    QList<InstalledApp> m_apps;
    bool m_loaded = false;
    std::unique_ptr<X11Desktop> m_x11;
    bool m_x11Activations = false;
    QTimer m_processTimer;
    QSet<qint64> m_knownProcesses;
    QHash<QString, QString> m_programs;
};
