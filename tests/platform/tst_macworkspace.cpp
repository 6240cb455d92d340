// The Mac workspace's commands against a fake osascript and a real folder listed by ls: names
// of any shape reach AppleScript as one argument, never inside the script.
#include "TestEnvironment.h"
#include "platform/macos/MacWorkspace.h"

#include <QDir>
#include <QtTest>

class TestMacWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void catalogueAndQuitPassNamesAsArguments()
    {
        TestEnvironment env;
        const QString crafted = QStringLiteral("Evil\" to quit\ndo shell script \"touch pwned");
        const QStringList entries{QStringLiteral("Bob's Game.app"), QStringLiteral("Calculator.app"),
                                  QStringLiteral("Nimbrel.app"), QStringLiteral("Utilities"),
                                  QStringLiteral("Gone.app"), QStringLiteral("Evil\" & \"x.app")};
        for (const QString &entry : entries)
            QDir().mkpath(env.path(QStringLiteral("Applications/") + entry));
        env.writeFile(QStringLiteral("fake-state/osascript/unknown"), "Gone.app\n");

        MacWorkspace workspace(env.path(QStringLiteral("Applications")));
        QStringList names;
        for (const InstalledApp &app : workspace.installedApplications())
            names << app.name;
        // ls order; no folder without ".app", not ourselves, not what AppleScript cannot name.
        QCOMPARE(names, (QStringList{QStringLiteral("Bob's Game"), QStringLiteral("Calculator"),
                                     QStringLiteral("Evil\" & \"x")}));

        workspace.quitApplication(QStringLiteral("com.example.BobsGame"));
        workspace.quitApplication(crafted);
        QCOMPARE(env.readFile(QStringLiteral("fake-state/osascript/quit")),
                 QStringLiteral("com.example.BobsGame\n") + crafted + QLatin1Char('\n'));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")) && !QFile::exists(env.path(QStringLiteral("pwned"))));
        const QString calls = env.readFile(QStringLiteral("fake-state/osascript/calls"));
        QVERIFY(calls.contains(QStringLiteral("-e\ntell application id (item 1 of argv)\n-e\nquit\n")));
    }
};

QTEST_GUILESS_MAIN(TestMacWorkspace)
#include "tst_macworkspace.moc"
