// The login unit against a real systemd user manager (started by loginunit.sh): a killed app
// is started again, one that quits from its tray is not, and a copy started outside the unit
// hands over to it instead of running twice.
#include "Settle.h"
#include "platform/linux/SystemdUserUnit.h"
#include "platform/linux/XdgAutostartAgent.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

namespace {
QString systemctl(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + args);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
QString unitValue(const char *name, const QString &unit = SystemdUserUnit::unitName())
{
    return systemctl({QStringLiteral("show"), QStringLiteral("--value"), QStringLiteral("-p"), QString::fromLatin1(name), unit});
}
int mainPid()
{
    return unitValue("MainPID").toInt();
}
} // namespace

class TestLoginUnit : public QObject
{
    Q_OBJECT

    const QString standin = qEnvironmentVariable("LOGINUNIT_STANDIN");

    void quitFromTray()
    {
        QFile request(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/quit-request");
        QVERIFY(request.open(QIODevice::WriteOnly));
        request.close();
        QTRY_COMPARE_WITH_TIMEOUT(unitValue("ActiveState"), QStringLiteral("inactive"), 5000);
    }
    // Runs the stand-in outside the unit; true when it ended by itself (it handed over).
    bool runOutside(const QStringList &args)
    {
        QProcess copy;
        copy.start(standin, args);
        if (copy.waitForFinished(8000)) {
            qInfo().noquote() << copy.readAllStandardError();
            return copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0;
        }
        copy.kill();
        copy.waitForFinished();
        return false;
    }

private slots:
    void initTestCase()
    {
        if (standin.isEmpty())
            QSKIP("run through loginunit.sh, which starts a systemd user manager of its own");
    }

    void theUnitIsWrittenEnabledAndValid()
    {
        const QString destination = SystemdUserUnit::defaultDestination();
        SystemdUserUnit unit(destination, standin, QDBusConnection::sessionBus());
        unit.install();
        QCOMPARE(unit.load(), QStringLiteral("systemd user unit enabled: ") + destination);
        QVERIFY(QFileInfo(QFileInfo(destination).path() + "/graphical-session.target.wants/nimbrel.service").isSymLink());
        if (QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty())
            return;
        QProcess verify;
        verify.start(QStringLiteral("systemd-analyze"), {QStringLiteral("--user"), QStringLiteral("verify"), destination});
        QVERIFY(verify.waitForFinished());
        QVERIFY2(verify.exitCode() == 0 && verify.readAllStandardError().isEmpty(), qPrintable(destination));
    }

    void aKilledAppComesBackOneThatQuitsDoesNot()
    {
        systemctl({QStringLiteral("start"), SystemdUserUnit::unitName()});
        const int first = mainPid();
        QVERIFY(first > 0);
        ::kill(first, SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(mainPid() > 0 && mainPid() != first, 6000);

        quitFromTray();
        // Restarts come 2 s after an end: give one the time to happen.
        settle(3000);
        QCOMPARE(unitValue("ActiveState"), QStringLiteral("inactive"));
        QCOMPARE(mainPid(), 0);
    }

    void aCopyStartedOutsideTheUnitHandsOverToIt()
    {
        // At login the autostart entry's copy joins the unit, however often it runs.
        QVERIFY(runOutside({QStringLiteral("--login")}));
        QCOMPARE(unitValue("ActiveState"), QStringLiteral("active"));
        const int running = mainPid();
        QVERIFY(runOutside({QStringLiteral("--login")}));
        QCOMPARE(mainPid(), running);
        // Started by the user, the newer copy replaces the running one, still inside the unit.
        QVERIFY(runOutside({}));
        QVERIFY(mainPid() > 0 && mainPid() != running);
        quitFromTray();
    }

    // Desktops that start autostart entries through systemd turn ours into a unit of its own;
    // its copy joins ours and ends, so one copy runs.
    void autostartThroughSystemdStartsOneCopy()
    {
        XdgAutostartAgent(XdgAutostartAgent::defaultDestination(), standin).install();
        systemctl({QStringLiteral("daemon-reload")});
        const QString generated = QStringLiteral("app-com.mac.nimbrel@autostart.service");
        systemctl({QStringLiteral("start"), generated});
        QTRY_COMPARE_WITH_TIMEOUT(unitValue("ActiveState", generated), QStringLiteral("inactive"), 8000);
        QCOMPARE(unitValue("ActiveState"), QStringLiteral("active"));
        QCOMPARE(unitValue("Result", generated), QStringLiteral("success"));
        quitFromTray();
    }

    void aUnitOfAnotherProgramIsLeftAlone()
    {
        // A build tree's copy never hands over to the installed app's unit, nor the reverse.
        QFile unit(SystemdUserUnit::defaultDestination());
        QVERIFY(unit.open(QIODevice::ReadWrite));
        const QByteArray text = unit.readAll().replace(QFile::encodeName(standin), "/bin/sleep 600");
        unit.resize(0);
        unit.write(text);
        unit.close();
        systemctl({QStringLiteral("daemon-reload")});
        QVERIFY(!runOutside({QStringLiteral("--login")}));
        QCOMPARE(unitValue("ActiveState"), QStringLiteral("inactive"));
    }
};

QTEST_GUILESS_MAIN(TestLoginUnit)
#include "tst_loginunit.moc"
