#include "LinuxWorkspace.h"

#include "AppIdentity.h"
#include "AppSliceWatcher.h"
#include "DesktopCatalogue.h"
#include "ProcessTable.h"
#include "X11Desktop.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <csignal>
#include <sys/stat.h>

LinuxWorkspace::LinuxWorkspace(QString ownId, QObject *parent)
    : Workspace(parent)
    , m_ownId(std::move(ownId))
{
    addPackagedApplicationFolders();
    m_x11 = X11Desktop::open();
    // In a Wayland session the X server only sees the X applications: it still closes their
    // windows politely, but the units (or the processes) tell which application started.
    m_x11Activations = m_x11 && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (m_x11Activations)
        connect(m_x11.get(), &X11Desktop::activeWindowChanged, this, &LinuxWorkspace::windowActivated);
    m_slice = AppSliceWatcher::open(QDBusConnection::sessionBus());
    if (m_slice) {
        connect(m_slice.get(), &AppSliceWatcher::unitStarted, this, &LinuxWorkspace::unitStarted);
        // Units running before we started count as started: a blocked application left open
        // when the session began is stopped like one started later. Reported once whoever
        // made us has connected.
        QTimer::singleShot(0, m_slice.get(), [this] { m_slice->start(); });
    } else if (!m_x11Activations) {
        m_processTimer.setInterval(1000);
        connect(&m_processTimer, &QTimer::timeout, this, &LinuxWorkspace::scanProcesses);
    }
}

void LinuxWorkspace::setWatching(bool on)
{
    if (on == m_watching)
        return;
    m_watching = on;
    if (m_slice || m_x11Activations)
        return;
    // The /proc scan is the one source that costs wake-ups: it runs only while watching, and
    // its first pass after a pause takes every running process for a new one.
    if (on) {
        m_knownProcesses.clear();
        m_processTimer.start();
        QTimer::singleShot(0, this, [this] {
            if (m_watching)
                scanProcesses();
        });
    } else {
        m_processTimer.stop();
    }
}

LinuxWorkspace::~LinuxWorkspace() = default;

QString LinuxWorkspace::activationSource() const
{
    QStringList sources;
    if (m_slice)
        sources << QStringLiteral("units");
    if (m_x11Activations)
        sources << QStringLiteral("x11");
    return sources.isEmpty() ? QStringLiteral("processes") : sources.join(QLatin1Char('+'));
}

bool LinuxWorkspace::seesApplications() const
{
    return m_slice || m_x11;
}

QList<InstalledApp> LinuxWorkspace::installedApplications()
{
    if (!m_catalogueWatcher) {
        // Followed from the first read on: before it there is nothing to be out of date.
        m_catalogueWatcher = new DesktopCatalogueWatcher(this);
        connect(m_catalogueWatcher, &DesktopCatalogueWatcher::changed, this, [this] {
            m_loaded = false;
            m_programs.clear();
            emit applicationsChanged();
        });
    }
    m_apps = readDesktopEntries(m_ownId);
    m_loaded = true;
    m_fingerprintsRead = false;
    return m_apps;
}

const QList<InstalledApp> &LinuxWorkspace::apps()
{
    if (!m_loaded)
        installedApplications();
    return m_apps;
}

const InstalledApp *LinuxWorkspace::appWithId(const QString &id)
{
    for (const InstalledApp &app : apps()) {
        if (app.id == id)
            return &app;
    }
    return nullptr;
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

const InstalledApp *LinuxWorkspace::appOfUnit(const QString &unit)
{
    const QStringList ids = AppIdentity::desktopIdsOfUnit(unit);
    for (const QString &id : ids) {
        if (const InstalledApp *app = appWithId(id))
            return app;
    }
    return nullptr;
}

const InstalledApp *LinuxWorkspace::appOfProgram(const QString &executable, const QStringList &arguments)
{
    if (executable.isEmpty())
        return nullptr;
    // Entries sharing one program (a browser and its web apps) differ by their arguments: the
    // entry whose own arguments the process got, the most of them, else the first.
    const InstalledApp *first = nullptr;
    const InstalledApp *best = nullptr;
    for (const InstalledApp &app : apps()) {
        if (app.launcher || program(app) != executable)
            continue;
        if (!first)
            first = &app;
        const bool given = std::all_of(app.arguments.cbegin(), app.arguments.cend(),
                                       [&](const QString &argument) { return arguments.contains(argument); });
        if (given && (!best || app.arguments.size() > best->arguments.size()))
            best = &app;
    }
    if (best || first)
        return best ? best : first;
    // A script: the interpreter runs, with the script's path as its first operand.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(QLatin1Char('-')))
            continue;
        const QString script = QFileInfo(arguments.at(i)).canonicalFilePath();
        for (const InstalledApp &app : apps()) {
            if (!script.isEmpty() && !app.launcher && program(app) == script && AppIdentity::isScript(script))
                return &app;
        }
        break;
    }
    return nullptr;
}

