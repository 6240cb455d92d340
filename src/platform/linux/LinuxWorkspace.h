#pragma once

#include "platform/Workspace.h"

#include <QHash>
#include <QSet>
#include <QTimer>

class AppSliceWatcher;
class DesktopCatalogueWatcher;
class X11Desktop;
struct X11Window;

// Installed applications from the desktop entries, followed as they change. Which
// application a process belongs to, by what the desktop records: the unit of its cgroup, a
// Flatpak instance, a Snap scope, then its program (a script's path among the interpreter's
// arguments, a copy's file identity). Starts are seen as new units under the application
// slice and as the X window manager's active window; newly started processes under /proc,
// once a second, only where neither exists. Activations are identified only while watching. Quitting closes the windows at once and ends the
// application's own processes after the grace.
class LinuxWorkspace : public Workspace
{
    Q_OBJECT
public:
    explicit LinuxWorkspace(QString ownId, QObject *parent = nullptr);
    ~LinuxWorkspace() override;

    QList<InstalledApp> installedApplications() override;
    QuitOutcome quitApplication(const QString &appID) override;
    bool seesApplications() const override;
    void setWatching(bool on) override;

    // Which sources report activations: "units", "x11", both joined by "+", or "processes".
    QString activationSource() const;
    // Milliseconds between the close request and SIGTERM.
    void setGraceMs(int ms) { m_graceMs = ms; }
    int graceMs() const { return m_graceMs; }

    // The installed application a process belongs to, or null.
    const InstalledApp *appOfProcess(qint64 pid);
    // One pass of the /proc watcher: new processes of ours reported as activations.
    void scanProcesses();

private:
    struct Instance
    {
        QList<qint64> pids;
        QStringList units; // cgroup folders of the units the processes run in
    };
    const QList<InstalledApp> &apps();
    const InstalledApp *appWithId(const QString &id);
    const InstalledApp *appOfUnit(const QString &unit);
    const InstalledApp *appOfProgram(const QString &executable, const QStringList &arguments);
    const InstalledApp *appOfWindow(const X11Window &window);
    void windowActivated(const X11Window &window);
    void unitStarted(const QString &folder, qint64 pid);
    // The application's processes now: every process identified as it, with the children
    // that stayed in their parent's cgroup; never ours nor one of our ancestors.
    Instance processesOf(const QString &appID);
    void terminate(const QString &appID);
    void followUnits(const QString &appID, const QStringList &units, const QSet<qint64> &ended, int rounds);
    // The program as /proc shows it running: symbolic links resolved, remembered per path.
    QString program(const InstalledApp &app);
    QByteArray fingerprintOfRunning(qint64 pid, const QString &executable);
    QByteArray fingerprintOfProgram(const QString &program);

    QString m_ownId;
    QList<InstalledApp> m_apps;
    bool m_loaded = false;
    std::unique_ptr<X11Desktop> m_x11;
    std::unique_ptr<AppSliceWatcher> m_slice;
    DesktopCatalogueWatcher *m_catalogueWatcher = nullptr;
    bool m_x11Activations = false;
    bool m_watching = false;
    QTimer m_processTimer;
    QSet<qint64> m_knownProcesses;
    QHash<QString, QString> m_programs;
    QHash<QString, QByteArray> m_fingerprints; // by path with the file's inode and time
    QHash<QByteArray, QString> m_idsByFingerprint;
    bool m_fingerprintsRead = false;
    QSet<QString> m_ending;                    // applications waiting for their SIGTERM
    int m_graceMs = graceSeconds * 1000;
};
