// What names a running process's application without a desktop to ask: unit names as desktops
// write them, the file identity of a copied program, a script under its interpreter, entries
// sharing one program; and the catalogue following installs. Real processes, /proc watcher.
#include "platform/linux/AppIdentity.h"
#include "platform/Components.h"
#include "platform/linux/LinuxWorkspace.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class TestAppIdentity : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    void entry(const QString &id, const QString &exec, const QString &folder = QStringLiteral("share"))
    {
        QDir().mkpath(path(folder + QStringLiteral("/applications")));
        QFile file(path(QStringLiteral("%1/applications/%2.desktop").arg(folder, id)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n").arg(id, exec).toUtf8());
    }
    static bool copyProgram(const QString &from, const QString &to)
    {
        QDir().mkpath(QFileInfo(to).path());
        return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(from));
    }

private slots:
    void initTestCase()
    {
        Components::folders() = {QStringLiteral(NIMBREL_COMPONENT_DIR)};
        // Nothing but /proc to tell: no X server, no session bus to find the app slice with.
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        // A program of this build only: a copy of a system program would make every running
        // copy of it on the machine this application's, and end it.
        QVERIFY(copyProgram(QStringLiteral(UNIT_STANDIN), path(QStringLiteral("bin/waiter"))));
        QFile script(path(QStringLiteral("bin/script")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nread line\n");
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        entry(QStringLiteral("nimbrel-waiter"), path(QStringLiteral("bin/waiter")) + QStringLiteral(" %U"));
        entry(QStringLiteral("nimbrel-waiter-web"), path(QStringLiteral("bin/waiter")) + QStringLiteral(" 3601"));
        entry(QStringLiteral("nimbrel-script"), path(QStringLiteral("bin/script")));
        qputenv("XDG_DATA_DIRS", path(QStringLiteral("share")).toUtf8());
        qputenv("XDG_DATA_HOME", path(QStringLiteral("home")).toUtf8());
        QDir().mkpath(path(QStringLiteral("home/applications")));
        qRegisterMetaType<qint64>();
    }

    void unitNames_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("GNOME scope") << QStringLiteral("app-gnome-org.gnome.Nautilus-4242.scope")
                                     << QStringList{QStringLiteral("org.gnome.Nautilus"), QStringLiteral("gnome-org.gnome.Nautilus")};
        QTest::newRow("escaped dash in the id") << QStringLiteral("app-gnome-google\\x2dchrome-977.scope")
                                                << QStringList{QStringLiteral("google-chrome"), QStringLiteral("gnome-google-chrome")};
        QTest::newRow("KDE service with a random part") << QStringLiteral("app-org.kde.konsole@0d1f8e.service")
                                                        << QStringList{QStringLiteral("org.kde.konsole")};
        QTest::newRow("service with launcher, no random part") << QStringLiteral("app-kde-firefox.service")
                                                               << QStringList{QStringLiteral("firefox"), QStringLiteral("kde-firefox")};
        QTest::newRow("Flatpak instance") << QStringLiteral("app-flatpak-org.mozilla.firefox-1234.scope")
                                          << QStringList{QStringLiteral("org.mozilla.firefox"), QStringLiteral("flatpak-org.mozilla.firefox")};
        QTest::newRow("Snap scope") << QStringLiteral("snap.firefox.firefox-8e1c2d4a-9b1f-4c3e-a1b2-0c9d8e7f6a5b.scope")
                                    << QStringList{QStringLiteral("firefox_firefox")};
        QTest::newRow("Snap app with a dash in its name")
            << QStringLiteral("snap.code.url-handler-0b3c6e6a-53ac-4d1c-9b7a-3e3f2a1d0c9e.scope")
            << QStringList{QStringLiteral("code_url-handler")};
        QTest::newRow("scope without a random part") << QStringLiteral("app-gnome.scope") << QStringList{};
        QTest::newRow("terminal's shell") << QStringLiteral("vte-spawn-8c1f.scope") << QStringList{};
        QTest::newRow("session scope") << QStringLiteral("session-2.scope") << QStringList{};
        QTest::newRow("slice") << QStringLiteral("app.slice") << QStringList{};
        QTest::newRow("empty") << QString() << QStringList{};
    }
    void unitNames()
    {
        QFETCH(QString, unit);
        QFETCH(QStringList, ids);
        QCOMPARE(AppIdentity::desktopIdsOfUnit(unit), ids);
    }

    void fileFingerprints()
    {
        const QString waiter = path(QStringLiteral("bin/waiter"));
        const QString copy = path(QStringLiteral("elsewhere/renamed"));
        QVERIFY(copyProgram(waiter, copy));
        QVERIFY2(!AppIdentity::elfBuildId(waiter).isEmpty(), "the stand-in was linked without a build-id");
        QCOMPARE(AppIdentity::fileFingerprint(copy), AppIdentity::fileFingerprint(waiter));
        QVERIFY(AppIdentity::fileFingerprint(waiter) != AppIdentity::fileFingerprint(QStandardPaths::findExecutable(QStringLiteral("sh"))));
        // No build-id: size and content decide.
        const QString script = path(QStringLiteral("bin/script"));
        QVERIFY(AppIdentity::fileFingerprint(script).startsWith("sha256:"));
        QFile edited(path(QStringLiteral("elsewhere/script")));
        QVERIFY(edited.open(QIODevice::WriteOnly));
        edited.write("#!/bin/sh\nread lime\n");
        edited.close();
        QVERIFY(AppIdentity::fileFingerprint(edited.fileName()) != AppIdentity::fileFingerprint(script));
        QVERIFY(AppIdentity::fileFingerprint(path(QStringLiteral("missing"))).isEmpty());
    }

    void processesTellTheirApplication_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("id");
        const QString waiter = path(QStringLiteral("bin/waiter"));
        QTest::newRow("its program") << waiter << QStringList{QStringLiteral("3600")} << QStringLiteral("nimbrel-waiter");
        QTest::newRow("an entry sharing the program, by its arguments")
            << waiter << QStringList{QStringLiteral("3601")} << QStringLiteral("nimbrel-waiter-web");
        QTest::newRow("a copy under another name and folder")
            << path(QStringLiteral("elsewhere/renamed")) << QStringList{QStringLiteral("3600")} << QStringLiteral("nimbrel-waiter");
        QTest::newRow("a script, run by its interpreter") << path(QStringLiteral("bin/script")) << QStringList{}
                                                           << QStringLiteral("nimbrel-script");
        QTest::newRow("a program of no entry") << QStandardPaths::findExecutable(QStringLiteral("cat")) << QStringList{} << QString();
    }
    void processesTellTheirApplication()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, id);
        QVERIFY(copyProgram(path(QStringLiteral("bin/waiter")), path(QStringLiteral("elsewhere/renamed"))) || QFile::exists(path(QStringLiteral("elsewhere/renamed"))));
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        workspace.setWatching(true);
        QCOMPARE(workspace.activationSource(), QStringLiteral("processes"));
        QVERIFY(!workspace.seesApplications());
        workspace.setGraceMs(200);
        QSignalSpy activated(&workspace, &Workspace::applicationActivated);
        QCoreApplication::processEvents(); // the first scan: what runs already is known
        QProcess process;
        process.start(program, arguments);
        QVERIFY(process.waitForStarted());
        const InstalledApp *app = nullptr;
        // A script is its interpreter once the kernel has started it.
        QTRY_VERIFY((app = workspace.appOfProcess(process.processId())) != nullptr || id.isEmpty());
        QCOMPARE(app ? app->id : QString(), id);
        if (id.isEmpty())
            return process.kill(), void(process.waitForFinished());
        auto activationOf = [&] {
            for (const QList<QVariant> &signal : std::as_const(activated)) {
                if (signal.at(2).toLongLong() == process.processId())
                    return signal.at(0).toString();
            }
            return QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!activationOf().isEmpty(), 3000);
        QCOMPARE(activationOf(), id);

        QCOMPARE(workspace.quitApplication(id).processes, 1);
        QTRY_COMPARE(process.state(), QProcess::NotRunning); // the stand-in ends on SIGTERM, the shell dies of it
    }

    void catalogueFollowsInstallsAndRemovals()
    {
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        workspace.setWatching(true);
        auto ids = [&] {
            QStringList all;
            for (const InstalledApp &app : workspace.installedApplications())
                all << app.id;
            return all;
        };
        QVERIFY(!ids().contains(QStringLiteral("nimbrel-installed")));
        QSignalSpy changed(&workspace, &Workspace::applicationsChanged);
        entry(QStringLiteral("nimbrel-installed"), path(QStringLiteral("bin/waiter")), QStringLiteral("home"));
        QVERIFY(changed.wait(10000));
        QVERIFY(ids().contains(QStringLiteral("nimbrel-installed")));
        changed.clear();
        QVERIFY(QFile::remove(path(QStringLiteral("home/applications/nimbrel-installed.desktop"))));
        QVERIFY(changed.wait(10000));
        QVERIFY(!ids().contains(QStringLiteral("nimbrel-installed")));
    }
};

QTEST_GUILESS_MAIN(TestAppIdentity)
#include "tst_appidentity.moc"
