// The Linux workspace against real desktop entries, a real X server with openbox and real
// processes: the catalogue, activations, the polite quit and SIGTERM, the /proc watcher.
#include "DesktopFixture.h"
#include "TestEnvironment.h"
#include "platform/linux/LinuxWorkspace.h"

#include <QSignalSpy>
#include <QtTest>

using namespace DesktopFixture;

class TestWorkspace : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_entries;

    // The id and the name of the latest activation.
    static QString activatedName(const QSignalSpy &spy)
    {
        return spy.isEmpty() ? QString() : spy.last().at(0).toString() + QLatin1Char('/') + spy.last().at(1).toString();
    }

private slots:
    void initTestCase()
    {
        install(m_entries.path());
        qRegisterMetaType<qint64>();
    }

    void catalogueListsShownEntriesButOurs()
    {
        TestEnvironment env;
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        const QList<InstalledApp> apps = workspace.installedApplications();
        QStringList names;
        for (const InstalledApp &app : apps)
            names << app.name;
        QCOMPARE(names, QStringList({blockable, QStringLiteral("Launched Test"), other}));

        QCOMPARE(apps[0].executable, QStringLiteral(BLOCKABLE_APP));
        QCOMPARE(apps[0].iconName, QStringLiteral("utilities-terminal"));
        QVERIFY(!apps[0].launcher);
        QVERIFY(apps[1].launcher); // started through env: never signalled
        QCOMPARE(apps[2].windowClass, QStringLiteral("OtherClass"));
        QCOMPARE(apps[2].iconFile, m_entries.filePath(QStringLiteral("other.svg")));
    }

    void activeApplicationIsReportedAndClosesPolitely()
    {
        TestEnvironment env;
        if (const QString missing = useX11(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        workspace.setWatching(true);
        QCOMPARE(workspace.activationSource(), QStringLiteral("x11"));
        QSignalSpy activated(&workspace, &Workspace::applicationActivated);

        RunningApp app(QStringLiteral(BLOCKABLE_APP));
        QVERIFY(app.waitFor(QStringLiteral("active")));
        QTRY_COMPARE(activatedName(activated), blockableID + QLatin1Char('/') + blockable);
        QCOMPARE(activated.last().at(2).toLongLong(), app.pid());

        workspace.quitApplication(blockableID);
        QTRY_COMPARE(app.process().state(), QProcess::NotRunning);
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.closeRequests(), 1);
    }

    void ignoredCloseRequestEndsInSigtermForThatApplicationOnly()
    {
        TestEnvironment env;
        if (const QString missing = useX11(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        workspace.setWatching(true);
        QSignalSpy activated(&workspace, &Workspace::applicationActivated);
        RunningApp bystander(otherProgram(m_entries.path()), {QStringLiteral("--class"), QStringLiteral("OtherClass")});
        QVERIFY(bystander.waitFor(QStringLiteral("active")));
        QTRY_COMPARE(activatedName(activated), otherID + QLatin1Char('/') + other); // matched by its StartupWMClass
        RunningApp stubborn(QStringLiteral(BLOCKABLE_APP), {QStringLiteral("--ignore-close")});
        QVERIFY(stubborn.waitFor(QStringLiteral("active")));

        QElapsedTimer sinceQuit;
        sinceQuit.start();
        const QuitOutcome outcome = workspace.quitApplication(blockableID);
        QCOMPARE(outcome.windowsAsked, 1);
        QCOMPARE(outcome.processes, 1);
        QTRY_COMPARE(stubborn.closeRequests(), 1);
        // The whole grace to save its work, then SIGTERM.
        QTRY_COMPARE_WITH_TIMEOUT(stubborn.process().state(), QProcess::NotRunning, workspace.graceMs() + 3000);
        QVERIFY2(sinceQuit.elapsed() >= workspace.graceMs() - 50, qPrintable(QString::number(sinceQuit.elapsed())));
        QCOMPARE(workspace.graceMs(), Workspace::graceSeconds * 1000);
        QCOMPARE(stubborn.process().exitStatus(), QProcess::CrashExit);
        QCOMPARE(bystander.process().state(), QProcess::Running);
        QCOMPARE(bystander.closeRequests(), 0);
    }

    void withoutWindowManagerNewProcessesCountAsActivations_data()
    {
        QTest::addColumn<bool>("wayland");
        QTest::newRow("no X server") << false;
        QTest::newRow("Wayland session with an X server") << true;
    }
    void withoutWindowManagerNewProcessesCountAsActivations()
    {
        QFETCH(bool, wayland);
        TestEnvironment env;
        if (wayland) {
            if (const QString missing = useX11(); !missing.isEmpty())
                QSKIP(qPrintable(missing));
            qputenv("WAYLAND_DISPLAY", "wayland-test");
        } else {
            qunsetenv("DISPLAY");
        }
        const auto restore = qScopeGuard([] { qunsetenv("WAYLAND_DISPLAY"); });
        LinuxWorkspace workspace(QStringLiteral("com.mac.nimbrel"));
        QCOMPARE(workspace.activationSource(), QStringLiteral("processes"));
        QCOMPARE(workspace.seesApplications(), wayland);
        workspace.setGraceMs(300);
        workspace.setWatching(true);
        QSignalSpy activated(&workspace, &Workspace::applicationActivated);
        RunningApp app(QStringLiteral(BLOCKABLE_APP));
        QVERIFY(app.waitFor(QStringLiteral("ready")));
        QTRY_COMPARE_WITH_TIMEOUT(activatedName(activated), blockableID + QLatin1Char('/') + blockable, 3000);
        QCOMPARE(activated.last().at(2).toLongLong(), app.pid());

        // Its X window is asked to close; without one the process is ended after the grace.
        if (wayland)
            QVERIFY(app.waitFor(QStringLiteral("active"))); // its window is managed by then
        workspace.quitApplication(blockableID);
        QTRY_COMPARE(app.process().state(), QProcess::NotRunning);
        QCOMPARE(app.process().exitStatus(), wayland ? QProcess::NormalExit : QProcess::CrashExit);
    }
};

QTEST_GUILESS_MAIN(TestWorkspace)
#include "tst_workspace.moc"
