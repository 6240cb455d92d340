// Application blocker benchmark, run by hand: bench/apps/README.md.
//   bench_apps [ENTRIES] [ACTIVATIONS] [PROCESSES]
// 1. The catalogue of ENTRIES generated desktop entries through GIO, against starting one
//    trivial process per entry (what asking a tool about each application costs).
// 2. Under a private Xvfb with openbox: from an application becoming active to its close
//    request, through the blocker as the application runs it.
// 3. The /proc watcher's CPU per scan with PROCESSES more processes, against the scan before.
#include "platform/Workspace.h"
#include "platform/linux/LinuxWorkspace.h"
#include "platform/linux/ProcessTable.h"
#include "protection/ApplicationBlocker.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t childExits = 0;
void countChild(int) { childExits = childExits + 1; }

double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

QTextStream out(stdout);

void writeEntries(const QString &folder, int count)
{
    QDir().mkpath(folder + QStringLiteral("/applications"));
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/applications/bench-app-%1.desktop").arg(i));
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Bench Application %1\n"
                                      "Exec=%2 --class BenchApp%1 %U\nIcon=bench-app-%1\nStartupWMClass=BenchApp%1\n")
                           .arg(i)
                           .arg(QStringLiteral(BLOCKABLE_APP))
                           .toUtf8());
    }
    QFile blockable(folder + QStringLiteral("/applications/bench-blockable.desktop"));
    if (blockable.open(QIODevice::WriteOnly))
        blockable.write("[Desktop Entry]\nType=Application\nName=Bench Blockable\nExec=" BLOCKABLE_APP
                        "\nStartupWMClass=bench-blockable\n");
}

void catalogue(int entries)
{
    struct sigaction counting{}, previous{};
    counting.sa_handler = countChild;
    sigaction(SIGCHLD, &counting, &previous);
    QList<double> times;
    int listed = 0;
    for (int run = 0; run < 7; ++run) {
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        QElapsedTimer timer;
        timer.start();
        listed = int(workspace.installedApplications().size());
        times << timer.nsecsElapsed() / 1e6;
    }
    sigaction(SIGCHLD, &previous, nullptr);
    const int oursChildren = childExits;

    QElapsedTimer timer;
    timer.start();
    int started = 0;
    for (int i = 0; i < entries; ++i) {
        QProcess process;
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("true")});
        started += process.waitForFinished(-1) ? 1 : 0;
    }
    const double perProcess = timer.nsecsElapsed() / 1e6;

    out << "Catalogue of " << entries << " entries (" << listed << " listed)\n";
    out << QStringLiteral("  %1 %2 %3\n").arg(QStringLiteral("way"), -34).arg(QStringLiteral("ms"), 10).arg(QStringLiteral("child processes"), 16);
    out << QStringLiteral("  %1 %2 %3\n").arg(QStringLiteral("GIO desktop entries, first run"), -34).arg(times.first(), 10, 'f', 1).arg(oursChildren, 16);
    out << QStringLiteral("  %1 %2 %3\n").arg(QStringLiteral("GIO desktop entries, median of 6"), -34).arg(median(times.mid(1)), 10, 'f', 1).arg(0, 16);
    out << QStringLiteral("  %1 %2 %3\n").arg(QStringLiteral("one /bin/sh -c true per entry"), -34).arg(perProcess, 10, 'f', 1).arg(started, 16);
    out << "  goal: <= 50 ms, 0 child processes\n";
    out.flush();
}

QString startX11(const QString &state)
{
    QProcess session;
    // The window manager reads its themes from the system's data folders, not the bench's.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_DATA_DIRS"));
    session.setProcessEnvironment(environment);
    session.start(QStringLiteral("sh"), {QStringLiteral(X11_SESSION_SCRIPT), QStringLiteral("start"), state});
    session.waitForFinished(30000);
    QFile missing(state + QStringLiteral("/missing"));
    if (missing.open(QIODevice::ReadOnly))
        return QString::fromUtf8(missing.readAll()).trimmed();
    QFile display(state + QStringLiteral("/display"));
    if (!display.open(QIODevice::ReadOnly))
        return QStringLiteral("no X server");
    qputenv("DISPLAY", ":" + display.readAll().trimmed());
    return {};
}

