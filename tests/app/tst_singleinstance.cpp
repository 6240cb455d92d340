// Running copies of the real application hand over to each other.
#include "TestEnvironment.h"

#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

    QString socketPath() const { return env->path(QStringLiteral("runtime/com.mac.nimbrel.sock")); }
    void start(QProcess &p, const QStringList &args = {})
    {
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(NIMBREL_APP_BINARY), args);
        QVERIFY(p.waitForStarted(5000));
    }
    static void stop(QProcess &p)
    {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }

private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void newestCopyStaysAndTakesLinks()
    {
        QProcess older, newer, opener;
        auto cleanupProcesses = qScopeGuard([&] {
            stop(older);
            stop(newer);
            stop(opener);
        });
        start(older);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socketPath()), 10000);

        start(newer);
        // The older copy is asked to quit and goes through its normal ending.
        QVERIFY(older.waitForFinished(15000));
        QCOMPARE(older.exitStatus(), QProcess::NormalExit);
        QCOMPARE(older.exitCode(), 0);
        QVERIFY(older.readAll().contains("applicationWillTerminate"));
        QByteArray seen;
        QTRY_VERIFY2_WITH_TIMEOUT((seen += newer.readAll()).contains("Load Plist"), seen.constData(), 10000);
        QVERIFY2(seen.contains("Asking the running copy to quit"), seen.constData());
        QCOMPARE(newer.state(), QProcess::Running);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socketPath()), 10000);

        // A copy started with a link hands it over and leaves; the running copy stays.
        start(opener, {QStringLiteral("nimbrel://signin/done?code=secret")});
        QVERIFY(opener.waitForFinished(10000));
        QCOMPARE(opener.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT((seen += newer.readAll()).contains("Received URL: nimbrel://signin/done"), 10000);
        QVERIFY(!seen.contains("secret"));
        QCOMPARE(newer.state(), QProcess::Running);

        // A session that ends sends SIGTERM: the app still goes through its end sequence.
        newer.terminate();
        QVERIFY(newer.waitForFinished(10000));
        QCOMPARE(newer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(newer.exitCode(), 0);
        QVERIFY((seen += newer.readAll()).contains("applicationWillTerminate"));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
