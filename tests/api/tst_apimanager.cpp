// The request path against a real HTTP server on 127.0.0.1: headers, methods, bodies, the
// status-code rules, the reachability gate, time-outs and refused connections, and the log.
#include "ApiTestBed.h"
#include "BuildConfig.h"
#include "Settle.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QElapsedTimer>
#include <QtTest>

Q_DECLARE_METATYPE(WebService)

namespace {
const QString appBearer = QStringLiteral("Bearer ") + QString::fromUtf8(BuildConfig::appToken);

// What one request ended in.
struct Outcome {
    int successes = 0;
    int failures = 0;
    std::optional<QByteArray> body;
    ApiError error;
};

void send(Outcome &out, WebService service, bool isPost, const ApiManager::Parameters &parameters = {})
{
    ApiManager::shared().sendRequest(
        service, isPost, parameters,
        [&out](const ApiError &error) {
            ++out.failures;
            out.error = error;
        },
        [&out](const std::optional<QByteArray> &body, int) {
            ++out.successes;
            out.body = body;
        });
}
} // namespace

class TestApiManager : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApiTestBed> bed;

private slots:
    void init()
    {
        bed = std::make_unique<ApiTestBed>();
        bed->startReachability();
    }
    void cleanup() { bed.reset(); }

    void headersFollowTheStoredSession_data()
    {
        QTest::addColumn<QVariant>("token");    // invalid: key absent
        QTest::addColumn<QVariant>("language"); // invalid: key absent
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("authorization");
        QTest::addColumn<QString>("localization");
        QTest::newRow("signed out") << QVariant() << QVariant() << "de" << appBearer << "de";
        QTest::newRow("empty token") << QVariant(QString()) << QVariant("en") << "de" << appBearer << "en";
        QTest::newRow("signed in") << QVariant("user-token-7f3a9c") << QVariant("fr") << "de"
                                   << "Bearer user-token-7f3a9c"
                                   << "fr";
        QTest::newRow("no language anywhere") << QVariant("t") << QVariant() << ""
                                              << "Bearer t"
                                              << "empty language code";
        QTest::newRow("language not a string") << QVariant() << QVariant(qint64(3)) << "de" << appBearer << "de";
    }
    void headersFollowTheStoredSession()
    {
        QFETCH(QVariant, token);
        QFETCH(QVariant, language);
        QFETCH(QString, system);
        QFETCH(QString, authorization);
        QFETCH(QString, localization);
        PreferencesStore &prefs = PreferencesStore::shared();
        if (token.isValid())
            prefs.setString(PrefKey::loginToken, token.toString());
        if (language.typeId() == QMetaType::QString)
            prefs.setString(PrefKey::CurrentLanguage, language.toString());
        else if (language.isValid())
            prefs.setInteger(PrefKey::CurrentLanguage, language.toLongLong());
        ApiManager::shared().setSystemLanguage([system] { return system; });
        bed->server.answer("logout", 200, ApiTestBed::fixture("logout.json"));

        Outcome out;
        send(out, WebService::logout, true);
        QVERIFY(bed->waitForNewRequests(1));
        const StubHttpServer::Request request = bed->newRequests().first();
        QCOMPARE(QString::fromUtf8(request.header("Authorization")), authorization);
        QCOMPARE(QString::fromUtf8(request.header("X-localization")), localization);
        QTRY_COMPARE(out.successes, 1);
    }

    void getCarriesNoParameters()
    {
        bed->server.answer("category", 200, ApiTestBed::fixture("category.json"));
        Outcome out;
        send(out, WebService::getCategories, false, {{"user_id", "7"}, {"page", "2"}});
        QTRY_COMPARE(out.successes, 1);
        const StubHttpServer::Request request = bed->newRequests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.path, QStringLiteral("category"));
        QVERIFY(request.body.isEmpty());
        QVERIFY(!request.hasHeader("Content-Type"));
        QCOMPARE(out.body, std::optional(ApiTestBed::fixture("category.json")));
        // Only the log shows them.
        QVERIFY(bed->log.lines.contains(QStringLiteral("Param: [\"page\": \"2\", \"user_id\": \"7\"]\n")));
    }

    void postSendsAFormBody()
    {
        bed->server.answer("signup", 200, ApiTestBed::fixture("signup.json"));
        Outcome out;
        send(out, WebService::signup, true,
             {{"password", "p w&x=y+z/é?"}, {"email", "ada+1@example.org"}, {"device_name", "Ada's Mac"}});
        QTRY_COMPARE(out.successes, 1);
        const StubHttpServer::Request request = bed->newRequests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded; charset=utf-8"));
        QCOMPARE(request.body, QByteArray("device_name=Ada%27s%20Mac&email=ada%2B1%40example.org&"
                                          "password=p%20w%26x%3Dy%2Bz%2F%C3%A9%3F"));
        const QList<QPair<QString, QString>> form{
            {"device_name", "Ada's Mac"}, {"email", "ada+1@example.org"}, {"password", "p w&x=y+z/é?"}};
        QCOMPARE(request.form(), form);
    }

    void statusCodes_data()
    {
        QTest::addColumn<WebService>("service");
        QTest::addColumn<bool>("isPost");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("loggedOut");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<QStringList>("hooks");
        QTest::addColumn<bool>("emptied");

        const QByteArray envelope = ApiTestBed::fixture("login-refused.json");
        const QStringList none;
        using W = WebService;
        QTest::newRow("200") << W::login << true << 200 << envelope << false << true << "" << none << false;
        QTest::newRow("204 without body")
            << W::logout << true << 204 << QByteArray() << false << true << "" << none << false;
        QTest::newRow("500 with envelope")
            << W::checkPin << true << 500 << envelope << false << true << "error Code :500" << none << false;
        QTest::newRow("502 from a proxy") << W::blockWebsite << true << 502 << QByteArray("<html>Bad gateway</html>")
                                          << false << true << "error Code :502" << none << false;
        QTest::newRow("401 to a GET") << W::getCategories << false << 401 << envelope << false << true << "" << none
                                      << false;
        const QString ended = QStringLiteral("Your session has ended. Please sign in again.");
        QTest::newRow("401 to a POST") << W::blockCategory << true << 401 << envelope << false << false << ended
                                       << QStringList{"endSheet", "launchScreen"} << true;
        QTest::newRow("401 to sync-url signed in") << W::syncURL << true << 401 << envelope << false << false << ended
                                                   << QStringList{"endSheet", "launchScreen"} << true;
        QTest::newRow("401 to sync-url signed out")
            << W::syncURL << true << 401 << envelope << true << false << "" << QStringList{"front"} << false;
        QTest::newRow("401 to a POST signed out")
            << W::login << true << 401 << envelope << true << false << "" << QStringList{"launchScreen"} << true;
    }
    void statusCodes()
    {
        QFETCH(WebService, service);
        QFETCH(bool, isPost);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, loggedOut);
        QFETCH(bool, delivered);
        QFETCH(QString, alert);
        QFETCH(QStringList, hooks);
        QFETCH(bool, emptied);

        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isLogin, !loggedOut);
        prefs.setBool(PrefKey::isLoggedOut, loggedOut);
        prefs.setString(PrefKey::loginToken, QStringLiteral("user-token-7f3a9c"));
        prefs.setBool(PrefKey::dnsLastStatus, true);
        prefs.setStringArray(PrefKey::blockedAppDetails, {QStringLiteral("Steam")});
        // The sheet ends before the store is emptied; the launch screen comes after it was rewritten.
        QStringList storeAtHook;
        ApiWindowHooks recording;
        recording.bringFirstWindowToFront = [&] { bed->hookCalls << "front"; };
        recording.endAttachedSheet = [&] {
            bed->hookCalls << "endSheet";
            storeAtHook << QString::number(prefs.contains(PrefKey::loginToken));
        };
        recording.showLaunchScreen = [&] {
            bed->hookCalls << "launchScreen";
            storeAtHook << QString::number(prefs.contains(PrefKey::loginToken)) +
                               (prefs.boolForKey(PrefKey::isLoggedOut) ? "o" : "");
        };
        ApiManager::shared().setWindowHooks(recording);

        bed->server.answer(path(service), status, body);
        Outcome out;
        send(out, service, isPost, {{"x", "1"}});
        QTRY_VERIFY(bed->log.contains(QStringLiteral("Response Data - ")));

        QCOMPARE(out.successes, delivered ? 1 : 0);
        QCOMPARE(out.failures, 0);
        if (delivered)
            QCOMPARE(out.body, body.isEmpty() ? std::nullopt : std::optional(body));
        QCOMPARE(bed->alerts.alerts.size(), alert.isEmpty() ? 0 : 1);
        if (!alert.isEmpty())
            QCOMPARE(bed->alerts.alerts.first(),
                     qMakePair(status == 401 ? QStringLiteral("Signed out") : QStringLiteral("Ooops"), alert));
        QCOMPARE(bed->hookCalls, hooks);
        if (emptied) {
            // The session ends; what protects the computer stays.
            QVERIFY(!prefs.contains(PrefKey::loginToken));
            QVERIFY(prefs.boolForKey(PrefKey::dnsLastStatus));
            QCOMPARE(prefs.stringArrayForKey(PrefKey::blockedAppDetails), QStringList{"Steam"});
            QCOMPARE(prefs.boolForKey(PrefKey::isLogin), false);
            QCOMPARE(prefs.boolForKey(PrefKey::isLoggedOut), true);
            // And on disk, not only in memory.
            PreferencesStore reread(prefs.filePath());
            QVERIFY(!reread.contains(PrefKey::loginToken));
            QCOMPARE(reread.boolForKey(PrefKey::isLoggedOut), true);
            QCOMPARE(storeAtHook.last(), QStringLiteral("0o"));
            if (hooks.contains("endSheet"))
                QCOMPARE(storeAtHook.first(), QStringLiteral("1"));
        } else {
            QCOMPARE(prefs.stringForKey(PrefKey::loginToken), std::optional<QString>("user-token-7f3a9c"));
            QCOMPARE(prefs.boolForKey(PrefKey::isLoggedOut), loggedOut);
        }
    }

    void unreachableSendsNothing_data()
    {
        QTest::addColumn<bool>("monitor");
        QTest::addColumn<bool>("mainWindow");
        QTest::newRow("network down, window open") << true << true;
        QTest::newRow("network down, no window") << true << false;
        QTest::newRow("no monitor yet") << false << true;
    }
    void unreachableSendsNothing()
    {
        QFETCH(bool, monitor);
        QFETCH(bool, mainWindow);
        if (!monitor) {
            ApiManager::resetShared();
            ApiManager::shared().setApiBase(bed->server.apiBase());
            ApiWindowHooks hooks;
            hooks.mainWindowExists = [] { return true; };
            ApiManager::shared().setWindowHooks(hooks);
        } else {
            bed->flags->change({});
            // The change itself asks for the account status, and is refused the same way.
            QTRY_VERIFY(bed->log.contains(QStringLiteral("reachability changed")));
            bed->mark();
        }
        bed->mainWindow = mainWindow;
        bed->server.answer("blockcategory", 200, ApiTestBed::fixture("blockcategory.json"));
        Outcome out;
        send(out, WebService::blockCategory, true, {{"category_id", "2"}});
        QCOMPARE(bed->alerts.alerts.size(), mainWindow ? 1 : 0);
        if (mainWindow)
            QCOMPARE(bed->alerts.alerts.first(),
                     qMakePair(QStringLiteral("Ooops"), QStringLiteral("Network Not Reachable")));

        // A request sent once the network is back is the first one the server sees.
        bed->server.answer("logout", 200, ApiTestBed::fixture("logout.json"));
        if (monitor) {
            bed->flags->change(ReachabilityFlag::Reachable);
            QVERIFY(bed->waitForNewRequests(1));
        } else {
            ApiManager::shared().setupReachability(bed->flags);
        }
        Outcome later;
        send(later, WebService::logout, true);
        QTRY_COMPARE(later.successes, 1);
        settle();
        for (const StubHttpServer::Request &request : bed->newRequests())
            QVERIFY2(request.path != QLatin1String("blockcategory"), "a request left while unreachable");
        QCOMPARE(out.successes + out.failures, 0);
    }

    // Where nothing reports the network, requests are tried instead of refused for good.
    void withoutNetworkInformationRequestsAreTried()
    {
        ApiManager::resetShared();
        ApiManager::shared().setApiBase(bed->server.apiBase());
        auto silent = std::make_shared<FakeFlagSource>();
        silent->callbackError = 1;
        ApiManager::shared().setupReachability(silent);
        bed->server.answer("logout", 200, ApiTestBed::fixture("logout.json"));
        Outcome out;
        send(out, WebService::logout, true);
        QTRY_COMPARE(out.successes, 1);
        QVERIFY(bed->alerts.alerts.isEmpty());
    }

    void everyReachabilityChangeSendsOneSyncUrl()
    {
        bed->mainWindow = false;
        bed->flags->change({});
        QTRY_VERIFY(bed->log.contains(QStringLiteral("reachability changed")));
        QVERIFY(bed->log.contains(QStringLiteral("not reachable")));

        bed->flags->change(ReachabilityFlag::Reachable | ReachabilityFlag::IsDirect);
        QVERIFY(bed->waitForNewRequests(1));
        QTRY_VERIFY(bed->log.contains(QStringLiteral("sync-url JSON: ")));
        // The same flags once more are not a change.
        bed->flags->change(ReachabilityFlag::Reachable | ReachabilityFlag::IsDirect);
        settle();

        const QList<StubHttpServer::Request> requests = bed->newRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().path, QStringLiteral("sync-url"));
        QCOMPARE(requests.first().header("Authorization"), appBearer.toUtf8());
        QCOMPARE(bed->log.lines.count(QStringLiteral("reachability changed")), 2);
        QVERIFY(bed->log.contains(QStringLiteral("reached")));
    }

    void transportFailures_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("time-out") << false;
        QTest::newRow("connection refused") << true;
    }
    void transportFailures()
    {
        QFETCH(bool, refused);
        if (refused)
            QVERIFY(ApiManager::shared().setApiBase(
                QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(unusedLocalPort()))));
        bed->server.answer("checkPin", 200, ApiTestBed::fixture("checkPin.json"), 3000);
        ApiManager::shared().setTransferTimeout(300);
        QElapsedTimer clock;
        clock.start();
        Outcome out;
        send(out, WebService::checkPin, true, {{"pin", "111111"}});
        QTRY_COMPARE(out.failures, 1);
        QVERIFY(clock.elapsed() < 2500);
        QCOMPARE(out.successes, 0);
        QCOMPARE(out.error.timedOut, !refused);
        if (refused)
            QCOMPARE(out.error.code, QNetworkReply::ConnectionRefusedError);
        QVERIFY(bed->log.contains(QStringLiteral("Error : ") + out.error.description));
        QCOMPARE(bed->log.lines.last(), QString(74, QLatin1Char('=')));
        QVERIFY(bed->alerts.alerts.isEmpty());
    }

    void apiBaseIsHttpsOrLoopback_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << "https://api.example.org/api/v3/" << true;
        QTest::newRow("loopback v4") << "http://127.0.0.1:8787/api/v3/" << true;
        QTest::newRow("other loopback v4") << "http://127.1.2.3/api/v3/" << true;
        QTest::newRow("loopback v6") << "http://[::1]:8787/api/v3/" << true;
        QTest::newRow("localhost") << "http://localhost:8787/api/v3/" << true;
        QTest::newRow("plain http elsewhere") << "http://api.example.org/api/v3/" << false;
        QTest::newRow("loopback look-alike") << "http://127.0.0.1.example.org/api/v3/" << false;
        QTest::newRow("private address") << "http://192.168.1.10/api/v3/" << false;
        QTest::newRow("other scheme") << "ftp://127.0.0.1/api/v3/" << false;
    }
    void apiBaseIsHttpsOrLoopback()
    {
        QFETCH(QString, base);
        QFETCH(bool, accepted);
        const QUrl before = ApiManager::shared().apiBase();
        QCOMPARE(ApiManager::shared().setApiBase(QUrl(base)), accepted);
        QCOMPARE(ApiManager::shared().apiBase(), accepted ? QUrl(base) : before);
    }

    // One whole exchange as it appears on standard output, secrets replaced.
    void exchangeIsLoggedWithoutSecrets()
    {
        PreferencesStore::shared().setString(PrefKey::loginToken, QStringLiteral("stored-login-token"));
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        bed->server.answer("login", 200, ApiTestBed::fixture("login.json"));
        Outcome out;
        send(out, WebService::login, true,
             {{"email", "ada@example.org"},
              {"password", "s3cret pw"},
              {"token", "google-access-token"},
              {"pin", "482913"},
              {"old_pin", "135790"},
              {"dns_key", "k3ydevicek3y"},
              {"social_media", "0"}});
        QTRY_COMPARE(out.successes, 1);

        const QString url = bed->server.apiBase().toString() + QStringLiteral("login");
        const QStringList expectedStart{
            QString(74, QLatin1Char('=')),
            QStringLiteral("API: ") + url + QStringLiteral(" \n"),
            QStringLiteral("Param: [\"dns_key\": \"<redacted>\", \"email\": \"ada@example.org\", \"old_pin\": \"<redacted>\", \"password\": "
                           "\"<redacted>\", \"pin\": \"<redacted>\", \"social_media\": \"0\", \"token\": "
                           "\"<redacted>\"]\n"),
            QStringLiteral("Header: [\"Authorization\": \"<redacted>\", \"X-localization\": \"en\"]\n"),
            QStringLiteral("Response Data - %1 bytes").arg(ApiTestBed::fixture("login.json").size()),
        };
        QCOMPARE(bed->log.lines.mid(0, 5), expectedStart);
        QVERIFY(bed->log.lines.value(5).startsWith(QLatin1String("login JSON: {")));
        QVERIFY(bed->log.lines.value(5).contains(QLatin1String("\"token\":\"<redacted>\"")));
        QVERIFY(bed->log.lines.value(5).contains(QLatin1String("\"pin\":\"<redacted>\"")));
        for (const char *secret : {"s3cret", "google-access-token", "482913", "135790", "stored-login-token", "k3ydevicek3y",
                                   "user-token-7f3a9c", BuildConfig::appToken}) {
            for (const QString &line : bed->log.lines)
                QVERIFY2(!line.contains(QLatin1String(secret)), qPrintable(line));
        }
        qDebug().noquote() << "\n" + bed->log.lines.join(QLatin1Char('\n'));
    }
};

QTEST_GUILESS_MAIN(TestApiManager)
#include "tst_apimanager.moc"