QByteArray LinuxWorkspace::fingerprintOfProgram(const QString &path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    // Read once per file: a new file at the same path (an update) is read again.
    const QString key = QStringLiteral("%1:%2:%3:%4").arg(path).arg(info.st_dev).arg(info.st_ino).arg(info.st_mtime);
    auto found = m_fingerprints.constFind(key);
    if (found == m_fingerprints.constEnd())
        found = m_fingerprints.insert(key, AppIdentity::fileFingerprint(path));
    return *found;
}

QByteArray LinuxWorkspace::fingerprintOfRunning(qint64 pid, const QString &executable)
{
    struct stat info{};
    const QByteArray exe = "/proc/" + QByteArray::number(pid) + "/exe";
    if (::stat(exe.constData(), &info) != 0)
        return {};
    const QString key = QStringLiteral("%1:%2:%3:%4").arg(executable).arg(info.st_dev).arg(info.st_ino).arg(info.st_mtime);
    auto found = m_fingerprints.constFind(key);
    if (found == m_fingerprints.constEnd())
        found = m_fingerprints.insert(key, AppIdentity::fileFingerprint(QString::fromLatin1(exe)));
    return *found;
}

const InstalledApp *LinuxWorkspace::appOfProcess(qint64 pid)
{
    if (const InstalledApp *app = appOfUnit(AppIdentity::unitOfCgroup(AppIdentity::cgroupOf(pid))))
        return app;
    if (const QString flatpak = AppIdentity::flatpakAppOf(pid); !flatpak.isEmpty()) {
        // A Flatpak instance is its application, whatever runs inside it.
        return appWithId(flatpak);
    }
    // Every program has at least its name among its arguments; none means the process is
    // between fork and exec (or gone), and its program says nothing yet.
    const QStringList arguments = ProcessTable::argumentsOf(pid);
    if (arguments.isEmpty())
        return nullptr;
    const QString executable = ProcessTable::executableOf(pid);
    if (const InstalledApp *app = appOfProgram(executable, arguments))
        return app;
    // A copy under another path or name is still the same file.
    const QByteArray running = executable.isEmpty() ? QByteArray() : fingerprintOfRunning(pid, executable);
    if (running.isEmpty())
        return nullptr;
    if (!m_fingerprintsRead) {
        // The entries' programs are read once per catalogue, not once per process.
        m_idsByFingerprint.clear();
        for (const InstalledApp &app : apps()) {
            if (app.launcher || app.executable.isEmpty())
                continue;
            const QByteArray fingerprint = fingerprintOfProgram(program(app));
            if (!fingerprint.isEmpty() && !m_idsByFingerprint.contains(fingerprint))
                m_idsByFingerprint.insert(fingerprint, app.id);
        }
        m_fingerprintsRead = true;
    }
    const auto found = m_idsByFingerprint.constFind(running);
    return found == m_idsByFingerprint.constEnd() ? nullptr : appWithId(*found);
}

const InstalledApp *LinuxWorkspace::appOfWindow(const X11Window &window)
{
    const QList<InstalledApp> &all = apps();
    // The most precise identification first: GTK names its application, then what the
    // desktop recorded for the window's process, then the window class.
    for (const InstalledApp &app : all) {
        if (!window.gtkApplicationId.isEmpty() && window.gtkApplicationId == app.id)
            return &app;
    }
    if (window.pid > 0 && ProcessTable::ownedByUs(window.pid)) {
        if (const InstalledApp *app = appOfProcess(window.pid))
            return app;
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
    return nullptr;
}

void LinuxWorkspace::windowActivated(const X11Window &window)
{
    if (!m_watching || window.pid == QCoreApplication::applicationPid())
        return;
    if (const InstalledApp *app = appOfWindow(window))
        emit applicationActivated(app->id, app->name, window.pid);
}

void LinuxWorkspace::unitStarted(const QString &folder, qint64 pid)
{
    if (!m_watching)
        return;
    const InstalledApp *app = appOfUnit(AppIdentity::unitOfCgroup(folder));
    if (!app && ProcessTable::ownedByUs(pid))
        app = appOfProcess(pid);
    if (app)
        emit applicationActivated(app->id, app->name, pid);
}

void LinuxWorkspace::scanProcesses()
{
    // Only processes not seen before cost more than a lookup: a scan of an unchanged table
    // reads the /proc folder and nothing else.
    const QList<qint64> pids = ProcessTable::allProcesses();
    QSet<qint64> current;
    current.reserve(pids.size());
    QSet<QString> started;
    const qint64 self = QCoreApplication::applicationPid();
    for (qint64 pid : pids) {
        current.insert(pid);
        if (m_knownProcesses.contains(pid) || pid == self || !ProcessTable::ownedByUs(pid))
            continue;
        // Still starting: looked at again at the next scan.
        if (ProcessTable::argumentsOf(pid).isEmpty()) {
            current.remove(pid);
            continue;
        }
        const InstalledApp *app = appOfProcess(pid);
        // One activation per application and scan, however many processes it started.
        if (app && !started.contains(app->id)) {
            started.insert(app->id);
            emit applicationActivated(app->id, app->name, pid);
        }
    }
    m_knownProcesses = std::move(current);
}

LinuxWorkspace::Instance LinuxWorkspace::processesOf(const QString &appID)
{
    Instance found;
    QSet<qint64> ours;
    for (qint64 pid = QCoreApplication::applicationPid(); pid > 1 && !ours.contains(pid); pid = ProcessTable::parentOf(pid))
        ours.insert(pid);
    QHash<qint64, qint64> parents;
    QHash<qint64, QString> cgroups;
    QSet<qint64> members;
    const QList<qint64> all = ProcessTable::userProcesses();
    for (qint64 pid : all) {
        if (ours.contains(pid))
            continue;
        const QString cgroup = AppIdentity::cgroupOf(pid);
        parents.insert(pid, ProcessTable::parentOf(pid));
        cgroups.insert(pid, cgroup);
        if (const InstalledApp *app = appOfUnit(AppIdentity::unitOfCgroup(cgroup)); app && app->id == appID) {
            members.insert(pid);
            if (m_slice && !found.units.contains(m_slice->folderOf(cgroup)))
                found.units.append(m_slice->folderOf(cgroup));
        } else if (!app) {
            const InstalledApp *byProcess = appOfProcess(pid);
            if (byProcess && byProcess->id == appID)
                members.insert(pid);
        }
    }
    // Children of a member that stayed in its cgroup are its own; one that moved to a unit of
    // its own (another application started through it) is not.
    QSet<qint64> children;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        if (members.contains(it.key()))
            continue;
        for (qint64 up = it.value(), hops = 0; up > 1 && parents.contains(up) && hops < 64; up = parents.value(up), ++hops) {
            if (members.contains(up)) {
                if (cgroups.value(up) == cgroups.value(it.key()))
                    children.insert(it.key());
                break;
            }
        }
    }
    members.unite(children);
    found.pids = QList<qint64>(members.cbegin(), members.cend());
    std::sort(found.pids.begin(), found.pids.end());
    return found;
}

