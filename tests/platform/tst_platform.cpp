// The small platform services: process runner, notifications, login entry, device name.
#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/DeviceIdentity.h"
#include "platform/LaunchAgent.h"
#include "platform/NotificationCenter.h"
#include "platform/ShellRunner.h"
#include "platform/linux/SystemdUserUnit.h"
#include "platform/linux/XdgAutostartAgent.h"

#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void shellRunnerMergesOutputAndSurvivesBadBytes()
    {
        // Errors come back in the same text; bytes that are not UTF-8 must not break anything.
        QCOMPARE(runShellCommand(QStringLiteral("echo out; echo err >&2")), QStringLiteral("out\nerr\n"));
        const QString bad = runShellCommand(QStringLiteral("printf 'caf\\303\\251 \\377\\376 ok'"));
        QVERIFY(bad.startsWith(QStringLiteral("café ")));
        QVERIFY(bad.endsWith(QStringLiteral(" ok")));
        // No standard input: a command that reads it sees end of file at once.
        QCOMPARE(runShellCommand(QStringLiteral("cat; echo done")), QStringLiteral("done\n"));
        // Arguments are passed as words, never re-read by a shell.
        const QString word = QStringLiteral("a b;$(touch %1/pwned)'\"").arg(env->home());
        QCOMPARE(runShellCommand(QStringLiteral("printf %s ") + shellQuote(word)), word);
        QVERIFY(!QFile::exists(env->path(QStringLiteral("pwned"))));
    }

    void runProgramReportsExitAndFailureToStart()
    {
        ProcessResult r = runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo x; exit 3")});
        QVERIFY(r.started);
        QCOMPARE(r.exitCode, 3);
        QCOMPARE(r.output, QStringLiteral("x\n"));
        r = runProgram(QStringLiteral("no-such-tool-here"), {});
        QVERIFY(!r.started);
        QCOMPARE(r.exitCode, -1);
        // A program that hangs is stopped instead of freezing the caller for good.
        QElapsedTimer timer;
        timer.start();
        r = runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo early; sleep 30")}, 300);
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(r.exitCode, -1);
    }

    void notificationsReachLiveObserversInOrder()
    {
        NotificationCenter &center = NotificationCenter::defaultCenter();
        QList<QString> seen;
        auto *first = new QObject;
        QObject second;
        center.addObserver(first, QStringLiteral("DNS_State"), [&](const QVariant &v) { seen << "first " + v.toString(); });
        center.addObserver(&second, QStringLiteral("DNS_State"), [&](const QVariant &v) { seen << "second " + v.toString(); });
        center.addObserver(&second, QStringLiteral("other"), [&](const QVariant &) { seen << "other"; });
        center.post(QStringLiteral("DNS_State"), true);
        QCOMPARE(seen, (QList<QString>{"first true", "second true"}));

        delete first; // a destroyed owner is never called again
        seen.clear();
        center.post(QStringLiteral("DNS_State"), false);
        QCOMPARE(seen, QList<QString>{"second false"});

        center.removeObserver(&second);
        center.post(QStringLiteral("DNS_State"));
        center.post(QStringLiteral("other"));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(center.observerCount(QStringLiteral("DNS_State")), 0);
    }

    void observerMayRemoveAnotherWhileBeingNotified()
    {
        NotificationCenter &center = NotificationCenter::defaultCenter();
        QObject a, b;
        int bCalls = 0;
        center.addObserver(&a, QStringLiteral("n"), [&](const QVariant &) { center.removeObserver(&b); });
        center.addObserver(&b, QStringLiteral("n"), [&](const QVariant &) { ++bCalls; });
        center.post(QStringLiteral("n"));
        QCOMPARE(bCalls, 0);
    }

    void autostartEntryIsInstalledOnceAndNeverReplaced()
    {
        const QString destination = XdgAutostartAgent::defaultDestination();
        QVERIFY(destination.startsWith(env->home()));
        QVERIFY(destination.endsWith(QLatin1String("/autostart/com.mac.nimbrel.desktop")));
        const QString exe = QStringLiteral("/opt/My Apps/nimbrel");
        {
            LogCapture log;
            XdgAutostartAgent agent(destination, exe);
            agent.install();
            QCOMPARE(log.lines,
                     (QStringList{"Created the folder of the autostart entry: " + QFileInfo(destination).absolutePath(),
                                  "Installed the autostart entry: " + destination}));
            QCOMPARE(agent.load(), QStringLiteral("autostart entry in place: ") + destination);
        }
        QFile installed(destination);
        QVERIFY(installed.open(QIODevice::ReadOnly));
        const QByteArray text = installed.readAll();
        installed.close();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nExec=\"/opt/My Apps/nimbrel\" --login\n"));

        // The user's own edit stays as it is.
        QVERIFY(installed.open(QIODevice::WriteOnly | QIODevice::Truncate));
        installed.write("[Desktop Entry]\nHidden=true\n");
        installed.close();
        LogCapture log;
        XdgAutostartAgent(destination, QStringLiteral("/usr/bin/nimbrel")).install();
        // Found in place: said so, without an error.
        QCOMPARE(log.lines, QStringList{"The autostart entry is already in place: " + destination});
        QCOMPARE(env->readFile(destination.mid(env->home().size() + 1)), QStringLiteral("[Desktop Entry]\nHidden=true\n"));

        // An entry whose program is gone (a build tree that moved) starts nothing: written anew.
        // One whose program exists stays.
        for (const auto &[program, replaced] : {std::pair{QStringLiteral("\"/gone/My Build/nimbrel\""), true},
                                                {QStringLiteral("/gone/build/bin/nimbrel --tray"), true},
                                                {QStringLiteral("/bin/sh"), false}}) {
            const QByteArray old = "[Desktop Entry]\nExec=" + program.toUtf8() + "\n";
            QVERIFY(installed.open(QIODevice::WriteOnly | QIODevice::Truncate));
            installed.write(old);
            installed.close();
            XdgAutostartAgent(destination, QStringLiteral("/usr/bin/nimbrel")).install();
            QVERIFY(installed.open(QIODevice::ReadOnly));
            const QByteArray now = installed.readAll();
            installed.close();
            QCOMPARE(now.contains("\nExec=/usr/bin/nimbrel --login\n"), replaced);
            QCOMPARE(now == old, !replaced);
        }
    }

    // The unit names its program in systemd's quoting; read back it must be the same path, or
    // an existing program would count as gone (and the other way round).
    void loginUnitNamesItsProgramExactly()
    {
        const QString destination = env->path(QStringLiteral("user/nimbrel.service"));
        auto installFor = [&](const QString &program) {
            SystemdUserUnit(destination, program, QDBusConnection::sessionBus()).install();
            return env->readFile(QStringLiteral("user/nimbrel.service"));
        };
        const QString odd = QStringLiteral("My Apps $HOME 100%/nimbrel");
        QVERIFY(installFor(env->path(odd)).contains(QStringLiteral("\nExecStart=\"%1/My Apps $HOME 100%%/nimbrel\"\n").arg(env->home())));
        // Gone: written anew.
        QVERIFY(installFor(QStringLiteral("/usr/bin/nimbrel")).contains(QLatin1String("\nExecStart=\"/usr/bin/nimbrel\"\n")));
        // Existing: kept.
        QFile::remove(destination);
        env->writeFile(odd, "#!/bin/sh\n");
        const QString kept = installFor(env->path(odd));
        QCOMPARE(installFor(QStringLiteral("/usr/bin/nimbrel")), kept);
        // A path systemd would refuse gets no unit; the login entry still starts the app.
        QFile::remove(destination);
        LogCapture log;
        installFor(env->path(QStringLiteral("it's/nimbrel")));
        QVERIFY(!QFile::exists(destination));
        QVERIFY(log.lines.first().startsWith(QLatin1String("No systemd user unit")));
    }

    void autostartFolderThatCannotBeMadeIsLogged()
    {
        env->writeFile(QStringLiteral("blocked"), "a file where a folder should be");
        LogCapture log;
        XdgAutostartAgent agent(env->path(QStringLiteral("blocked/autostart/x.desktop")), QStringLiteral("/usr/bin/nimbrel"));
        agent.install();
        QCOMPARE(log.lines.size(), 2);
        QVERIFY(log.lines.at(0).startsWith(QLatin1String("Error creating the folder of the autostart entry: ")));
        QVERIFY(log.lines.at(1).startsWith(QLatin1String("Error installing the autostart entry: ")));
        QVERIFY(agent.load().startsWith(QLatin1String("autostart entry missing")));
    }

    void deviceNameComesFromTheFirmwareOrTheHostName_data()
    {
        QTest::addColumn<QByteArray>("productName"); // null: the firmware gives no file
        QTest::addColumn<QString>("model");
        QTest::newRow("model") << QByteArrayLiteral("ThinkPad X1 Carbon Gen 9\0\n") << "ThinkPad X1 Carbon Gen 9";
        QTest::newRow("vendor placeholder") << QByteArray("To Be Filled By O.E.M.\n") << "";
        QTest::newRow("board default") << QByteArray("  Default string ") << "";
        QTest::newRow("blank") << QByteArray(" \n") << "";
        QTest::newRow("no file") << QByteArray() << "";
    }
    void deviceNameComesFromTheFirmwareOrTheHostName()
    {
        QFETCH(QByteArray, productName);
        QFETCH(QString, model);
        if (!productName.isNull())
            env->writeFile(QStringLiteral("dmi/product_name"), productName);
        QCOMPARE(deviceModelName(), model);
        QCOMPARE(defaultDeviceName(), model.isEmpty() ? QSysInfo::machineHostName() : model);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
