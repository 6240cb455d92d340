// Every endpoint operation against the stub server: the exact request on the wire, the decoded
// answer, and what each answer changes in the preferences and the log.
#include "ApiTestBed.h"
#include "api/CommonWS.h"
#include "api/FocusState.h"
#include "platform/DeviceIdentity.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <QtTest>

namespace {
using Done = std::function<void(const QJsonObject &record, bool ok)>;
using Call = std::function<void(Done)>;

template <class T> CommonWS::Completion<T> capture(Done done)
{
    return [done](const T &record, bool ok) { done(encodeRecord(record), ok); };
}

CommonWS &ws()
{
    return CommonWS::shared();
}

QJsonObject withoutNulls(const QJsonObject &in)
{
    QJsonObject out;
    for (auto it = in.begin(); it != in.end(); ++it) {
        if (it->isObject())
            out.insert(it.key(), withoutNulls(it->toObject()));
        else if (it->isArray()) {
            QJsonArray items;
            for (const QJsonValue &item : it->toArray())
                items.append(item.isObject() ? QJsonValue(withoutNulls(item.toObject())) : item);
            out.insert(it.key(), items);
        } else if (!it->isNull()) {
            out.insert(it.key(), *it);
        }
    }
    return out;
}

QJsonObject fixtureObject(const QString &name)
{
    return QJsonDocument::fromJson(ApiTestBed::fixture(name)).object();
}

// Values that must never reach the log, whatever the endpoint.
const QStringList secrets{
    "s3cret", "482913", "111111", "135790", "246802", "social-access-token", "user-token-7f3a9c", "user-token-12b"};
} // namespace

Q_DECLARE_METATYPE(Call)

class TestCommonWS : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApiTestBed> bed;

    // Runs one operation; the record comes back re-encoded, so it compares as JSON.
    struct Result {
        int completions = 0;
        bool ok = false;
        QJsonObject record;
    };
    // Waits until the operation completed or its request failed.
    std::shared_ptr<Result> run(const Call &call)
    {
        auto result = std::make_shared<Result>();
        call([result](const QJsonObject &record, bool ok) {
            ++result->completions;
            result->ok = ok;
            result->record = record;
        });
        const bool ended = QTest::qWaitFor(
            [&] { return result->completions > 0 || bed->log.contains(QStringLiteral("error found in api calling")); });
        if (!ended)
            qWarning("the operation neither completed nor failed");
        return result;
    }

