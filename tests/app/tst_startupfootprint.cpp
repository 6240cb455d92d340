// What the real application loads from start until its first window is chosen. The dynamic
// loader reports every library it maps (LD_DEBUG=files), including those opened later with
// dlopen, so a start-up path that pulls in a library meant for a later screen fails here.
#include "TestEnvironment.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QRegularExpression>
#include <QtTest>
#include <sys/inotify.h>
#include <unistd.h>

class TestStartupFootprint : public QObject
{
    Q_OBJECT

private:
    // The file names the loader mapped, as it reports them ("file=libfoo.so.1 [0];  needed by").
    static QSet<QString> loadedFiles(const QByteArray &loaderLog)
    {
        static const QRegularExpression file(QStringLiteral("file=(\\S+) +\\["));
        QSet<QString> names;
        for (auto it = file.globalMatch(QString::fromLocal8Bit(loaderLog)); it.hasNext();)
            names.insert(QFileInfo(it.next().captured(1)).fileName());
        return names;
    }
    static bool anyStartsWith(const QSet<QString> &names, const QString &prefix)
    {
        return std::any_of(names.begin(), names.end(), [&](const QString &name) { return name.startsWith(prefix); });
    }

private slots:
    void lateLibrariesStayOutUntilUsed_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("appBlocked");
        // Nobody signed in: the launch screen, then the sign-in sheet.
        QTest::newRow("first start") << false << false;
        // Signed in: the launch screen, then the main content with the protection screen.
        QTest::newRow("signed in") << true << false;
        // An application to stop: the desktop entries are read to recognise it.
        QTest::newRow("signed in, an application blocked") << true << true;
    }
    void lateLibrariesStayOutUntilUsed()
    {
        QFETCH(bool, signedIn);
        QFETCH(bool, appBlocked);
        TestEnvironment env;
        if (signedIn)
            PreferencesStore::shared().setBool(PrefKey::isLogin, true);
        if (appBlocked)
            PreferencesStore::shared().setStringArray(PrefKey::blockedAppDetails, {QStringLiteral("nimbrel-blocked")});
        PreferencesStore::shared().synchronize();
        // Whoever lists the desktop entries opens this folder.
        const QString entries = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
        QVERIFY(QDir().mkpath(entries));
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        auto closeWatch = qScopeGuard([watch] { ::close(watch); });
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(entries).constData(), IN_OPEN) >= 0);

        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        environment.insert(QStringLiteral("NIMBREL_TRACE_STARTUP"), QStringLiteral("1"));
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(NIMBREL_APP_BINARY), QStringList{});
        QVERIFY(app.waitForStarted(5000));
        auto stop = qScopeGuard([&app] {
            if (app.state() != QProcess::NotRunning) {
                app.kill();
                app.waitForFinished(5000);
            }
        });

        // The first window is chosen 1.5 s after the launch screen shows.
        QByteArray out;
        QTRY_VERIFY2_WITH_TIMEOUT((out += app.readAllStandardOutput()).contains("startup-trace content"),
                                  out.constData(), 15000);
        // Everything it loaded in its whole life is in the loader's log once it has ended.
        app.terminate();
        QVERIFY(app.waitForFinished(10000));
        out += app.readAllStandardOutput();
        QVERIFY2(out.contains("applicationWillTerminate"), out.constData());
        const QSet<QString> loaded = loadedFiles(app.readAllStandardError());

        // The loader's log is read right: the app cannot run without these.
        for (const char *needed : {"libQt6Widgets.so", "libQt6Network.so"})
            QVERIFY2(anyStartsWith(loaded, QLatin1String(needed)), needed);
        // Loaded only by the screen or the action that uses them.
        const struct {
            const char *prefix;
            const char *whenUsed;
        } late[] = {
            {"libnimbrel-web.so", "the first web window"},
            {"libQt6WebEngineCore.so", "the first web window"},
            {"libnimbrel-dnswire.so", "the first filter probe, when protection is switched on"},
            {"libldns.so", "the first filter probe, when protection is switched on"},
        };
        for (const auto &library : late) {
            QVERIFY2(!anyStartsWith(loaded, QLatin1String(library.prefix)),
                     qPrintable(QStringLiteral("%1 loaded at start; it belongs to %2")
                                    .arg(QLatin1String(library.prefix), QLatin1String(library.whenUsed))));
        }
        // The desktop entries' reader and GIO with it: only to recognise an application to stop.
        for (const char *desktop : {"libnimbrel-desktop.so", "libgio-2.0.so"})
            QVERIFY2(anyStartsWith(loaded, QLatin1String(desktop)) == appBlocked, desktop);
        // The installed applications are read for the Block Apps screen, not for the sidebar,
        // and to recognise what comes to the front only while something is blocked.
        QVERIFY2(!out.contains("Whole Data"), out.constData());
        alignas(inotify_event) char events[4096];
        QCOMPARE(::read(watch, events, sizeof events) > 0, appBlocked);
    }
};

QTEST_GUILESS_MAIN(TestStartupFootprint)
#include "tst_startupfootprint.moc"