void latency(int activations)
{
    QTemporaryDir state;
    if (const QString missing = startX11(state.path()); !missing.isEmpty()) {
        out << "Activation latency: skipped, " << missing << '\n';
        return;
    }
    ApplicationBlocker blocker(std::make_unique<LinuxWorkspace>(QStringLiteral("com.mac.nimbrel")));
    QObject::connect(blocker.shared(), &Workspace::applicationActivated, &blocker, [&blocker](const QString &id, const QString &name) {
        if (name == QLatin1String("Bench Blockable"))
            blocker.block(id, name);
    });
    QList<double> ms;
    for (int i = 0; i < activations; ++i) {
        QProcess app;
        app.start(QStringLiteral(BLOCKABLE_APP), {QStringLiteral("--class"), QStringLiteral("bench-blockable")});
        QString lines;
        (void)QTest::qWaitFor([&] {
            lines += QString::fromUtf8(app.readAllStandardOutput());
            return lines.contains(QLatin1String("close-request")) || app.state() == QProcess::NotRunning;
        }, 5000);
        const qsizetype at = lines.indexOf(QLatin1String("close-request "));
        if (at >= 0)
            ms << lines.mid(at + 14).section(QLatin1Char('\n'), 0, 0).toDouble();
        (void)QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 5000);
    }
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral(X11_SESSION_SCRIPT), QStringLiteral("stop"), state.path()});
    std::sort(ms.begin(), ms.end());
    out << "Activation to close request under Xvfb + openbox, " << ms.size() << " of " << activations << " measured\n";
    if (!ms.isEmpty())
        out << QStringLiteral("  median %1 ms, min %2 ms, max %3 ms (goal: median <= 100 ms)\n")
                   .arg(median(ms), 0, 'f', 2)
                   .arg(ms.first(), 0, 'f', 2)
                   .arg(ms.last(), 0, 'f', 2);
}
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// The watcher before: every /proc entry listed through QDir and stat'ed each second.
int previousScan(QSet<qint64> &known)
{
    QSet<qint64> current;
    int fresh = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        struct stat info{};
        if (!numeric || ::stat(("/proc/" + entry.toLatin1()).constData(), &info) != 0 || info.st_uid != ::getuid())
            continue;
        current.insert(pid);
        if (!known.contains(pid))
            ++fresh;
    }
    known = current;
    return fresh;
}

void procScan(int processes, int scans)
{
    QTextStream out(stdout);
    QList<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            ::pause();
            ::_exit(0);
        }
        if (child > 0)
            children.append(child);
    }
    const int total = int(ProcessTable::allProcesses().size());
    // No X server, no session bus: the workspace watches /proc.
    qunsetenv("DISPLAY");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
    double start = cpuMs();
    workspace.scanProcesses();
    const double first = cpuMs() - start;
    start = cpuMs();
    for (int i = 0; i < scans; ++i)
        workspace.scanProcesses();
    const double ours = (cpuMs() - start) / scans;
    QSet<qint64> known;
    previousScan(known);
    start = cpuMs();
    for (int i = 0; i < scans; ++i)
        previousScan(known);
    const double before = (cpuMs() - start) / scans;
    for (pid_t child : std::as_const(children))
        ::kill(child, SIGKILL);
    for (pid_t child : std::as_const(children))
        ::waitpid(child, nullptr, 0);
    out << "/proc scan, " << total << " processes (" << children.size() << " started here), CPU per scan over "
        << scans << " scans\n";
    out << QStringLiteral("  ours %1 ms (first scan, every process new: %2 ms); QDir and a stat each: %3 ms"
                          " (goal: <= 1 ms)\n")
               .arg(ours, 0, 'f', 3)
               .arg(first, 0, 'f', 1)
               .arg(before, 0, 'f', 3);
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir data;
    writeEntries(data.path(), argc > 1 ? QByteArray(argv[1]).toInt() : 500);
    qputenv("XDG_DATA_DIRS", data.path().toUtf8());
    qputenv("XDG_DATA_HOME", (data.path() + QStringLiteral("/home")).toUtf8());
    QApplication app(argc, argv);
    catalogue(argc > 1 ? QByteArray(argv[1]).toInt() : 500);
    latency(argc > 2 ? QByteArray(argv[2]).toInt() : 21);
    procScan(argc > 3 ? QByteArray(argv[3]).toInt() : 1000, 200);
    return 0;
}