private slots:
    void init()
    {
        bed = std::make_unique<ApiTestBed>();
        bed->startReachability();
    }
    void cleanup() { bed.reset(); }

    void endpointsOnTheWire_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<bool>("storedUser"); // "user_id" = 7 is stored beforehand
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QJsonObject>("decoded"); // empty: the answer itself
        QTest::addColumn<QString>("logLine");
        const auto add = [](const char *name, Call call, bool storedUser, const char *path, const QByteArray &body,
                            const char *answer, const QJsonObject &decoded = {}, const char *logLine = "") {
            const QByteArray method = QByteArray(name) == "category" ? "GET" : "POST";
            QTest::newRow(name) << call << storedUser << method << QString::fromLatin1(path) << body
                                << QString::fromLatin1(answer) << decoded << QString::fromLatin1(logLine);
        };

        const QByteArray uuid = "platform_unique_id=" + QUrl::toPercentEncoding(platformUUID());
        const QByteArray device = "device_name=" + QUrl::toPercentEncoding(defaultDeviceName());
        // Calls a lock may refuse carry the time zone the refusal names its end in.
        const QByteArray tz = "time_zone=" + QUrl::toPercentEncoding(QString::fromUtf8(QTimeZone::systemTimeZoneId()));
        // The account status carries more than the client reads.
        QJsonObject syncDecoded = fixtureObject("sync-url.json");
        const QJsonObject syncData = syncDecoded["data"].toObject();
        syncDecoded.insert("data", QJsonObject{{"pin_protection", syncData["pin_protection"]},
                                               {"device_protected", syncData["device_protected"]},
                                               {"blocked_apps", syncData["blocked_apps"]}});

        add(
            "signup",
            [](Done d) { ws().signup("Desk", "new@example.org", "s3cret pw", capture<BaseModel<AuthModel>>(d)); }, true,
            "signup", "device_name=Desk&email=new%40example.org&password=s3cret%20pw&profile_id=0&social_media=0",
            "signup.json");
        add(
            "login, e-mail",
            [](Done d) { ws().login("ada@example.org", " s3cret ", capture<BaseModel<AuthModel>>(d)); }, true, "login",
            "email=ada%40example.org&password=%20s3cret%20&" + uuid + "&social_media=0", "login.json");
        add(
            "login, Google",
            [](Done d) {
                ws().socialLogin(CommonWS::SocialMedia::google, "ada@example.org", "social-access-token", "1098",
                                 capture<BaseModel<AuthModel>>(d));
            },
            true, "login",
            device + "&email=ada%40example.org&" + uuid + "&profile_id=1098&social_media=2&token=social-access-token",
            "login.json");
        add(
            "login, Facebook",
            [](Done d) {
                ws().socialLogin(CommonWS::SocialMedia::facebook, "ada@example.org", "social-access-token", "77",
                                 capture<BaseModel<AuthModel>>(d));
            },
            true, "login",
            device + "&email=ada%40example.org&" + uuid + "&profile_id=77&social_media=1&token=social-access-token",
            "signup.json");
        add(
            "forgot-password", [](Done d) { ws().forgotPassword("ada@example.org", capture<BaseModel<AuthModel>>(d)); },
            true, "forgot-password", "email=ada%40example.org", "forgot-password.json");
        add(
            "update-profile",
            [](Done d) {
                ws().updateProfile("Ada King", "Study desktop", "s3cret", capture<BaseModel<UpdateProfile>>(d));
            },
            true, "update-profile", "device_name=Study%20desktop&name=Ada%20King&password=s3cret",
            "update-profile.json");
        add(
            "setupPin forever",
            [](Done d) { ws().setupPin(CommonWS::foreverHours, "482913", capture<BaseModel<SetupPinModel>>(d)); },
            true, "setupPin", "pin=482913&time=175200&" + tz, "setupPin.json");
        add(
            "checkPin", [](Done d) { ws().checkPin(2, "111111", capture<BaseModel<CheckPinModel>>(d)); }, true,
            "checkPin", "attempt=2&pin=111111&user_id=7", "checkPin.json");
        add(
            "checkPin without user_id",
            [](Done d) { ws().checkPin(1, "111111", capture<BaseModel<CheckPinModel>>(d)); }, false, "checkPin",
            "attempt=1&pin=111111&user_id=", "checkPin.json");
        add(
            "retrievePin", [](Done d) { ws().retrievePin(capture<BaseModel<RetrievePinModel>>(d)); }, true,
            "retrievePin", "user_id=7", "retrievePin.json");
        add(
            "updatePin", [](Done d) { ws().updatePin("135790", "246802", capture<BaseModel<UpdatePinModel>>(d)); },
            true, "updatePin", "old_pin=135790&pin=246802&" + tz, "updatePin.json");
        add(
            "removepin", [](Done d) { ws().removePin(capture<DisablePinModel>(d)); }, true, "removepin", tz,
            "removepin.json");
        add(
            "getblockwebsitebyuser",
            [](Done d) { ws().getBlockWebsiteByUser(1, capture<BaseModel<BlockWebsiteModel>>(d)); }, true,
            "getblockwebsitebyuser?page=1", "user_id=7", "getblockwebsitebyuser.json");
        add(
            "getblockwebsitebyuser, page 2 on the API base",
            [](Done d) { ws().getBlockWebsiteByUser(2, capture<BaseModel<BlockWebsiteModel>>(d)); }, true,
            "getblockwebsitebyuser?page=2", "user_id=7", "getblockwebsitebyuser.json");
        add(
            "blockwesitebyuser without user_id",
            [](Done d) { ws().blockWebsite("video.example.org", capture<BaseModel<BlockData>>(d)); }, false,
            "blockwesitebyuser", "domain=video.example.org&user_id=", "blockwesitebyuser.json");
        add(
            "unblockwesitebyuser", [](Done d) { ws().unblockWebsite(41, capture<UnblockWebsiteModel>(d)); }, true,
            "unblockwesitebyuser", "domain_id=41&" + tz, "unblockwesitebyuser.json");
        add(
            "sync-url", [](Done d) { ws().syncURL(capture<BaseModel<SyncURLModel>>(d)); }, true, "sync-url",
            uuid + "&protection=0", "sync-url.json", syncDecoded);
        add(
            "category", [](Done d) { ws().getCategories(capture<BaseModel<CategoryList>>(d)); }, true, "category", "",
            "category.json");
        add(
            "blockcategory", [](Done d) { ws().blockCategory(2, capture<BaseModel<BlockCategoryModel>>(d)); }, true,
            "blockcategory", "category_id=2", "blockcategory.json", {}, "Block Category Response - {\"code\":200,");
        add(
            "unblockcategory", [](Done d) { ws().unblockCategory(2, capture<BaseModel<UnblockCategoryModel>>(d)); },
            true, "unblockcategory", "category_id=2&" + tz, "unblockcategory.json");
        add(
            "focus-start",
            [](Done d) {
                ws().focusStart(25, {"news.example.net", "video.example.org"}, {2, 4},
                                capture<BaseModel<FocusStatusModel>>(d));
            },
            true, "focus-start",
            "categories=2%2C4&minutes=25&" + uuid + "&" + tz + "&websites=news.example.net%2Cvideo.example.org",
            "focus-status.json");
        add(
            "focus-status", [](Done d) { ws().focusStatus(capture<BaseModel<FocusStatusModel>>(d)); }, true,
            "focus-status", "", "focus-status.json");
        add(
            "save-schedule",
            [](Done d) {
                ws().saveSchedule({0, "Work hours", {1, 2, 3, 4, 5}, "09:00", "17:00", "Europe/Paris", {}, {3}, true, false},
                                  capture<BaseModel<FocusStatusModel>>(d));
            },
            true, "save-schedule",
            "categories=3&days=1%2C2%2C3%2C4%2C5&end=17%3A00&id=0&locks=1&name=Work%20hours&start=09%3A00&"
            "time_zone=Europe%2FParis&websites=",
            "focus-status.json");
        add(
            "delete-schedule", [](Done d) { ws().deleteSchedule(3, capture<BaseModel<FocusStatusModel>>(d)); }, true,
            "delete-schedule", "id=3&" + tz, "focus-status.json");
        add(
            "logout", [](Done d) { ws().logout(capture<LogoutModel>(d)); }, true, "logout", "", "logout.json", {},
            "Logout Response - {\"code\":200,\"data\":[],");
    }
    void endpointsOnTheWire()
    {
        QFETCH(Call, call);
        QFETCH(bool, storedUser);
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, answer);
        QFETCH(QJsonObject, decoded);
        QFETCH(QString, logLine);

        if (storedUser)
            PreferencesStore::shared().setInteger(PrefKey::user_id, 7);
        bed->server.answer(path, 200, ApiTestBed::fixture(answer));
        const auto result = run(call);

        const QList<StubHttpServer::Request> requests = bed->newRequests();
        QCOMPARE(requests.size(), 1);
        const StubHttpServer::Request &request = requests.first();
        QCOMPARE(request.method, method);
        QCOMPARE(request.path, path);
        QCOMPARE(request.body, body);
        if (method == "POST")
            QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded; charset=utf-8"));

        QCOMPARE(result->completions, 1);
        QVERIFY(result->ok);
        QCOMPARE(result->record, decoded.isEmpty() ? withoutNulls(fixtureObject(answer)) : decoded);
        if (!logLine.isEmpty())
            QVERIFY2(bed->log.contains(logLine), qPrintable(bed->log.lines.join('\n')));
        for (const QString &line : bed->log.lines) {
            for (const QString &secret : secrets)
                QVERIFY2(!line.contains(secret), qPrintable(line));
        }
    }

    void userAnswersStoreTheAccount_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("stored"); // e-mail, name, device, id
        const QStringList before{"old@example.org", "Old Name", "Old device", "3"};
        const Call login = [](Done d) { ws().login("old@example.org", "s3cret", capture<BaseModel<AuthModel>>(d)); };
        QTest::newRow("sign-in") << login << "login" << 200 << "login.json"
                                 << QStringList{"ada@example.org", "Ada Byron", "ThinkPad X1", "7"};
        QTest::newRow("sign-up without name") << Call([](Done d) {
            ws().signup("Desktop", "new@example.org", "s3cret", capture<BaseModel<AuthModel>>(d));
        }) << "signup" << 200 << "signup.json" << QStringList{"new@example.org", "", "Desktop", "12"};
        QTest::newRow("profile update") << Call([](Done d) {
            ws().updateProfile("Ada King", "Study desktop", "s3cret", capture<BaseModel<UpdateProfile>>(d));
        }) << "update-profile" << 200 << "update-profile.json"
                                        << QStringList{"ada@example.org", "Ada King", "Study desktop", "7"};
        // A wrong password must leave the address the password step reads back.
        QTest::newRow("refused sign-in") << login << "login" << 200 << "login-refused.json" << before;
        QTest::newRow("refused sign-in, error status") << login << "login" << 422 << "login-refused.json" << before;
        QTest::newRow("answer that does not decode") << login << "login" << 200 << "checkPin.json" << before;
    }
    void userAnswersStoreTheAccount()
    {
        QFETCH(Call, call);
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QString, answer);
        QFETCH(QStringList, stored);
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setString(PrefKey::user_email, "old@example.org");
        prefs.setString(PrefKey::user_name, "Old Name");
        prefs.setString(PrefKey::user_device, "Old device");
        prefs.setInteger(PrefKey::user_id, 3);
        bed->server.answer(path, status, ApiTestBed::fixture(answer));
        QCOMPARE(run(call)->completions, 1);

        PreferencesStore reread(prefs.filePath());
        const QStringList now{reread.stringForKey(PrefKey::user_email).value_or("-"),
                              reread.stringForKey(PrefKey::user_name).value_or("-"),
                              reread.stringForKey(PrefKey::user_device).value_or("-"),
                              reread.textForKey(PrefKey::user_id).value_or("-")};
        QCOMPARE(now, stored);
        // Kept as a number, not as text.
        QCOMPARE(reread.integerForKey(PrefKey::user_id), stored.last().toLongLong());
    }

    void syncUrlWritesThePinState_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("after");
        QTest::addColumn<QString>("logLine");
        // The account-status answer with its payload edited.
        const auto answer = [](const std::function<void(QJsonObject & envelope, QJsonObject & data)> &edit) {
            QJsonObject envelope = fixtureObject("sync-url.json");
            QJsonObject data = envelope["data"].toObject();
            edit(envelope, data);
            if (envelope.contains("data"))
                envelope.insert("data", data);
            return QJsonDocument(envelope).toJson();
        };
        QTest::newRow("PIN record") << answer([](QJsonObject &, QJsonObject &) {}) << false << true << "";
        QTest::newRow("no PIN record") << answer([](QJsonObject &, QJsonObject &d) { d.remove("pin_protection"); })
                                       << true << false << "";
        QTest::newRow("PIN record null") << answer([](QJsonObject &, QJsonObject &d) {
            d.insert("pin_protection", QJsonValue::Null);
        }) << true << false << "";
        QTest::newRow("no data") << answer([](QJsonObject &e, QJsonObject &) { e.remove("data"); }) << true << false
                                 << "";
        QTest::newRow("status false") << answer([](QJsonObject &e, QJsonObject &) { e.insert("status", false); })
                                      << false << false << "error in syncing stauts false";
        QTest::newRow("does not decode") << answer([](QJsonObject &, QJsonObject &d) {
            d.insert("pin_protection", QJsonObject{{"id", 1}});
        }) << false << false << "Error while decoding - \"data.pin_protection.user_id\": required key is missing";
    }
    void syncUrlWritesThePinState()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, before);
        QFETCH(bool, after);
        QFETCH(QString, logLine);
        PreferencesStore::shared().setBool(PrefKey::isPinSeted, before);
        bed->server.answer("sync-url", 200, body);

        const auto result = run([](Done d) { ws().syncURL(capture<BaseModel<SyncURLModel>>(d)); });
        QCOMPARE(result->completions, 1);
        QCOMPARE(PreferencesStore::shared().boolForKey(PrefKey::isPinSeted), after);
        if (!logLine.isEmpty())
            QVERIFY2(bed->log.contains(logLine), qPrintable(bed->log.lines.join('\n')));
    }

    void answersThatDoNotDecode_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("logLines");
        QTest::newRow("PIN as text") << Call([](Done d) {
            ws().checkPin(1, "111111", capture<BaseModel<CheckPinModel>>(d));
        }) << "checkPin" << 200 << ApiTestBed::fixture("setupPin.json")
                                     << QStringList{
                                            "Error while decoding - \"data.time\": expected an integer, found a "
                                            "string"};
        QTest::newRow("reset answered with HTML")
            << Call([](Done d) { ws().forgotPassword("ada@example.org", capture<BaseModel<AuthModel>>(d)); })
            << "forgot-password" << 503 << QByteArray("<html>Down for maintenance</html>")
            << QStringList{"JSON Serialization Error - not valid JSON", "Error while decoding - body: not valid JSON",
                           "============== Error while decoding the model "
                           "response ==================="};
        QTest::newRow("no body at all") << Call([](Done d) { ws().logout(capture<LogoutModel>(d)); }) << "logout" << 204
                                        << QByteArray()
                                        << QStringList{"Response Data - nil",
                                                       "Error while decoding - body: the answer has no body"};
    }
    void answersThatDoNotDecode()
    {
        QFETCH(Call, call);
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, logLines);
        bed->server.answer(path, status, body);
        const auto result = run(call);
        QCOMPARE(result->completions, 1);
        QVERIFY(!result->ok);
        for (const QString &line : logLines)
            QVERIFY2(bed->log.contains(line), qPrintable(bed->log.lines.join('\n')));
    }

    void errorStatusStillDeliversTheEnvelope()
    {
        bed->server.answer("login", 500, ApiTestBed::fixture("login-refused.json"));
        const auto result =
            run([](Done d) { ws().login("ada@example.org", "s3cret", capture<BaseModel<AuthModel>>(d)); });
        QCOMPARE(result->completions, 1);
        QVERIFY(result->ok);
        QCOMPARE(result->record["msg"].toString(), QStringLiteral("These credentials do not match our records."));
        QCOMPARE(bed->alerts.alerts, (QList<QPair<QString, QString>>{{"Ooops", "error Code :500"}}));
    }

    // The lock counts down from the server's remaining seconds on a monotonic source; at zero,
    // after a refusal as locked, and never twice at once, the server is asked again.
    void focusStateFollowsTheServer()
    {
        FocusState state;
        qint64 elapsedMs = 0;
        state.setElapsedSource([&elapsedMs] { return elapsedMs; });
        ws().setFocusState(&state);
        QJsonObject sync = fixtureObject("sync-url.json");
        QJsonObject data = sync["data"].toObject();
        data.insert("lock_seconds", 90);
        data.insert("focus", QJsonObject{{"started_at", "2026-12-08 09:05:00"}, {"ends_at", "2026-12-08 09:06:30"},
                                         {"remaining_seconds", 90}, {"websites", QJsonArray{"news.example.net"}},
                                         {"categories", QJsonArray{}}});
        sync.insert("data", data);
        bed->server.answer("sync-url", 200, QJsonDocument(sync).toJson());
        QCOMPARE(run([](Done d) { ws().syncURL(capture<BaseModel<SyncURLModel>>(d)); })->completions, 1);
        QCOMPARE(state.offer(), FocusState::Offer::offered);
        QCOMPARE(state.lockSecondsLeft(), 90);
        elapsedMs = 30'500;
        QCOMPARE(state.lockSecondsLeft(), 60);
        QCOMPARE(state.sessionSecondsLeft(), 60);
        QCOMPARE(FocusState::countdown(state.sessionSecondsLeft()), QStringLiteral("01:00"));
        QCOMPARE(FocusState::describeLeft(3601), QStringLiteral("1 h 01 min"));

        bed->server.answer("focus-status", 200, ApiTestBed::fixture("focus-status.json"));
        bed->mark();
        elapsedMs = 91'000;
        QVERIFY(!state.session());
        state.tick();
        state.tick();
        QTRY_COMPARE(state.lockSecondsLeft(), 1500);
        QCOMPARE(bed->requestsTo("focus-status"), 1);
        QCOMPARE(state.schedules().size(), 1);
        QCOMPARE(state.session()->websites, QStringList{"video.example.org"});

        // A weakening call refused as locked: the lock is learnt again.
        bed->server.answer("unblockwesitebyuser", 200,
                           R"({"status":false,"code":423,"msg":"A focus session holds your blocks until 14:30 (25 min left).","version":"3.0","data":0})");
        bed->mark();
        QCOMPARE(run([](Done d) { ws().unblockWebsite(41, capture<UnblockWebsiteModel>(d)); })->completions, 1);
        QTRY_COMPARE(bed->requestsTo("focus-status"), 1);

        // A server without the services: its 404 says so, without an alert.
        bed->server.answer("focus-status", 404, "<html>Not Found</html>");
        bed->mark();
        state.refresh();
        QTRY_COMPARE(state.offer(), FocusState::Offer::missing);
        QVERIFY(bed->alerts.alerts.isEmpty());
        // An account status with the lock says the services are there; one without, that they are not.
        bed->server.answer("sync-url", 200, QJsonDocument(sync).toJson());
        QCOMPARE(run([](Done d) { ws().syncURL(capture<BaseModel<SyncURLModel>>(d)); })->completions, 1);
        QCOMPARE(state.offer(), FocusState::Offer::offered);
        bed->server.answer("sync-url", 200, ApiTestBed::fixture("sync-url.json"));
        QCOMPARE(run([](Done d) { ws().syncURL(capture<BaseModel<SyncURLModel>>(d)); })->completions, 1);
        QCOMPARE(state.offer(), FocusState::Offer::missing);
        QVERIFY(!state.locked());
        ws().setFocusState(nullptr);
    }

    void transportFailureNeverCompletes()
    {
        QVERIFY(ApiManager::shared().setApiBase(
            QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(unusedLocalPort()))));
        const auto result = run([](Done d) { ws().retrievePin(capture<BaseModel<RetrievePinModel>>(d)); });
        QTRY_VERIFY(bed->log.contains(QStringLiteral("error found in api calling : Connection refused")));
        QCOMPARE(result->completions, 0);
    }
};

QTEST_GUILESS_MAIN(TestCommonWS)
#include "tst_commonws.moc"
