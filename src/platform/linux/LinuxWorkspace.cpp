#include "LinuxWorkspace.h"

#include "DesktopCatalogue.h"
#include "ProcessTable.h"
#include "X11Desktop.h"
#include "core/Log.h"

#include <QFileInfo>
#include <csignal>

LinuxWorkspace::LinuxWorkspace(QString ownId, QObject *parent)
    : Workspace(parent)
    , m_ownId(std::move(ownId))
    , m_x11(X11Desktop::open())
{
    // In a Wayland session the X server only sees the X applications: it still closes their
    // windows politely, but the processes tell which application started.
    m_x11Activations = m_x11 && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (m_x11Activations) {
        connect(m_x11.get(), &X11Desktop::activeWindowChanged, this, &LinuxWorkspace::windowActivated);
        return;
    }
    // Processes running before we started count as new too: a blocked application left open
    // when the session began is stopped like one started later.
    m_processTimer.setInterval(1000);
    connect(&m_processTimer, &QTimer::timeout, this, &LinuxWorkspace::scanProcesses);
    m_processTimer.start();
    QTimer::singleShot(0, this, &LinuxWorkspace::scanProcesses);
}

LinuxWorkspace::~LinuxWorkspace() = default;

QString LinuxWorkspace::activationSource() const
{
    return m_x11Activations ? QStringLiteral("x11") : QStringLiteral("processes");
}

QList<InstalledApp> LinuxWorkspace::installedApplications()
{
    m_apps = readDesktopEntries(m_ownId);
    m_loaded = true;
    return m_apps;
}

const QList<InstalledApp> &LinuxWorkspace::apps()
{
    if (!m_loaded)
        installedApplications();
    return m_apps;
}

QString LinuxWorkspace::program(const InstalledApp &app)
{
    if (app.executable.isEmpty())
        return {};
    auto found = m_programs.constFind(app.executable);
    if (found == m_programs.constEnd()) {
        const QString canonical = QFileInfo(app.executable).canonicalFilePath();
        found = m_programs.insert(app.executable, canonical.isEmpty() ? app.executable : canonical);
    }
    return *found;
}

const InstalledApp *LinuxWorkspace::appOfWindow(const X11Window &window)
{
    const QList<InstalledApp> &all = apps();
    // The most precise identification first: GTK names its application, then the window
    // class the entry declares or its own file name, then the program behind the window.
    for (const InstalledApp &app : all) {
        if (!window.gtkApplicationId.isEmpty() && window.gtkApplicationId == app.id)
            return &app;
    }
    for (const InstalledApp &app : all) {
        if (!app.windowClass.isEmpty() && (window.className == app.windowClass || window.instanceName == app.windowClass))
            return &app;
    }
    for (const InstalledApp &app : all) {
        if (app.windowClass.isEmpty()
            && (window.className.compare(app.id, Qt::CaseInsensitive) == 0
                || window.instanceName.compare(app.id, Qt::CaseInsensitive) == 0))
            return &app;
    }
    const QString running = window.pid > 0 ? ProcessTable::executableOf(window.pid) : QString();
    for (const InstalledApp &app : all) {
        if (!running.isEmpty() && !app.launcher && running == program(app))
            return &app;
    }
    return nullptr;
}

void LinuxWorkspace::windowActivated(const X11Window &window)
{
    if (const InstalledApp *app = appOfWindow(window))
        emit applicationActivated(app->id, app->name, window.pid);
}

void LinuxWorkspace::scanProcesses()
{
    QSet<qint64> current;
    QSet<QString> started;
    const QList<qint64> pids = ProcessTable::userProcesses();
    for (qint64 pid : pids) {
        current.insert(pid);
        if (m_knownProcesses.contains(pid))
            continue;
        const QString running = ProcessTable::executableOf(pid);
        for (const InstalledApp &app : apps()) {
            // One activation per application and scan, however many processes it started.
            if (!app.launcher && running == program(app) && !started.contains(app.id)) {
                started.insert(app.id);
                emit applicationActivated(app.id, app.name, pid);
            }
        }
    }
    m_knownProcesses = current;
}

void LinuxWorkspace::quitApplication(const QString &appID)
{
    const QList<InstalledApp> all = apps();
    for (const InstalledApp &app : all) {
        if (app.id != appID)
            continue;
        int closed = 0;
        if (m_x11) {
            const QList<X11Window> windows = m_x11->clientWindows();
            for (const X11Window &window : windows) {
                const InstalledApp *owner = appOfWindow(window);
                if (owner && owner->id == app.id) {
                    m_x11->requestClose(window.id);
                    ++closed;
                }
            }
        }
        Log::line(QStringLiteral("Quit %1: close requested for %2 window(s)").arg(app.name).arg(closed));
        // A launcher's processes belong to whatever it started, maybe not this application.
        if (app.launcher || app.executable.isEmpty())
            continue;
        const QString executable = program(app);
        QList<qint64> pids;
        for (qint64 pid : ProcessTable::userProcesses()) {
            if (ProcessTable::runsProgram(pid, executable))
                pids.append(pid);
        }
        if (pids.isEmpty())
            continue;
        if (closed == 0)
            terminate(pids, executable);
        else
            QTimer::singleShot(terminateDelayMs, this, [this, pids, executable] { terminate(pids, executable); });
    }
}

void LinuxWorkspace::terminate(const QList<qint64> &pids, const QString &executable)
{
    for (qint64 pid : pids) {
        // The number may belong to another program by now; look again just before.
        if (ProcessTable::runsProgram(pid, executable)) {
            Log::line(QStringLiteral("Quit: SIGTERM to process %1").arg(pid));
            ::kill(pid_t(pid), SIGTERM);
        }
    }
}
