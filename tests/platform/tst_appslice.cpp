// Applications started the way desktops start them, under a real systemd user manager (run by
// tests/app/loginunit.sh): GNOME's scopes, KDE's services, a Flatpak instance, a Snap scope, a
// wrapper script, two entries sharing one program. The blocked one is seen through the app
// slice and ended with nothing else; the others keep running.
#include "platform/Components.h"
#include "platform/linux/LinuxWorkspace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <ctime>

namespace {
QString systemctl(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + args);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
bool active(const QString &unit)
{
    return systemctl({QStringLiteral("is-active"), unit}) == QLatin1String("active");
}
// A desktop-file id inside a unit name: its dashes escaped.
QString escaped(QString id)
{
    return id.replace(QLatin1Char('-'), QLatin1String("\\x2d"));
}
qint64 monotonicUs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
int serial = 0;
QString scope(const QString &launcherAndId)
{
    return QStringLiteral("app-%1-%2.scope").arg(launcherAndId).arg(++serial);
}
} // namespace

class TestAppSlice : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<LinuxWorkspace> workspace;
    QStringList m_units;

    QString bin(const QString &name) const { return m_dir.filePath(QStringLiteral("bin/") + name); }
    void entry(const QString &id, const QString &name, const QString &exec)
    {
        QFile file(m_dir.filePath(QStringLiteral("share/applications/%1.desktop").arg(id)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n").arg(name, exec).toUtf8());
    }
    // Starts command in a unit of its own: a scope in the foreground as GNOME's launcher
    // does, a service in the manager as KDE's does.
    // The event loop keeps running meanwhile, unless wait asks to see the unit running.
    void start(const QString &unit, const QStringList &command, bool wait = true)
    {
        m_units << unit;
        QStringList args{QStringLiteral("--user"), QStringLiteral("--quiet"), QStringLiteral("--unit=") + unit};
        if (unit.endsWith(QLatin1String(".scope")))
            args << QStringLiteral("--scope");
        auto *process = new QProcess(this);
        process->start(QStringLiteral("systemd-run"), args + QStringList{QStringLiteral("--")} + command);
        QVERIFY(process->waitForStarted());
        if (wait)
            QTRY_VERIFY(active(unit));
    }

private slots:
    void initTestCase()
    {
        Components::folders() = {QStringLiteral(NIMBREL_COMPONENT_DIR)};
        const QString standin = qEnvironmentVariable("LOGINUNIT_STANDIN");
        if (standin.isEmpty())
            QSKIP("run through ctest: needs the systemd user manager of tests/app/loginunit.sh");
        QDir().mkpath(m_dir.filePath(QStringLiteral("bin")));
        QDir().mkpath(m_dir.filePath(QStringLiteral("share/applications")));
        for (const char *name : {"gnome-app", "kde-app", "flat-app", "snap-app", "wrapped-real", "browser", "flatpak"}) {
            QVERIFY(QFile::copy(standin, bin(QLatin1String(name))));
            QFile::setPermissions(bin(QLatin1String(name)), QFile::permissions(standin));
        }
        QFile script(bin(QStringLiteral("wrapped")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nexec %1 \"$@\"\n").arg(bin(QStringLiteral("wrapped-real"))).toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        entry(QStringLiteral("nimbrel-gnome"), QStringLiteral("Gnome Test"), bin(QStringLiteral("gnome-app")));
        entry(QStringLiteral("nimbrel-kde"), QStringLiteral("Kde Test"), bin(QStringLiteral("kde-app")));
        entry(QStringLiteral("org.nimbrel.Flat"), QStringLiteral("Flat Test"), bin(QStringLiteral("flatpak")) + QStringLiteral(" run org.nimbrel.Flat"));
        entry(QStringLiteral("nimsnap_nimsnap"), QStringLiteral("Snap Test"), QStringLiteral("env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/nimsnap_nimsnap.desktop ")
                  + bin(QStringLiteral("snap-app")));
        entry(QStringLiteral("nimbrel-wrapped"), QStringLiteral("Wrapped Test"), bin(QStringLiteral("wrapped")));
        entry(QStringLiteral("nimbrel-browser"), QStringLiteral("Browser Test"), bin(QStringLiteral("browser")) + QStringLiteral(" %U"));
        entry(QStringLiteral("nimbrel-webapp"), QStringLiteral("Web App Test"), bin(QStringLiteral("browser")) + QStringLiteral(" --app=web"));
        qputenv("XDG_DATA_DIRS", m_dir.filePath(QStringLiteral("share")).toUtf8());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("home-share")).toUtf8());
        qRegisterMetaType<qint64>();
    }

    void init()
    {
        workspace = std::make_unique<LinuxWorkspace>(QStringLiteral("com.mac.nimbrel"));
        workspace->setWatching(true);
        QCOMPARE(workspace->activationSource(), QStringLiteral("units"));
        QVERIFY(workspace->seesApplications());
        workspace->setGraceMs(300);
    }
    void cleanup()
    {
        workspace.reset();
        for (const QString &unit : std::as_const(m_units))
            systemctl({QStringLiteral("stop"), unit});
        m_units.clear();
    }

    void blockedOneEndsOthersRun_data()
    {
        QTest::addColumn<QString>("blockedID");
        QTest::addColumn<QString>("blockedUnit");
        QTest::addColumn<QStringList>("blockedCommand");
        QTest::addColumn<QString>("otherUnit");
        QTest::addColumn<QStringList>("otherCommand");
        const QString gnome = bin(QStringLiteral("gnome-app"));
        const QString kde = bin(QStringLiteral("kde-app"));
        const QString browser = bin(QStringLiteral("browser"));
        QTest::newRow("GNOME scope") << QStringLiteral("nimbrel-gnome") << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome")))
                                     << QStringList{gnome} << QStringLiteral("app-%1@b1.service").arg(escaped(QStringLiteral("nimbrel-kde")))
                                     << QStringList{kde};
        QTest::newRow("KDE service") << QStringLiteral("nimbrel-kde") << QStringLiteral("app-%1@k2.service").arg(escaped(QStringLiteral("nimbrel-kde")))
                                     << QStringList{kde} << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome")))
                                     << QStringList{gnome};
        QTest::newRow("Flatpak instance") << QStringLiteral("org.nimbrel.Flat") << scope(QStringLiteral("flatpak-org.nimbrel.Flat"))
                                          << QStringList{bin(QStringLiteral("flat-app"))}
                                          << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome"))) << QStringList{gnome};
        QTest::newRow("Snap scope") << QStringLiteral("nimsnap_nimsnap")
                                    << QStringLiteral("snap.nimsnap.nimsnap-6f0c3f3e-1b2a-4c1d-9e8f-%1.scope").arg(++serial, 12, 10, QLatin1Char('0'))
                                    << QStringList{bin(QStringLiteral("snap-app"))}
                                    << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome"))) << QStringList{gnome};
        QTest::newRow("wrapper script") << QStringLiteral("nimbrel-wrapped") << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-wrapped")))
                                        << QStringList{bin(QStringLiteral("wrapped"))}
                                        << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome"))) << QStringList{gnome};
        QTest::newRow("web app sharing the browser's program")
            << QStringLiteral("nimbrel-webapp") << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-webapp")))
            << QStringList{browser, QStringLiteral("--app=web")} << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-browser")))
            << QStringList{browser};
        QTest::newRow("browser sharing its program with a web app")
            << QStringLiteral("nimbrel-browser") << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-browser")))
            << QStringList{browser} << scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-webapp")))
            << QStringList{browser, QStringLiteral("--app=web")};
    }
    void blockedOneEndsOthersRun()
    {
        QFETCH(QString, blockedID);
        QFETCH(QString, blockedUnit);
        QFETCH(QStringList, blockedCommand);
        QFETCH(QString, otherUnit);
        QFETCH(QStringList, otherCommand);
        QSignalSpy activated(workspace.get(), &Workspace::applicationActivated);
        start(otherUnit, otherCommand);
        qint64 seenAtUs = -1;
        connect(workspace.get(), &Workspace::applicationActivated, this, [&](const QString &id) {
            if (id == blockedID && seenAtUs < 0)
                seenAtUs = monotonicUs();
        });
        start(blockedUnit, blockedCommand, false);
        QTRY_VERIFY(seenAtUs >= 0);
        // From the moment the manager has the unit running, on the clock it stamps units with.
        const qint64 startedAtUs =
            systemctl({QStringLiteral("show"), QStringLiteral("--value"), QStringLiteral("-p"),
                       QStringLiteral("ActiveEnterTimestampMonotonic"), blockedUnit})
                .toLongLong();
        QVERIFY(startedAtUs > 0);
        const qint64 latencyMs = (seenAtUs - startedAtUs) / 1000;
        qInfo("seen %lld ms after its unit started", latencyMs);
        QVERIFY2(latencyMs < 200, qPrintable(QString::number(latencyMs)));
        QStringList ids;
        for (const QList<QVariant> &signal : std::as_const(activated))
            ids << signal.at(0).toString();
        QCOMPARE(ids.count(blockedID), 1);

        const QuitOutcome outcome = workspace->quitApplication(blockedID);
        QCOMPARE(outcome.processes, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!active(blockedUnit), workspace->graceMs() + 5000);
        QVERIFY(active(otherUnit));
    }

    void unitsRunningBeforeTheWatchCount()
    {
        const QString unit = scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome")));
        start(unit, {bin(QStringLiteral("gnome-app"))});
        workspace = std::make_unique<LinuxWorkspace>(QStringLiteral("com.mac.nimbrel"));
        workspace->setWatching(true);
        QSignalSpy activated(workspace.get(), &Workspace::applicationActivated);
        QTRY_VERIFY(!activated.isEmpty());
        QCOMPARE(activated.first().at(0).toString(), QStringLiteral("nimbrel-gnome"));
    }

    void programRestartingItselfIsEndedEachTime()
    {
        const QString unit = scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-gnome")));
        int activations = 0;
        // As the delegate does: every activation of a blocked application is a quit request.
        connect(workspace.get(), &Workspace::applicationActivated, this, [&](const QString &id) {
            if (id == QLatin1String("nimbrel-gnome")) {
                ++activations;
                workspace->quitApplication(id);
            }
        });
        start(unit, {bin(QStringLiteral("gnome-app")), QStringLiteral("--respawn"), QStringLiteral("2")});
        QTRY_VERIFY_WITH_TIMEOUT(!active(unit), 15000);
        QCOMPARE(activations, 3);
    }

    void scriptGetsTheWholeGrace()
    {
        workspace->setGraceMs(Workspace::graceSeconds * 1000);
        const QString unit = scope(QStringLiteral("gnome-") + escaped(QStringLiteral("nimbrel-wrapped")));
        QSignalSpy activated(workspace.get(), &Workspace::applicationActivated);
        start(unit, {bin(QStringLiteral("wrapped"))});
        QTRY_VERIFY(!activated.isEmpty());
        QElapsedTimer sinceQuit;
        sinceQuit.start();
        QCOMPARE(workspace->quitApplication(QStringLiteral("nimbrel-wrapped")).processes, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!active(unit), Workspace::graceSeconds * 1000 + 5000);
        QVERIFY2(sinceQuit.elapsed() >= Workspace::graceSeconds * 1000 - 50, qPrintable(QString::number(sinceQuit.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestAppSlice)
#include "tst_appslice.moc"