QuitOutcome LinuxWorkspace::quitApplication(const QString &appID)
{
    QuitOutcome outcome;
    const InstalledApp *app = appWithId(appID);
    if (!app)
        return outcome;
    const QString name = app->name;
    const Instance running = processesOf(appID);
    const QSet<qint64> pids(running.pids.cbegin(), running.pids.cend());
    if (m_x11) {
        const QList<X11Window> windows = m_x11->clientWindows();
        for (const X11Window &window : windows) {
            bool own = pids.contains(window.pid);
            if (!own && window.pid <= 0) {
                const InstalledApp *owner = appOfWindow(window);
                own = owner && owner->id == appID;
            }
            if (own) {
                m_x11->requestClose(window.id);
                ++outcome.windowsAsked;
            }
        }
    }
    outcome.processes = int(running.pids.size());
    Log::line(QStringLiteral("Quit %1: close requested for %2 window(s), %3 process(es) end in %4 s")
                  .arg(name)
                  .arg(outcome.windowsAsked)
                  .arg(outcome.processes)
                  .arg(m_graceMs / 1000));
    // One ending per application at a time: a block repeated meanwhile keeps the first grace.
    if (!running.pids.isEmpty() && !m_ending.contains(appID)) {
        m_ending.insert(appID);
        // Precise: a coarse timer may fire up to 5 % early, and the grace is a promise.
        QTimer::singleShot(m_graceMs, Qt::PreciseTimer, this, [this, appID] { terminate(appID); });
    }
    return outcome;
}

void LinuxWorkspace::terminate(const QString &appID)
{
    m_ending.remove(appID);
    // Looked up again: numbers may belong to other programs by now, and a copy started
    // meanwhile (a program restarting itself) is ended too.
    const Instance running = processesOf(appID);
    QSet<qint64> ended;
    for (qint64 pid : running.pids) {
        Log::line(QStringLiteral("Quit: SIGTERM to process %1").arg(pid));
        ::kill(pid_t(pid), SIGTERM);
        ended.insert(pid);
    }
    if (!running.units.isEmpty())
        followUnits(appID, running.units, ended, 20);
}

void LinuxWorkspace::followUnits(const QString &appID, const QStringList &units, const QSet<qint64> &ended, int rounds)
{
    // A program that starts itself again when ended stays in its unit: a process there that
    // was not ended is a new start, reported like the first.
    QTimer::singleShot(250, this, [this, appID, units, ended, rounds] {
        bool alive = false;
        for (const QString &unit : units) {
            const QList<qint64> pids = ProcessTable::processesOfCgroup(unit);
            alive = alive || !pids.isEmpty();
            for (qint64 pid : pids) {
                if (!ended.contains(pid)) {
                    if (const InstalledApp *app = appWithId(appID))
                        emit applicationActivated(app->id, app->name, pid);
                    return;
                }
            }
        }
        if (alive && rounds > 0)
            followUnits(appID, units, ended, rounds - 1);
    });
}
