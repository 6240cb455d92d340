// The 17 services over HTTP, against the real nimbrel-server on 127.0.0.1 with a SQLite file.
#include "ServerTestSupport.h"
#include "Settle.h"
#include "StubHttpServer.h"
#include "records/FormEncoding.h"
#include "records/WebService.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace ServerTest;
using Form = ServerClient::Form;

namespace {
const QString wrongPin = QStringLiteral("Please enter a valid otp.");
const QString blockedPin = QStringLiteral("Your pin has been bloked.");
const QString pinFirst = QStringLiteral("Please verify your pin first.");
const QString badCredentials = QStringLiteral("These credentials do not match our records.");
const QString busy = QStringLiteral("The server is busy. Please try again in a moment.");
const qint64 lockedCode = 423;

QString resetLink(const QString &mail)
{
    static const QRegularExpression link(QStringLiteral("(http://\\S+/password/reset\\?token=[A-Za-z0-9_-]+)"));
    return link.match(mail).captured(1);
}
} // namespace

class tst_ServerApi : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<ServerClient> m_client;

    ServerClient &client() { return *m_client; }
    ServerAnswer post(const QString &path, const Form &form, const QByteArray &token, const QByteArray &lang = "en")
    {
        return m_client->post(path, form, token, lang);
    }
    void restart(const QStringList &arguments)
    {
        QVERIFY(m_server->stop());
        QVERIFY(m_server->start(arguments));
        m_client = std::make_unique<ServerClient>(m_server->apiBase());
    }
    Account withPin(const QString &email, const QString &hours = QStringLiteral("24"))
    {
        Account account = signUp(client(), email);
        post(QStringLiteral("setupPin"), {{"time", hours}, {"pin", "482913"}}, account.token);
        return account;
    }
    ServerAnswer get(const QString &path, const QByteArray &token) { return m_client->get(path, token); }
    ServerAnswer checkPin(const Account &a, const QString &pin, const QByteArray &lang = "en")
    {
        return post(QStringLiteral("checkPin"), {{"user_id", QString::number(a.id)}, {"attempt", "1"}, {"pin", pin}},
                    a.token, lang);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_server = std::make_unique<ServerProcess>(QStringLiteral(NIMBREL_SERVER_BINARY), m_dir->path());
        QVERIFY(m_server->start());
        m_client = std::make_unique<ServerClient>(m_server->apiBase());
    }

    void cleanup()
    {
        // SIGTERM ends the server through its normal end, with status 0.
        QVERIFY(m_server->stop());
        m_client.reset();
        m_server.reset();
        m_dir.reset();
    }

    // Every endpoint's accepted and refused answers decode as the app's records and agree
    // with the hand-written fixtures.
    void everyAnswerFitsTheAppsRecords()
    {
        const QByteArray app = ServerProcess::appToken();
        ServerAnswer a = post("signup",
                              {{"social_media", "0"},
                               {"device_name", "Desk"},
                               {"email", "ada@example.org"},
                               {"password", "correct horse"},
                               {"profile_id", "0"}},
                              app);
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(a, "signup.json", true), QString());
        const QByteArray token = a.data()[QStringLiteral("token")].toString().toLatin1();
        const QString id = QString::number(a.data()[QStringLiteral("id")].toInteger());
        a = post("signup", {{"email", "ADA@example.org"}, {"password", "another one"}}, app);
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(a, "login-refused.json", false), QString());

        a = logIn(client(), "ada@example.org", "correct horse");
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(a, "login.json", true), QString());
        a = logIn(client(), "ada@example.org", "wrong horse");
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(a, "login-refused.json", false), QString());

        a = post("forgot-password", {{"email", "ada@example.org"}}, app);
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(a, "forgot-password.json", true), QString());
        a = post("forgot-password", {{"email", "not an address"}}, app);
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(a, "forgot-password.json", false), QString());

        a = post("update-profile", {{"name", "Ada King"}, {"device_name", "Study"}, {"password", ""}}, token);
        QCOMPARE(contractProblem<BaseModel<UpdateProfile>>(a, "update-profile.json", true), QString());
        a = post("update-profile", {{"name", "Ada\nKing"}, {"device_name", "Study"}, {"password", ""}}, token);
        QCOMPARE(contractProblem<BaseModel<UpdateProfile>>(a, "update-profile.json", false), QString());

        a = post("sync-url", {{"platform_unique_id", "abc"}}, token);
        QCOMPARE(contractProblem<BaseModel<SyncURLModel>>(a, "sync-url-no-pin.json", true), QString());
        QVERIFY(!decodeRecord<BaseModel<SyncURLModel>>(a.body)->data->pinProtection);

        a = post("setupPin", {{"time", "175200"}, {"pin", "482913"}}, token);
        QCOMPARE(contractProblem<BaseModel<SetupPinModel>>(a, "setupPin.json", true), QString());
        a = post("setupPin", {{"time", "12"}, {"pin", "111111"}}, token);
        QCOMPARE(contractProblem<BaseModel<SetupPinModel>>(a, "setupPin.json", false), QString());
        QCOMPARE(a.msg(), QStringLiteral("Pin already set"));

        a = post("sync-url", {{"platform_unique_id", "abc"}}, token);
        QCOMPARE(contractProblem<BaseModel<SyncURLModel>>(a, "sync-url.json", true), QString());
        QVERIFY(decodeRecord<BaseModel<SyncURLModel>>(a.body)->data->pinProtection);
        a = logIn(client(), "ada@example.org", "correct horse");
        QVERIFY(decodeRecord<BaseModel<AuthModel>>(a.body)->data->pinProtection);

        a = post("checkPin", {{"user_id", id}, {"attempt", "1"}, {"pin", "000000"}}, token);
        QCOMPARE(contractProblem<BaseModel<CheckPinModel>>(a, "checkPin.json", false), QString());
        a = post("checkPin", {{"user_id", id}, {"attempt", "2"}, {"pin", "482913"}}, token);
        QCOMPARE(contractProblem<BaseModel<CheckPinModel>>(a, "checkPin.json", true), QString());

        a = post("updatePin", {{"old_pin", "000000"}, {"pin", "135790"}}, token);
        QCOMPARE(contractProblem<BaseModel<UpdatePinModel>>(a, "updatePin.json", false), QString());
        a = post("updatePin", {{"old_pin", "482913"}, {"pin", "135790"}}, token);
        QCOMPARE(contractProblem<BaseModel<UpdatePinModel>>(a, "updatePin.json", true), QString());

        a = post("retrievePin", {{"user_id", id}}, token);
        QCOMPARE(contractProblem<BaseModel<RetrievePinModel>>(a, "retrievePin.json", false), QString());

        a = post("blockwesitebyuser", {{"user_id", id}, {"domain", "video.example.org"}}, token);
        QCOMPARE(contractProblem<BaseModel<BlockData>>(a, "blockwesitebyuser.json", true), QString());
        const QString domainID = QString::number(a.data()[QStringLiteral("id")].toInteger());
        a = post("blockwesitebyuser", {{"user_id", id}, {"domain", "video.example.org"}}, token);
        QCOMPARE(contractProblem<BaseModel<BlockData>>(a, "blockwesitebyuser.json", false), QString());
        a = post("getblockwebsitebyuser?page=1", {{"user_id", id}}, token);
        QCOMPARE(contractProblem<BaseModel<BlockWebsiteModel>>(a, "getblockwebsitebyuser.json", true), QString());
        a = post("getblockwebsitebyuser?page=1", {{"user_id", "999"}}, token);
        QCOMPARE(contractProblem<BaseModel<BlockWebsiteModel>>(a, "getblockwebsitebyuser.json", false), QString());

        a = get("category", token);
        QCOMPARE(contractProblem<BaseModel<CategoryList>>(a, "category.json", true), QString());
        a = post("blockcategory", {{"category_id", "2"}}, token);
        QCOMPARE(contractProblem<BaseModel<BlockCategoryModel>>(a, "blockcategory.json", true), QString());
        a = post("blockcategory", {{"category_id", "9999"}}, token);
        QCOMPARE(contractProblem<BaseModel<BlockCategoryModel>>(a, "blockcategory.json", false), QString());
        a = post("unblockcategory", {{"category_id", "3"}}, token);
        QCOMPARE(contractProblem<BaseModel<UnblockCategoryModel>>(a, "unblockcategory.json", false), QString());
        a = post("unblockcategory", {{"category_id", "2"}}, token);
        QCOMPARE(contractProblem<BaseModel<UnblockCategoryModel>>(a, "unblockcategory.json", true), QString());

        a = post("unblockwesitebyuser", {{"domain_id", "999"}}, token);
        QCOMPARE(contractProblem<UnblockWebsiteModel>(a, "unblockwesitebyuser.json", false), QString());
        a = post("unblockwesitebyuser", {{"domain_id", domainID}}, token);
        QCOMPARE(contractProblem<UnblockWebsiteModel>(a, "unblockwesitebyuser.json", true), QString());

        a = post("removepin", {}, token);
        QCOMPARE(contractProblem<DisablePinModel>(a, "removepin.json", true), QString());
        a = post("removepin", {}, token);
        QCOMPARE(contractProblem<DisablePinModel>(a, "removepin.json", false), QString());

        a = post("logout", {}, token);
        QCOMPARE(contractProblem<LogoutModel>(a, "logout.json", true), QString());
    }

    // A service that needs a user answers 401 to anything but a live user token.
    void userServicesNeedALiveToken_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no token") << "none";
        QTest::newRow("unknown token") << "unknown";
        QTest::newRow("built-in token") << "app";
        QTest::newRow("revoked at logout") << "revoked";
        QTest::newRow("expired") << "expired";
    }
    void userServicesNeedALiveToken()
    {
        QFETCH(QString, kind);
        Account account = signUp(client(), "ada@example.org");
        QVERIFY(account.id);
        QByteArray token = account.token;
        if (kind == "none")
            token.clear();
        else if (kind == "unknown")
            token = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
        else if (kind == "app")
            token = ServerProcess::appToken();
        else if (kind == "revoked")
            QVERIFY(post("logout", {}, token).accepted());
        else if (kind == "expired")
            m_server->advance(181 * 24 * 3600);

        for (const char *path : {"update-profile", "setupPin", "checkPin", "retrievePin", "updatePin", "removepin",
                                 "getblockwebsitebyuser?page=1", "blockwesitebyuser", "unblockwesitebyuser",
                                 "blockcategory", "unblockcategory", "logout"})
            QVERIFY2(post(path, {}, token).status == 401, path);
        const ServerAnswer sync = post("sync-url", {{"platform_unique_id", "abc"}}, token);
        if (kind == "app") {
            // Nothing to sync for nobody: a refusal the app does not treat as a sign-out.
            QCOMPARE(sync.status, 200);
            QVERIFY(!sync.accepted());
        } else {
            QCOMPARE(sync.status, 401);
        }
    }

    void publicServicesTakeTheBuiltInToken()
    {
        const Account account = signUp(client(), "ada@example.org");
        QVERIFY(account.id);
        QCOMPARE(post("signup", {{"email", "bob@example.org"}, {"password", "12345678"}}, "made-up").status, 401);
        QCOMPARE(get("category", "made-up").status, 401);
        QCOMPARE(get("category", ServerProcess::appToken()).status, 200);
        QVERIFY(post("logout", {}, account.token).accepted());
        // The app keeps its old token after a logout and signs in again with it.
        const ServerAnswer again = logIn(client(), account.email, account.password, account.token);
        QCOMPARE(again.status, 200);
        QVERIFY(again.accepted());
        const QByteArray fresh = again.data()[QStringLiteral("token")].toString().toLatin1();
        QVERIFY(post("sync-url", {{"platform_unique_id", "abc"}}, fresh).accepted());
        QCOMPARE(post("sync-url", {{"platform_unique_id", "abc"}}, account.token).status, 401);
    }

    // The account is the token's; ids of another account are refused and change nothing.
    void anotherAccountsIdsAreRefused()
    {
        const Account ada = signUp(client(), "ada@example.org");
        const Account bob = signUp(client(), "bob@example.org");
        const ServerAnswer added = post("blockwesitebyuser", {{"user_id", ""}, {"domain", "example.com"}}, ada.token);
        QVERIFY(added.accepted());
        const QString adaDomain = QString::number(added.data()[QStringLiteral("id")].toInteger());
        const QString adaID = QString::number(ada.id);

        const ServerAnswer removed = post("unblockwesitebyuser", {{"domain_id", adaDomain}}, bob.token);
        QVERIFY(!removed.accepted());
        QCOMPARE(removed.msg(), QStringLiteral("This website is not in your blacklist."));
        for (const char *path : {"getblockwebsitebyuser?page=1", "blockwesitebyuser", "checkPin", "retrievePin"}) {
            const ServerAnswer answer = post(path, {{"user_id", adaID}, {"domain", "bob.example"}}, bob.token);
            QVERIFY2(!answer.accepted(), path);
            QCOMPARE(answer.msg(), QStringLiteral("This request is not for the signed-in account."));
        }
        const QJsonArray adaList = post("getblockwebsitebyuser?page=1", {{"user_id", adaID}}, ada.token)
                                       .data()[QStringLiteral("data")]
                                       .toArray();
        QCOMPARE(adaList.size(), 1);
        QCOMPARE(post("getblockwebsitebyuser?page=1", {}, bob.token).data()[QStringLiteral("total")].toInteger(), 0);

        QVERIFY(post("blockcategory", {{"category_id", "1"}}, ada.token).accepted());
        const QJsonArray bobCategories = get("category", bob.token).data().toArray();
        QCOMPARE(bobCategories.first()[QStringLiteral("is_block_category")].toInteger(), 0);
        QCOMPARE(get("category", ada.token).data().toArray().first()[QStringLiteral("is_block_category")].toInteger(),
                 1);
    }

    void wrongPinsBlockThePinForFifteenMinutes_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::newRow("English") << QByteArray("en");
        QTest::newRow("French") << QByteArray("fr");
    }
    void wrongPinsBlockThePinForFifteenMinutes()
    {
        QFETCH(QByteArray, language);
        const Account a = withPin("ada@example.org");
        for (int i = 0; i < 4; ++i)
            QCOMPARE(checkPin(a, "111111", language).msg(), wrongPin);
        QVERIFY(checkPin(a, "482913", language).accepted()); // a right PIN starts the count again
        for (int i = 0; i < 4; ++i)
            QCOMPARE(checkPin(a, "111111", language).msg(), wrongPin);
        QCOMPARE(checkPin(a, "111111", language).msg(), blockedPin);
        QCOMPARE(checkPin(a, "482913", language).msg(), blockedPin); // even the right one
        m_server->advance(14 * 60 + 59);
        QCOMPARE(checkPin(a, "482913", language).msg(), blockedPin);
        m_server->advance(1);
        QVERIFY(checkPin(a, "482913", language).accepted());
        // updatePin counts its old PIN too.
        for (int i = 0; i < 4; ++i)
            QCOMPARE(post("updatePin", {{"old_pin", "000000"}, {"pin", "135790"}}, a.token, language).msg(), wrongPin);
        QCOMPARE(post("updatePin", {{"old_pin", "000000"}, {"pin", "135790"}}, a.token, language).msg(), blockedPin);
        QCOMPARE(post("updatePin", {{"old_pin", "482913"}, {"pin", "135790"}}, a.token, language).msg(), blockedPin);
    }

    void weakeningNeedsARecentPin_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("removepin") << "removepin";
        QTest::newRow("unblockwesitebyuser") << "unblockwesitebyuser";
        QTest::newRow("unblockcategory") << "unblockcategory";
    }
    void weakeningNeedsARecentPin()
    {
        QFETCH(QString, path);
        const Account a = withPin("ada@example.org");
        const Account other = {
            a.id, logIn(client(), a.email, a.password).data()[QStringLiteral("token")].toString().toLatin1(), a.email,
            a.password};
        const ServerAnswer site = post("blockwesitebyuser", {{"domain", "example.com"}}, a.token);
        QVERIFY(post("blockcategory", {{"category_id", "5"}}, a.token).accepted());
        const Form form{{"domain_id", QString::number(site.data()[QStringLiteral("id")].toInteger())},
                        {"category_id", "5"}};

        QCOMPARE(post(path, form, a.token).msg(), pinFirst);
        QVERIFY(checkPin(a, "482913").accepted());
        QCOMPARE(post(path, form, other.token).msg(), pinFirst); // the window is the checking token's only
        m_server->advance(5 * 60);
        QCOMPARE(post(path, form, a.token).msg(), pinFirst);
        QVERIFY(checkPin(a, "482913").accepted());
        m_server->advance(4 * 60);
        QVERIFY(post(path, form, a.token).accepted());
    }

    // During a focus session every weakening request is refused, the PIN verified or not, with
    // the end in the caller's language and zone; adding blocks goes on. The session ends by the
    // server's clock, not a second before.
    void focusSessionLocksWeakening_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Form>("form");
        QTest::newRow("unblockwesitebyuser") << "unblockwesitebyuser" << Form{{"domain_id", "1"}};
        QTest::newRow("unblockcategory") << "unblockcategory" << Form{{"category_id", "5"}};
        QTest::newRow("unblockapp") << "unblockapp" << Form{{"app_id", "org.example.Game"}};
        QTest::newRow("removepin") << "removepin" << Form{};
        QTest::newRow("updatePin") << "updatePin" << Form{{"old_pin", "482913"}, {"pin", "135790"}};
        QTest::newRow("setupPin over the PIN") << "setupPin" << Form{{"time", "12"}, {"pin", "135790"}};
        QTest::newRow("protection off") << "sync-url" << Form{{"platform_unique_id", "desk"}, {"protection", "0"}};
    }
    void focusSessionLocksWeakening()
    {
        QFETCH(QString, path);
        QFETCH(Form, form);
        const Account a = withPin("ada@example.org");
        QVERIFY(post("blockwesitebyuser", {{"domain", "example.com"}}, a.token).accepted());
        QVERIFY(post("blockcategory", {{"category_id", "5"}}, a.token).accepted());
        QVERIFY(post("blockapp", {{"app_id", "org.example.Game"}, {"name", "Game"}}, a.token).accepted());
        const auto deviceProtected = [&] {
            return post("sync-url", {{"platform_unique_id", "desk"}}, a.token).data()[QStringLiteral("device_protected")];
        };
        QCOMPARE(deviceProtected(), QJsonValue(false));

        ServerAnswer s = post("focus-start",
                              {{"minutes", "25"},
                               {"websites", "video.example.org, www.News.example.org"},
                               {"categories", "2"},
                               {"platform_unique_id", "desk"}},
                              a.token);
        QVERIFY2(s.accepted(), qPrintable(s.msg()));
        QCOMPARE(contractProblem<BaseModel<FocusStatusModel>>(s, "focus-status.json", true), QString());
        const FocusStatusModel started = *decodeRecord<BaseModel<FocusStatusModel>>(s.body)->data;
        QVERIFY(started.focus);
        QCOMPARE(started.focus->websites, (QList<QString>{"video.example.org", "news.example.org"}));
        QCOMPARE(started.focus->categories, QList<qint64>{2});
        QCOMPARE(started.focus->endsAt, QStringLiteral("2026-01-01 12:25:00"));
        QCOMPARE(started.lockSeconds, qint64(25 * 60));
        QCOMPARE(deviceProtected(), QJsonValue(true)); // the starting computer is protected
        // Signed out, the computer still learns how long its account's lock holds.
        QCOMPARE(post("sync-url", {{"platform_unique_id", "desk"}}, ServerProcess::appToken())
                     .data()[QStringLiteral("lock_seconds")],
                 QJsonValue(25 * 60));

        QVERIFY(checkPin(a, "482913").accepted());
        ServerAnswer r = post(path, form, a.token);
        if (path == "sync-url") {
            QCOMPARE(r.data()[QStringLiteral("device_protected")], QJsonValue(true));
            QCOMPARE(r.data()[QStringLiteral("lock_seconds")].toInteger(), qint64(25 * 60));
        } else {
            QCOMPARE(r.json()[QStringLiteral("code")].toInteger(), lockedCode);
            QCOMPARE(r.msg(), QStringLiteral("A focus session holds your blocks until 12:25 (25 min left)."));
            Form inParis = form;
            inParis.append({QStringLiteral("time_zone"), QStringLiteral("Europe/Paris")});
            QCOMPARE(post(path, inParis, a.token, "fr").msg(),
                     QStringLiteral("Une session de concentration maintient vos blocages jusqu'à 13:25 (25 min restantes)."));
        }
        // Adding blocks goes on; a second session and ending this one early are refused.
        QVERIFY(post("blockwesitebyuser", {{"domain", "more.example.org"}}, a.token).accepted());
        QVERIFY(post("blockcategory", {{"category_id", "3"}}, a.token).accepted());
        QVERIFY(post("blockapp", {{"app_id", "org.example.Chat"}, {"name", "Chat"}}, a.token).accepted());
        r = post("focus-start", {{"minutes", "15"}}, a.token);
        QCOMPARE(r.json()[QStringLiteral("code")].toInteger(), qint64(409));
        QCOMPARE(r.msg(), QStringLiteral("A focus session is already running until 12:25."));

        m_server->advance(25 * 60 - 1);
        QVERIFY(checkPin(a, "482913").accepted());
        QCOMPARE(post(path, form, a.token).msg(),
                 path == "sync-url" ? QStringLiteral("Device synced")
                                    : QStringLiteral("A focus session holds your blocks until 12:25 (1 min left)."));
        if (path == "sync-url")
            QCOMPARE(deviceProtected(), QJsonValue(true));
        m_server->advance(1);
        r = post(path, form, a.token);
        if (path == "sync-url") {
            QCOMPARE(r.data()[QStringLiteral("device_protected")], QJsonValue(false));
            QVERIFY(!r.data().toObject().contains(QStringLiteral("focus")));
            QCOMPARE(r.data()[QStringLiteral("lock_seconds")].toInteger(), qint64(0));
        } else if (path == "setupPin") {
            QCOMPARE(r.msg(), QStringLiteral("Pin already set")); // as without a session
        } else {
            QVERIFY2(r.accepted(), qPrintable(r.msg()));
        }
        // The session stays as a record; the status tells none runs.
        s = post("focus-status", {}, a.token);
        QVERIFY(s.accepted());
        QVERIFY(!decodeRecord<BaseModel<FocusStatusModel>>(s.body)->data->focus);
    }

    void focusStartRules_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QString>("msg");
        const QString minutes = QStringLiteral("A focus session lasts from 15 minutes to 24 hours.");
        QTest::newRow("too short") << Form{{"minutes", "14"}} << minutes;
        QTest::newRow("too long") << Form{{"minutes", "1441"}} << minutes;
        QTest::newRow("not a number") << Form{{"minutes", "half an hour"}} << minutes;
        QTest::newRow("missing") << Form{} << minutes;
        QTest::newRow("not a site") << Form{{"minutes", "15"}, {"websites", "example.org,not a site"}}
                                    << "Please enter a valid website address, such as example.com.";
        QTest::newRow("unknown category") << Form{{"minutes", "15"}, {"categories", "2,9999"}}
                                          << "This category does not exist.";
        QTest::newRow("shortest") << Form{{"minutes", "15"}, {"websites", ""}, {"categories", ""}}
                                  << "Focus session started";
        QTest::newRow("longest") << Form{{"minutes", "1440"}} << "Focus session started";
    }
    void focusStartRules()
    {
        QFETCH(Form, form);
        QFETCH(QString, msg);
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer r = post("focus-start", form, a.token);
        QCOMPARE(r.msg(), msg);
        QCOMPARE(r.accepted(), msg == "Focus session started");
        if (!r.accepted())
            QCOMPARE(r.json()[QStringLiteral("code")].toInteger(), qint64(422));
        // Nothing was started by a refusal.
        const FocusStatusModel status = *decodeRecord<BaseModel<FocusStatusModel>>(
                                             post("focus-status", {}, a.token).body)->data;
        QCOMPARE(status.focus.has_value(), r.accepted());
    }

    void scheduleRules_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QString>("msg");
        const Form good{{"name", "Work"}, {"days", "5,1,1"}, {"start", "9:00"}, {"end", "17:30"},
                        {"time_zone", "Europe/Paris"}, {"websites", "www.News.example.org"}, {"categories", "2"}};
        const auto with = [&good](const QString &key, const QString &value) {
            Form form;
            for (const auto &[k, v] : good)
                form.append({k, k == key ? value : v});
            return form;
        };
        const QString days = QStringLiteral("Please choose at least one day of the week.");
        const QString times = QStringLiteral("Please give the start and end times as HH:mm, such as 09:00.");
        QTest::newRow("saved") << good << "Schedule saved";
        QTest::newRow("no name") << with("name", " ")
                                 << "Please name the schedule, in at most 100 characters on one line.";
        QTest::newRow("no day") << with("days", "") << days;
        QTest::newRow("day 8") << with("days", "1,8") << days;
        QTest::newRow("24:00") << with("end", "24:00") << times;
        QTest::newRow("no time") << with("start", "") << times;
        QTest::newRow("unknown zone") << with("time_zone", "Mars/Olympus") << "This time zone is not known.";
        QTest::newRow("not a site") << with("websites", "no site")
                                    << "Please enter a valid website address, such as example.com.";
        QTest::newRow("unknown id") << with("name", "Work") + Form{{"id", "77"}} << "This schedule does not exist.";
    }
    void scheduleRules()
    {
        QFETCH(Form, form);
        QFETCH(QString, msg);
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer r = post("save-schedule", form, a.token);
        QCOMPARE(r.msg(), msg);
        const std::optional<FocusStatusModel> status =
            decodeRecord<BaseModel<FocusStatusModel>>(post("focus-status", {}, a.token).body)->data;
        QCOMPARE(status->schedules.size(), r.accepted() ? 1 : 0);
        if (r.accepted()) {
            const ScheduleModel saved = status->schedules.first();
            QCOMPARE(saved.days, (QList<qint64>{1, 5}));
            QCOMPARE(saved.start, QStringLiteral("09:00"));
            QCOMPARE(saved.websites, QList<QString>{"news.example.org"});
            QVERIFY(!saved.locks);
        }
    }

    // A window's local times are read in its zone on the day they fall on: a time skipped when
    // clocks go forward is the time after the change, a time met twice is the first.
    void windowTimes_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("now");
        QTest::addColumn<bool>("open");
        QTest::addColumn<qint64>("nextEdge");
        QTest::newRow("Paris, winter") << "7" << "01:00" << "04:00" << "Europe/Paris" << "2026-03-22T02:59:59Z" << true
                                       << qint64(1);
        QTest::newRow("Paris, clocks go forward")
            << "7" << "01:00" << "04:00" << "Europe/Paris" << "2026-03-29T01:59:59Z" << true << qint64(1);
        QTest::newRow("start skipped by the change")
            << "7" << "02:30" << "05:00" << "Europe/Paris" << "2026-03-29T01:29:59Z" << false << qint64(1);
        QTest::newRow("past midnight as clocks go back")
            << "6" << "23:00" << "02:00" << "America/New_York" << "2026-11-01T06:59:59Z" << true << qint64(1);
        QTest::newRow("a time met twice is the first")
            << "7" << "01:30" << "03:00" << "America/New_York" << "2026-11-01T05:29:59Z" << false << qint64(1);
        QTest::newRow("every day, all day") << "1,2,3,4,5,6,7" << "00:00" << "00:00" << "UTC"
                                            << "2026-01-01T12:00:00Z" << true << qint64(12 * 3600);
    }
    void windowTimes()
    {
        QFETCH(QString, days);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, zone);
        QFETCH(QString, now);
        QFETCH(bool, open);
        QFETCH(qint64, nextEdge);
        m_server->setNow(QDateTime::fromString(now, Qt::ISODate));
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer r = post(
            "save-schedule",
            {{"name", "Night"}, {"days", days}, {"start", start}, {"end", end}, {"time_zone", zone}}, a.token);
        QVERIFY2(r.accepted(), qPrintable(r.msg()));
        const FocusStatusModel status = *decodeRecord<BaseModel<FocusStatusModel>>(r.body)->data;
        QCOMPARE(status.schedules.first().open, open);
        QCOMPARE(status.nextEdgeSeconds, std::optional<qint64>(nextEdge));
    }

    // A locking window refuses weakening while it is open, and cannot itself be changed or
    // deleted then; a locking window open when the lock would end carries it on.
    void weeklyWindows()
    {
        const Account a = withPin("ada@example.org");
        QVERIFY(post("blockcategory", {{"category_id", "5"}}, a.token).accepted());
        QVERIFY(checkPin(a, "482913").accepted());
        const auto save = [&](const Form &form) { return post("save-schedule", form, a.token); };
        // 2026-01-01 12:00 UTC is a Thursday, 13:00 in Paris.
        ServerAnswer r = save({{"name", "Work"}, {"days", "1,2,3,4,5"}, {"start", "09:00"}, {"end", "17:00"},
                               {"time_zone", "Europe/Paris"}, {"websites", "news.example.org"}, {"categories", "2"},
                               {"locks", "1"}});
        QCOMPARE(contractProblem<BaseModel<FocusStatusModel>>(r, "focus-status.json", true), QString());
        FocusStatusModel status = *decodeRecord<BaseModel<FocusStatusModel>>(r.body)->data;
        QCOMPARE(status.schedules.size(), 1);
        QVERIFY(status.schedules.first().open);
        QCOMPARE(status.lockSeconds, qint64(4 * 3600));
        QCOMPARE(status.nextEdgeSeconds, std::optional<qint64>(4 * 3600));
        const QString work = QString::number(status.schedules.first().id);
        QVERIFY(save({{"name", "Lunch"}, {"days", "4"}, {"start", "12:00"}, {"end", "12:30"}, {"time_zone", "UTC"}})
                    .accepted());

        const auto refusal = [&](const QString &path, const Form &form) {
            const ServerAnswer answer = post(path, form, a.token);
            return answer.json()[QStringLiteral("code")].toInteger() == lockedCode ? answer.msg() : QString();
        };
        const QString untilFour = QStringLiteral("Your schedule \"Work\" holds your blocks until 16:00 (4 h left).");
        QCOMPARE(refusal("unblockcategory", {{"category_id", "5"}}), untilFour);
        // The window's own zone is the caller's here.
        QCOMPARE(refusal("save-schedule", {{"id", work}, {"name", "Work"}, {"days", "1"}, {"start", "09:00"},
                                           {"end", "09:30"}, {"time_zone", "Europe/Paris"}}),
                 QStringLiteral("Your schedule \"Work\" holds your blocks until 17:00 (4 h left)."));
        QCOMPARE(refusal("delete-schedule", {{"id", work}}), untilFour);
        // Another open window is not dropped while the lock holds; a closed one may change.
        QCOMPARE(refusal("delete-schedule", {{"id", QString::number(status.schedules.first().id + 1)}}), untilFour);
        QVERIFY(save({{"name", "Late"}, {"days", "4"}, {"start", "17:00"}, {"end", "18:00"},
                      {"time_zone", "Europe/Paris"}, {"locks", "1"}})
                    .accepted());
        QCOMPARE(refusal("unblockcategory", {{"category_id", "5"}}),
                 QStringLiteral("Your schedule \"Late\" holds your blocks until 17:00 (5 h left)."));
        QCOMPARE(post("sync-url", {{"platform_unique_id", "desk"}}, a.token).data()[QStringLiteral("lock_seconds")],
                 QJsonValue(5 * 3600));

        m_server->advance(5 * 3600 - 1);
        QVERIFY(checkPin(a, "482913").accepted());
        QVERIFY(!refusal("unblockcategory", {{"category_id", "5"}}).isEmpty());
        m_server->advance(1);
        QVERIFY(post("unblockcategory", {{"category_id", "5"}}, a.token).accepted());
        QVERIFY(post("delete-schedule", {{"id", work}}, a.token).accepted());

        // Up to 20 windows.
        for (int i = 2; i < 20; ++i)
            QVERIFY(save({{"name", QString::number(i)}, {"days", "6"}, {"start", "08:00"}, {"end", "09:00"},
                          {"time_zone", "UTC"}})
                        .accepted());
        r = save({{"name", "one too many"}, {"days", "6"}, {"start", "08:00"}, {"end", "09:00"}, {"time_zone", "UTC"}});
        QCOMPARE(r.msg(), QStringLiteral("You can have at most 20 schedules."));
        r = post("focus-status", {}, a.token);
        QCOMPARE(decodeRecord<BaseModel<FocusStatusModel>>(r.body)->data->schedules.size(), 20);
    }

    void weakeningWithoutAPinNeedsNoCheck()
    {
        const Account a = signUp(client(), "ada@example.org");
        QVERIFY(post("blockcategory", {{"category_id", "5"}}, a.token).accepted());
        QVERIFY(post("unblockcategory", {{"category_id", "5"}}, a.token).accepted());
    }

    void pinSetupRules_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("six digits, 12 hours") << "012345"
                                              << "12" << true;
        QTest::newRow("forever") << "999999"
                                 << "175200" << true;
        QTest::newRow("five digits") << "12345"
                                     << "24" << false;
        QTest::newRow("seven digits") << "1234567"
                                      << "24" << false;
        QTest::newRow("a letter") << "12a456"
                                  << "24" << false;
        QTest::newRow("a blank") << " 12345"
                                 << "24" << false;
        QTest::newRow("other digits") << QString::fromUtf8("１２３４５６") << "24" << false;
        QTest::newRow("36 hours") << "123456"
                                  << "36" << false;
        QTest::newRow("no time") << "123456"
                                 << "" << false;
    }
    void pinSetupRules()
    {
        QFETCH(QString, pin);
        QFETCH(QString, time);
        QFETCH(bool, accepted);
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer answer = post("setupPin", {{"time", time}, {"pin", pin}}, a.token);
        QCOMPARE(answer.accepted(), accepted);
        const ServerAnswer sync = post("sync-url", {}, a.token);
        QCOMPARE(sync.data()[QStringLiteral("pin_protection")].isObject(), accepted);
        if (accepted) {
            // The PIN never travels back.
            QCOMPARE(answer.data()[QStringLiteral("pin")].toString(), QStringLiteral("******"));
            QCOMPARE(sync.data()[QStringLiteral("pin_protection")][QStringLiteral("pin")].toInteger(), 0);
            QVERIFY(!answer.body.contains(pin.toUtf8()));
        }
    }

    void retrievedPinIsMailedAfterTheWaitingTime()
    {
        const Account a = withPin("ada@example.org", "12");
        const ServerAnswer asked = post("retrievePin", {{"user_id", QString::number(a.id)}}, a.token);
        QCOMPARE(contractProblem<BaseModel<RetrievePinModel>>(asked, "retrievePin.json", true), QString());
        QVERIFY2(asked.msg().contains("2026-01-02 00:00"), qPrintable(asked.msg()));
        QVERIFY(!post("retrievePin", {{"user_id", ""}}, a.token).accepted()); // already under way
        m_server->advance(12 * 3600 - 60);
        settle(300);
        QCOMPARE(m_server->mails().size(), 0);
        m_server->advance(60);
        QTRY_COMPARE(m_server->mails().size(), 1);
        QVERIFY(m_server->mails().first().contains("To: ada@example.org"));
        QVERIFY(m_server->mails().first().contains("482913"));
        settle(300);
        QCOMPARE(m_server->mails().size(), 1); // sent once
        // Once sent, a new request starts a new wait.
        QVERIFY(post("retrievePin", {{"user_id", ""}}, a.token).accepted());
    }

    // Marked sent only once written: a write that fails is tried again at the next look.
    void pinMailThatCannotBeWrittenIsSentLater()
    {
        const Account a = withPin("ada@example.org", "12");
        QVERIFY(post("retrievePin", {{"user_id", ""}}, a.token).accepted());
        const QString outbox = QDir(m_server->folder()).filePath("outbox");
        QDir(outbox).removeRecursively();
        QFile blocker(outbox); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_server->advance(12 * 3600);
        QTRY_VERIFY(m_server->output().contains("mail: cannot create the outbox"));
        QVERIFY(QFile::remove(outbox));
        QTRY_COMPARE(m_server->mails().size(), 1);
        QVERIFY(m_server->mails().first().contains("482913"));
    }

    // Every password worker busy and the queue full: the next sign-up is refused at once with
    // a message the app shows, instead of waiting behind the others.
    // The information pages the app shows come in its language (?lang=), else the browser's.
    void infoPagesFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("acceptLanguage");
        QTest::addColumn<QString>("heading");
        QTest::newRow("FAQ") << "/faq" << QByteArray() << "Frequently asked questions";
        QTest::newRow("FAQ, app in French") << "/faq?lang=fr" << QByteArray() << "Questions fréquentes";
        QTest::newRow("FAQ, browser in French") << "/faq" << QByteArray("fr-CA,fr;q=0.9") << "Questions fréquentes";
        QTest::newRow("terms in French") << "/en/conditions-dutilisation/?lang=fr" << QByteArray("en")
                                         << "Conditions d'utilisation";
        QTest::newRow("privacy in French")
            << "/en/android-privacy-policy/?lang=fr" << QByteArray() << "Politique de confidentialité";
        QTest::newRow("privacy, app in English")
            << "/en/android-privacy-policy/?lang=en" << QByteArray("fr") << "Privacy policy";
    }
    void infoPagesFollowTheLanguage()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, acceptLanguage);
        QFETCH(QString, heading);
        QNetworkAccessManager network;
        QNetworkRequest request(m_server->apiBase().resolved(QUrl(address)));
        if (!acceptLanguage.isEmpty())
            request.setRawHeader("Accept-Language", acceptLanguage);
        std::unique_ptr<QNetworkReply> reply(network.get(request));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        const QString page = QString::fromUtf8(reply->readAll());
        QVERIFY2(page.contains(QStringLiteral("<h1>") + heading + QStringLiteral("</h1>")), qPrintable(page.left(300)));
        // The FAQ speaks of the app's own buttons and choices.
        if (address.startsWith(QLatin1String("/faq")))
            QVERIFY(page.contains(heading.startsWith(QLatin1String("Q"))
                                      ? QStringLiteral("«&nbsp;Recevoir mon code PIN par e-mail&nbsp;»")
                                      : QStringLiteral("\"Retrieve my pin code by e-mail\"")));
    }

    // Sign-ups from eight addresses at once, one worker: one hashing, four waiting, the other
    // three turned away before the first is done.
    void fullPasswordWorkersRefuseAtOnce()
    {
        restart({"--password-workers", "1", "--hash-passes", "3", "--hash-memory", "65536"});
        std::vector<std::unique_ptr<RawExchange>> signUps;
        QList<qint64> finishedAt;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 8; ++i) {
            signUps.push_back(std::make_unique<RawExchange>(
                m_server->port(), QHostAddress(QStringLiteral("127.0.4.%1").arg(i + 1)),
                RawExchange::post(
                    "signup", {{"email", QStringLiteral("user%1@example.org").arg(i)}, {"password", "correct horse"}},
                    ServerProcess::appToken())));
            finishedAt.append(-1);
        }
        auto allDone = [&] {
            for (size_t i = 0; i < signUps.size(); ++i) {
                if (finishedAt[qsizetype(i)] < 0 && signUps[i]->done())
                    finishedAt[qsizetype(i)] = clock.elapsed();
            }
            return !finishedAt.contains(-1);
        };
        QTRY_VERIFY_WITH_TIMEOUT(allDone(), 60000);
        qint64 firstAccepted = std::numeric_limits<qint64>::max();
        qint64 lastBusy = 0;
        int busyAnswers = 0;
        for (size_t i = 0; i < signUps.size(); ++i) {
            const ServerAnswer answer = signUps[i]->answer();
            if (answer.accepted()) {
                firstAccepted = qMin(firstAccepted, finishedAt[qsizetype(i)]);
            } else {
                QCOMPARE(answer.msg(), busy);
                lastBusy = qMax(lastBusy, finishedAt[qsizetype(i)]);
                ++busyAnswers;
            }
        }
        QCOMPARE(busyAnswers, 3);
        QVERIFY2(lastBusy < firstAccepted, qPrintable(QStringLiteral("%1 %2").arg(lastBusy).arg(firstAccepted)));
    }

    // Sixteen clients keep the one worker's queue full with sign-ups and wrong sign-ins from
    // ever new addresses; the owner, on a computer the account knows, still signs in every time.
    void floodsDoNotStopTheOwner()
    {
        restart({"--password-workers", "1", "--hash-memory", "8192"});
        const Account owner = signUp(client(), "ada@example.org");
        const ServerAnswer first = logIn(client(), owner.email, owner.password, owner.token);
        QVERIFY(first.accepted());
        const QByteArray token = first.data()["token"].toString().toLatin1();

        std::vector<std::unique_ptr<RawExchange>> flood;
        int sent = 0;
        int busyAnswers = 0;
        auto refill = [&] {
            for (auto &exchange : flood) {
                if (exchange && exchange->done()) {
                    busyAnswers += exchange->answer().msg() == busy;
                    exchange.reset();
                }
            }
            std::erase(flood, nullptr);
            while (flood.size() < 16) {
                const QString email = QStringLiteral("flood%1@example.org").arg(sent);
                const bool signUp = sent % 2 == 0;
                flood.push_back(std::make_unique<RawExchange>(
                    m_server->port(), QHostAddress(QStringLiteral("127.1.%1.%2").arg(sent / 250).arg(1 + sent % 250)),
                    RawExchange::post(signUp ? "signup" : "login", {{"email", email}, {"password", "wrong horse"}},
                                      ServerProcess::appToken())));
                ++sent;
            }
        };
        QTimer pump;
        connect(&pump, &QTimer::timeout, this, refill);
        pump.start(5);
        refill();
        QTRY_VERIFY_WITH_TIMEOUT(busyAnswers > 0, 10000); // the queue is full
        for (int i = 0; i < 5; ++i) {
            RawExchange signIn(m_server->port(), QHostAddress(QStringLiteral("127.0.5.1")),
                               RawExchange::post("login",
                                                 {{"email", owner.email},
                                                  {"password", owner.password},
                                                  {"platform_unique_id", "3f2504e04f8911d39a0c0305e82c3301"}},
                                                 token));
            QTRY_VERIFY_WITH_TIMEOUT(signIn.done(), 20000);
            QVERIFY2(signIn.answer().accepted(), signIn.answer().body.constData());
        }
        pump.stop();
    }

    // Sign-ups and forgot-password requests are counted per client address.
    void requestsPerAddressAreLimited()
    {
        for (int i = 0; i < 20; ++i)
            QVERIFY(post("forgot-password", {{"email", "ada@example.org"}}, ServerProcess::appToken()).accepted());
        const ServerAnswer limited = post("forgot-password", {{"email", "ada@example.org"}}, ServerProcess::appToken());
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(limited, "forgot-password.json", false), QString());
        QCOMPARE(limited.msg(), QStringLiteral("Too many requests from your network. Please try again in 60 minutes."));
        m_server->advance(3601);
        QVERIFY(post("forgot-password", {{"email", "ada@example.org"}}, ServerProcess::appToken()).accepted());
    }

    // The automatic checkpoint keeps the SQLite WAL file small under a stream of writes.
    void sqliteWalStaysSmall()
    {
        const Account a = signUp(client(), "ada@example.org");
        for (int i = 0; i < 10000; ++i)
            QVERIFY(
                post("blockwesitebyuser", {{"domain", QStringLiteral("site%1.example").arg(i)}}, a.token).accepted());
        const QFileInfo wal(QDir(m_server->folder()).filePath("nimbrel.db-wal"));
        QVERIFY2(wal.size() < 5 * 1024 * 1024, qPrintable(QString::number(wal.size())));
    }

    // Requests the server reads itself: broken framing and announced bodies over the limit are
    // answered before the request runs (the site is never added). In a batch sent without
    // waiting, the requests before the bad one are answered and run, then the connection ends.
    void badFramingIsRefusedBeforeRunning_data()
    {
        QTest::addColumn<QByteArray>("framing");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("before"); // good requests sent ahead of it in the same write
        QTest::newRow("length not a number") << QByteArray("Content-Length: abc\r\n") << 400 << 0;
        QTest::newRow("two lengths") << QByteArray("Content-Length: 20\r\nContent-Length: 21\r\n") << 400 << 0;
        QTest::newRow("the same length twice")
            << QByteArray("Content-Length: 22\r\nContent-Length: 22\r\n") << 400 << 0;
        QTest::newRow("bare LF line ends, two lengths")
            << QByteArray("X-A: 1\nContent-Length: 22\nContent-Length: 5\n\n") << 400 << 0;
        QTest::newRow("bare LF ends the head") << QByteArray("Content-Length: 22\n\n") << 400 << 0;
        QTest::newRow("bare CR ends a line") << QByteArray("X-A: 1\rContent-Length: 5\r\n") << 400 << 0;
        QTest::newRow("unknown encoding") << QByteArray("Transfer-Encoding: gzip\r\n") << 400 << 0;
        QTest::newRow("10 MB announced") << QByteArray("Content-Length: 10485760\r\n") << 413 << 0;
        QTest::newRow("third of a batch") << QByteArray("Content-Length: 20\r\nContent-Length: 21\r\n") << 400 << 2;
    }
    void badFramingIsRefusedBeforeRunning()
    {
        QFETCH(QByteArray, framing);
        QFETCH(int, status);
        QFETCH(int, before);
        const Account a = signUp(client(), "ada@example.org");
        const QByteArray head = "POST /api/v3/blockwesitebyuser HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                                a.token + "\r\nContent-Type: application/x-www-form-urlencoded\r\n";
        QByteArray batch;
        for (int i = 0; i < before; ++i) {
            const QByteArray body = "domain=site" + QByteArray::number(i) + ".example";
            batch += head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        }
        // Without a blank line of its own, the head ends at the framing's (bare) line ends.
        batch += head + framing + (framing.endsWith("\n\n") ? "" : "\r\n") + "domain=framing.example";
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_server->port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write(batch);
        QByteArray answer;
        QTRY_VERIFY((answer += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState));
        answer += socket.readAll();
        QList<int> statuses;
        for (qsizetype at = answer.indexOf("HTTP/1.1 "); at >= 0; at = answer.indexOf("HTTP/1.1 ", at + 1))
            statuses.append(answer.mid(at + 9, 3).toInt());
        QList<int> expected(before, 200);
        expected.append(status);
        QCOMPARE(statuses, expected);
        const ServerAnswer list = post("getblockwebsitebyuser?page=1", {}, a.token);
        QCOMPARE(list.data()["total"].toInteger(), before);
    }

    void foreverPinIsNeverMailed()
    {
        const Account a = withPin("ada@example.org", "175200");
        const ServerAnswer asked = post("retrievePin", {{"user_id", ""}}, a.token, "fr");
        QVERIFY(!asked.accepted());
        QVERIFY(asked.msg().contains("chat en direct"));
        m_server->advance(200000LL * 3600);
        settle(300);
        QCOMPARE(m_server->mails().size(), 0);
    }

    void resetLinkWorksOnce()
    {
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer known = post("forgot-password", {{"email", "ada@example.org"}}, ServerProcess::appToken());
        const ServerAnswer unknown =
            post("forgot-password", {{"email", "nobody@example.org"}}, ServerProcess::appToken());
        QVERIFY(known.accepted());
        QCOMPARE(unknown.body, known.body); // no hint whether the account exists
        QTRY_COMPARE(m_server->mails().size(), 1);
        const QUrl link(resetLink(m_server->mails().first()));
        QVERIFY(link.isValid());

        ServerAnswer page = client().send("GET", link, {}, {});
        QCOMPARE(page.status, 200);
        QVERIFY(page.contentType.startsWith("text/html"));
        QVERIFY(page.body.contains("name=\"password_confirmation\""));
        const QUrl target = link.resolved(QUrl("reset"));
        const QByteArray token = QUrlQuery(link).queryItemValue("token").toLatin1();
        auto submit = [&](const QString &password, const QString &confirmation) {
            return client().send(
                "POST", target,
                encodeForm({{"token", token}, {"password", password}, {"password_confirmation", confirmation}}),
                {{"Content-Type", "application/x-www-form-urlencoded"}});
        };
        QCOMPARE(submit("new password 1", "new password 2").status, 400); // a typo does not use up the link
        QCOMPARE(submit("new password 1", "new password 1").status, 200);
        QCOMPARE(submit("new password 3", "new password 3").status, 410);
        QCOMPARE(client().send("GET", link, {}, {}).status, 410);

        QVERIFY(!logIn(client(), a.email, a.password).accepted());
        QVERIFY(logIn(client(), a.email, "new password 1").accepted());
        QCOMPARE(post("sync-url", {}, a.token).status, 401); // signed out everywhere

        // A link that waited more than an hour is dead.
        m_server->advance(120);
        QVERIFY(post("forgot-password", {{"email", "ada@example.org"}}, ServerProcess::appToken()).accepted());
        QTRY_COMPARE(m_server->mails().size(), 2);
        const QUrl late(resetLink(m_server->mails().last()));
        m_server->advance(61 * 60);
        QCOMPARE(client().send("GET", late, {}, {}).status, 410);
    }

    void noSecretInAnyAnswerOrLogLine()
    {
        const QString password = QStringLiteral("S3cret+pass word");
        const Account a = signUp(client(), "ada@example.org", password);
        const ServerAnswer login = logIn(client(), a.email, password);
        const QByteArray second = login.data()[QStringLiteral("token")].toString().toLatin1();
        QList<ServerAnswer> answers{login};
        answers << post("setupPin", {{"time", "12"}, {"pin", "482913"}}, a.token) << checkPin(a, "482913")
                << checkPin(a, "111111") << post("updatePin", {{"old_pin", "482913"}, {"pin", "135790"}}, a.token)
                << post("retrievePin", {}, a.token) << post("sync-url", {}, a.token)
                << post("update-profile", {{"name", "Ada"}, {"device_name", "Desk"}, {"password", "Other pass 2"}},
                        second)
                << post("forgot-password", {{"email", a.email}}, ServerProcess::appToken());
        for (const ServerAnswer &answer : answers) {
            for (const QByteArray &secret : {password.toUtf8(), QByteArray("482913"), QByteArray("135790"),
                                             QByteArray("Other pass 2"), QByteArray("111111")})
                QVERIFY2(!answer.body.contains(secret), answer.body.constData());
        }
        m_server->advance(13 * 3600); // the PIN goes to the outbox, never to the log
        QTRY_COMPARE(m_server->mails().size(), 2);
        const QString log = m_server->output();
        QVERIFY(log.contains("POST /api/v3/checkPin 200"));
        for (const QString &secret :
             {password, QStringLiteral("482913"), QStringLiteral("135790"), QStringLiteral("Other pass 2"),
              QString::fromLatin1(a.token), QString::fromLatin1(second), QString::fromLatin1(ServerProcess::appToken()),
              QUrlQuery(QUrl(resetLink(m_server->mails().first()))).queryItemValue("token")})
            QVERIFY2(!log.contains(secret), qPrintable(secret));
    }

    void textsAreStoredAsTheyCameOrRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("stored");
        QTest::newRow("SQL") << "Robert'); DROP TABLE users; --" << true;
        QTest::newRow("quotes and percent") << "\"%s' OR '1'='1" << true;
        QTest::newRow("markup") << "<script>alert(1)</script>" << true;
        QTest::newRow("accents") << QString::fromUtf8("Zoë Ça-va 🙂") << true;
        QTest::newRow("line break") << "Ada\r\nBcc: x@example.org" << false;
        QTest::newRow("NUL") << QString("Ada") + QChar(0) + "x" << false;
        QTest::newRow("too long") << QString(101, 'a') << false;
    }
    void textsAreStoredAsTheyCameOrRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, stored);
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer answer =
            post("update-profile", {{"name", name}, {"device_name", name}, {"password", ""}}, a.token);
        QCOMPARE(answer.accepted(), stored);
        const ServerAnswer login = logIn(client(), a.email, a.password);
        QVERIFY(login.accepted()); // the tables are all still there
        if (stored) {
            QCOMPARE(login.data()[QStringLiteral("name")].toString(), name);
            QCOMPARE(login.data()[QStringLiteral("device_name")].toString(), name);
        } else {
            QCOMPARE(login.data()[QStringLiteral("device_name")].toString(), QStringLiteral("Desk"));
        }
        // The same text as an e-mail or a site is refused, never run.
        if (name.size() <= 100)
            QVERIFY(
                !post("signup", {{"email", name + "@example.org"}, {"password", "12345678"}}, ServerProcess::appToken())
                     .accepted());
        QVERIFY(!post("blockwesitebyuser", {{"domain", name}}, a.token).accepted());
        QVERIFY(!logIn(client(), name, a.password).accepted());
        QVERIFY(post("sync-url", {{"platform_unique_id", name}}, a.token).accepted());
    }

    void blacklistNormalisesSites_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("upper case") << "Example.COM"
                                    << "example.com";
        QTest::newRow("wildcard") << "*.example.com"
                                  << "example.com";
        QTest::newRow("trailing dot") << "news.example.org."
                                      << "news.example.org";
        QTest::newRow("www left out") << "WWW.example.com"
                                      << "example.com";
        QTest::newRow("every leading www") << "www.www.example.com"
                                           << "example.com";
        QTest::newRow("www as the site itself") << "www.com"
                                                << "www.com";
        QTest::newRow("www inside kept") << "a.www.example.com"
                                         << "a.www.example.com";
        QTest::newRow("IDN") << QString::fromUtf8("bücher.example") << "xn--bcher-kva.example";
        QTest::newRow("no dot") << "localhost"
                                << "";
        QTest::newRow("IPv4") << "192.168.1.1"
                              << "";
        QTest::newRow("scheme") << "https://example.com"
                                << "";
        QTest::newRow("path") << "example.com/page"
                              << "";
        QTest::newRow("blank inside") << "exa mple.com"
                                      << "";
        QTest::newRow("underscore") << "my_site.com"
                                    << "";
        QTest::newRow("hyphen edge") << "-example.com"
                                     << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("long label") << QString(64, 'a') + ".com"
                                    << "";
    }
    void blacklistNormalisesSites()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const Account a = signUp(client(), "ada@example.org");
        const ServerAnswer answer = post("blockwesitebyuser", {{"user_id", ""}, {"domain", typed}}, a.token);
        QCOMPARE(answer.accepted(), !stored.isEmpty());
        if (stored.isEmpty()) {
            QCOMPARE(answer.msg(), QStringLiteral("Please enter a valid website address, such as example.com."));
            return;
        }
        QCOMPARE(answer.data()[QStringLiteral("domain")].toString(), stored);
        const ServerAnswer again = post("blockwesitebyuser", {{"domain", stored.toUpper()}}, a.token);
        QCOMPARE(again.msg(), QStringLiteral("This website is already in your blacklist."));
        // Already blocked with its subdomains: the www name is the same entry.
        QCOMPARE(post("blockwesitebyuser", {{"domain", "www." + stored}}, a.token).msg(),
                 QStringLiteral("This website is already in your blacklist."));
    }

    void blacklistPages()
    {
        const Account a = signUp(client(), "ada@example.org");
        for (int i = 0; i < 101; ++i)
            QVERIFY(
                post("blockwesitebyuser", {{"domain", QStringLiteral("site%1.example").arg(i)}}, a.token).accepted());
        const QJsonValue first = post("getblockwebsitebyuser?page=1", {}, a.token).data();
        QCOMPARE(first["data"].toArray().size(), 100);
        QCOMPARE(first["data"].toArray().first()["domain"].toString(), QStringLiteral("site0.example"));
        QCOMPARE(first["last_page"].toInteger(), 2);
        QCOMPARE(first["total"].toInteger(), 101);
        QVERIFY(first["next_page_url"].toString().endsWith("getblockwebsitebyuser?page=2"));
        const QJsonValue second = post("getblockwebsitebyuser?page=2", {}, a.token).data();
        QCOMPARE(second["data"].toArray().size(), 1);
        QCOMPARE(second["from"].toInteger(), 101);
    }

    void accountRules()
    {
        const QByteArray app = ServerProcess::appToken();
        QCOMPARE(post("signup", {{"email", "ada@example"}, {"password", "12345678"}}, app).msg(),
                 QStringLiteral("Please enter a valid e-mail address."));
        QCOMPARE(post("signup", {{"email", "ada@example.org"}, {"password", "1234567"}}, app, "fr").msg(),
                 QStringLiteral("Le mot de passe doit contenir au moins 8 caractères."));
        const Account a = signUp(client(), "ada@example.org", " leading+plus ");
        QVERIFY(a.id);
        QCOMPARE(signUp(client(), "Ada@Example.ORG").id, 0);
        QVERIFY(logIn(client(), "ADA@example.org", " leading+plus ").accepted()); // sent as typed, blanks and all
        QVERIFY(!logIn(client(), "ada@example.org", "leading+plus").accepted());

        const QByteArray other =
            logIn(client(), a.email, a.password).data()[QStringLiteral("token")].toString().toLatin1();
        // An empty password leaves it as it is; a new one signs out the other devices.
        QVERIFY(
            post("update-profile", {{"name", "Ada"}, {"device_name", "Desk"}, {"password", ""}}, a.token).accepted());
        QVERIFY(logIn(client(), a.email, a.password).accepted());
        QVERIFY(!post("update-profile", {{"name", "Ada"}, {"device_name", "Desk"}, {"password", "short"}}, a.token)
                     .accepted());
        QVERIFY(
            post("update-profile", {{"name", "Ada"}, {"device_name", "Desk"}, {"password", "brand new pass"}}, a.token)
                .accepted());
        QVERIFY(logIn(client(), a.email, "brand new pass").accepted());
        QCOMPARE(post("sync-url", {}, other).status, 401);
        QCOMPARE(post("sync-url", {}, a.token).status, 200);
    }

    void failedSignInsAreRateLimited()
    {
        const Account a = signUp(client(), "ada@example.org");
        for (int i = 0; i < 5; ++i)
            QVERIFY(!logIn(client(), a.email, "wrong").accepted());
        const ServerAnswer limited = logIn(client(), a.email, a.password);
        QVERIFY(!limited.accepted());
        QVERIFY(limited.msg().startsWith("Too many failed sign-in attempts"));
        m_server->advance(15 * 60 + 1);
        QVERIFY(logIn(client(), a.email, a.password).accepted());
    }

    // Failures count per account and client address: a stranger locked out does not lock the
    // owner out from another address. Behind a trusted proxy the address is X-Forwarded-For;
    // from anybody else that header is ignored, so the spoofed "owner" shares the lock-out.
    void signInLockOutIsPerClientAddress_data()
    {
        QTest::addColumn<bool>("trustedProxy");
        QTest::newRow("through a trusted proxy") << true;
        QTest::newRow("header from a stranger") << false;
    }
    void signInLockOutIsPerClientAddress()
    {
        QFETCH(bool, trustedProxy);
        if (trustedProxy)
            restart({"--trusted-proxy", "127.0.0.1/32"});
        const Account a = signUp(client(), "ada@example.org");
        auto logInFrom = [&](const QByteArray &address, const QString &password) {
            const QByteArray body = encodeForm({{"email", a.email}, {"password", password}, {"social_media", "0"}});
            return client().send("POST", m_server->apiBase().resolved(QUrl("login")), body,
                                 {{"Authorization", "Bearer test-app-token"},
                                  {"Content-Type", "application/x-www-form-urlencoded"},
                                  {"X-Forwarded-For", "192.0.2.50, " + address}});
        };
        for (int i = 0; i < 5; ++i)
            QVERIFY(!logInFrom("198.51.100.7", "wrong password").accepted());
        QVERIFY(logInFrom("198.51.100.7", a.password).msg().startsWith("Too many failed sign-in attempts"));
        QCOMPARE(logInFrom("203.0.113.9", a.password).accepted(), trustedProxy);
    }

    // Failures spread over fifteen addresses only slow the account: the owner's right password
    // from a sixteenth is accepted, a little later.
    void strangersDoNotLockTheOwnerOut()
    {
        const Account a = signUp(client(), "ada@example.org");
        auto logInFrom = [&](int address, const QString &password) {
            RawExchange exchange(
                m_server->port(), QHostAddress(QStringLiteral("127.0.1.%1").arg(address)),
                RawExchange::post("login", {{"email", a.email}, {"password", password}}, ServerProcess::appToken()));
            if (!QTest::qWaitFor([&] { return exchange.done(); }, 20000))
                return ServerAnswer();
            return exchange.answer();
        };
        for (int i = 0; i < 30; ++i)
            QCOMPARE(logInFrom(1 + i / 2, "wrong password").msg(), badCredentials);
        QElapsedTimer timer;
        timer.start();
        const ServerAnswer owner = logInFrom(16, a.password);
        QVERIFY2(owner.accepted(), owner.body.constData());
        QVERIFY(timer.elapsed() >= 1000);
        // A guesser's own address stays limited.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(logInFrom(1, "wrong password").msg(), badCredentials);
        QVERIFY(logInFrom(1, a.password).msg().startsWith("Too many failed sign-in attempts"));
    }

    // Guesses sent at the same time from one address gain no extra tries: five are checked in
    // all, however many arrive together and however many the busy workers turn away.
    void concurrentGuessesGetNoExtraTries()
    {
        const Account a = signUp(client(), "ada@example.org");
        const QByteArray guess =
            RawExchange::post("login", {{"email", a.email}, {"password", "wrong password"}}, ServerProcess::appToken());
        const QHostAddress guesser(QStringLiteral("127.0.2.1"));
        std::vector<std::unique_ptr<RawExchange>> together;
        for (int i = 0; i < 20; ++i)
            together.push_back(std::make_unique<RawExchange>(m_server->port(), guesser, guess));
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(together.begin(), together.end(), [](auto &e) { return e->done(); }),
                                 30000);
        int checked = 0;
        for (const auto &exchange : together) {
            const QString msg = exchange->answer().msg();
            if (msg == badCredentials)
                ++checked;
            else
                QVERIFY2(msg.startsWith("Too many failed sign-in attempts") || msg == busy, qPrintable(msg));
        }
        QVERIFY2(checked <= 5, qPrintable(QString::number(checked)));
        for (int i = 0; i < 6; ++i) {
            RawExchange one(m_server->port(), guesser, guess);
            QTRY_VERIFY_WITH_TIMEOUT(one.done(), 10000);
            if (one.answer().msg() != badCredentials)
                break;
            ++checked;
        }
        QCOMPARE(checked, 5);
    }

    // Plain HTTP on an address other than loopback, with no proxy in front, is refused.
    void plainHttpOnTheNetworkNeedsAProxy()
    {
        QProcess server;
        server.start(NIMBREL_SERVER_BINARY,
                     {"--listen", "0.0.0.0", "--port", "0", "--data-dir", m_dir->path(), "--no-dns"});
        QVERIFY(server.waitForFinished(10000));
        QCOMPARE(server.exitCode(), 2);
        QVERIFY(QString::fromUtf8(server.readAllStandardError()).contains("--trusted-proxy"));
    }

    void socialSignInIsVerifiedWithTheProvider()
    {
        const Form google{{"email", "ada@gmail.example"}, {"social_media", "2"},   {"token", "provider-token"},
                          {"device_name", "Desk"},        {"profile_id", "10987"}, {"platform_unique_id", "abc"}};
        QCOMPARE(post("login", google, ServerProcess::appToken()).msg(),
                 QStringLiteral("Sign-in with Google is not available on this server."));

        StubHttpServer provider;
        const QUrl endpoint(QStringLiteral("http://127.0.0.1:%1/userinfo").arg(provider.port()));
        const QUrl tokenInfo(QStringLiteral("http://127.0.0.1:%1/tokeninfo").arg(provider.port()));
        restart({"--google-verify-url", endpoint.toString(), "--google-client-id", "our-client",
                 "--google-tokeninfo-url", tokenInfo.toString()});
        provider.answer("/userinfo", 200, R"({"sub":"10987","email":"Ada@gmail.example","email_verified":true})");
        // A token granted to another application signs nobody in.
        provider.answer("/tokeninfo?access_token=provider-token", 200,
                        R"({"aud":"their-client","azp":"their-client"})");
        QVERIFY(!post("login", google, ServerProcess::appToken()).accepted());
        provider.answer("/tokeninfo?access_token=provider-token", 200, R"({"aud":"our-client","azp":"our-client"})");
        const ServerAnswer in = post("login", google, ServerProcess::appToken());
        QVERIFY2(in.accepted(), in.body.constData());
        QCOMPARE(in.data()["social_media"].toInteger(), 2);
        const QList<StubHttpServer::Request> asked = provider.requests();
        QCOMPARE(asked.at(asked.size() - 2).header("Authorization"), QByteArray("Bearer provider-token"));
        QCOMPARE(asked.last().path, QStringLiteral("/tokeninfo?access_token=provider-token"));
        const qint64 id = in.data()["id"].toInteger();
        QCOMPARE(post("login", google, ServerProcess::appToken()).data()["id"].toInteger(), id); // same account

        provider.answer("/userinfo", 200, R"({"sub":"55555","email":"ada@gmail.example"})");
        QVERIFY(!post("login", google, ServerProcess::appToken()).accepted());
        provider.answer("/userinfo", 401, R"({"error":"invalid_token"})");
        QVERIFY(!post("login", google, ServerProcess::appToken()).accepted());
        // No password was made for the account: the e-mail sign-in cannot get in.
        QVERIFY(!logIn(client(), "ada@gmail.example", "").accepted());
    }

    // The routes are the contract table: every service of it answers under its path with its
    // method and refuses the other one; nothing else under /api/v3/ is served.
    void everyServiceOfTheTableIsServed_data()
    {
        QTest::addColumn<int>("index");
        for (qsizetype i = 0; i < endpoints().size(); ++i)
            QTest::newRow(qPrintable(routeName(endpoints()[i].service))) << int(i);
    }
    void everyServiceOfTheTableIsServed()
    {
        QFETCH(int, index);
        const Endpoint e = endpoints().at(index);
        QCOMPARE(int(e.service), index); // endpoint() reads the table by the enum's value
        const QUrl url = m_server->apiBase().resolved(QUrl(path(e.service)));
        const QByteArray other = e.method == HttpMethod::get ? "POST" : "GET";
        const QList<QPair<QByteArray, QByteArray>> madeUp{{"Authorization", "Bearer made-up-token"}};
        QCOMPARE(client().send(other, url, {}, madeUp).status, 405);
        // Served: a token the server never gave is refused by the service, not as unknown.
        const ServerAnswer answer = client().send(methodName(e.method), url, {}, madeUp);
        QCOMPARE(answer.status, 401);
        QCOMPARE(answer.json()[QStringLiteral("code")].toInt(), 401);
    }

    void nothingElseIsServed_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QByteArray>("method");
        QTest::newRow("unknown") << "nothing-here" << QByteArray("POST");
        QTest::newRow("case") << "Login" << QByteArray("POST");
        QTest::newRow("trailing slash") << "login/" << QByteArray("POST");
        QTest::newRow("below a service") << "category/1" << QByteArray("GET");
        QTest::newRow("query in the path") << "getblockwebsitebyuser%3Fpage=1" << QByteArray("POST");
        QTest::newRow("the prefix alone") << "" << QByteArray("GET");
        QTest::newRow("the reset page below it") << "password/reset" << QByteArray("GET");
    }
    void nothingElseIsServed()
    {
        QFETCH(QString, route);
        QFETCH(QByteArray, method);
        const ServerAnswer answer = client().send(method, QUrl(m_server->apiBase().toString() + route), {},
                                                  {{"Authorization", "Bearer test-app-token"}});
        QCOMPARE(answer.status, 404);
    }

    void oversizedBodiesAreRefused()
    {
        const ServerAnswer big =
            client().send("POST", m_server->apiBase().resolved(QUrl("login")), QByteArray(70 * 1024, 'a'),
                          {{"Authorization", "Bearer test-app-token"}});
        QCOMPARE(big.status, 413);
    }

    // Signed-in requests are answered from memory (the session, the lists, the account status):
    // a revoked token is refused on the very next request, whichever HTTP thread answers it.
    void revocationIsSeenAtOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("password changed on another computer") << "password";
        QTest::newRow("signed out") << "logout";
        QTest::newRow("password reset through the e-mail") << "reset";
    }
    void revocationIsSeenAtOnce()
    {
        QFETCH(QString, how);
        restart({QStringLiteral("--threads"), QStringLiteral("4")});
        const Account ada = signUp(client(), QStringLiteral("ada@example.org"));
        const QByteArray laptop =
            logIn(client(), ada.email, ada.password).data()[QStringLiteral("token")].toString().toLatin1();
        // A connection of its own for every request, so the kernel spreads them over the threads.
        const auto sync = [this](const QByteArray &token) {
            ServerClient fresh(m_server->apiBase());
            return fresh.post(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}, token);
        };
        for (int i = 0; i < 12; ++i)
            QVERIFY(sync(ada.token).accepted());

        if (how == QLatin1String("password")) {
            QVERIFY(post(QStringLiteral("update-profile"),
                         {{"name", "Ada"}, {"device_name", "Laptop"}, {"password", "another horse"}}, laptop)
                        .accepted());
        } else if (how == QLatin1String("logout")) {
            QVERIFY(post(QStringLiteral("logout"), {}, ada.token).accepted());
        } else {
            QVERIFY(post("forgot-password", {{"email", ada.email}}, ServerProcess::appToken()).accepted());
            QTRY_COMPARE(m_server->mails().size(), 1);
            const QUrl link(resetLink(m_server->mails().first()));
            const QByteArray secret = QUrlQuery(link).queryItemValue("token").toLatin1();
            const QByteArray form = encodeForm(
                {{"token", secret}, {"password", "another horse"}, {"password_confirmation", "another horse"}});
            QCOMPARE(client()
                         .send("POST", link.resolved(QUrl("reset")), form,
                               {{"Content-Type", "application/x-www-form-urlencoded"}})
                         .status,
                     200);
        }
        for (int i = 0; i < 12; ++i)
            QCOMPARE(sync(ada.token).status, 401);
        // The computer that changed the password stays signed in; a reset signs out everyone.
        QCOMPARE(sync(laptop).status, how == QLatin1String("reset") ? 401 : 200);
    }

    // What is kept in memory follows every change on the next request, on any thread.
    void changesShowOnTheNextRequest()
    {
        restart({QStringLiteral("--threads"), QStringLiteral("4")});
        const Account ada = signUp(client(), QStringLiteral("ada@example.org"));
        const auto fresh = [this](const QString &path, const Form &form, const QByteArray &token) {
            ServerClient other(m_server->apiBase());
            return other.post(path, form, token);
        };
        const auto categoryBlocked = [this, &ada](qint64 id) {
            ServerClient other(m_server->apiBase());
            for (const QJsonValue &row : other.get(QStringLiteral("category"), ada.token).data().toArray()) {
                if (row[QStringLiteral("id")].toInteger() == id)
                    return row[QStringLiteral("is_block_category")].toInt();
            }
            return -1;
        };
        const auto pageTotal = [&] {
            return fresh(QStringLiteral("getblockwebsitebyuser"), {}, ada.token)
                .data()[QStringLiteral("total")]
                .toInt();
        };
        const auto status = [&] {
            return fresh(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}, ada.token).data().toObject();
        };
        // Read a few times first, so every answer is kept.
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(categoryBlocked(1), 0);
            QCOMPARE(pageTotal(), 0);
            QCOMPARE(status()[QStringLiteral("blocked_apps")].toArray().size(), 0);
        }
        QVERIFY(fresh(QStringLiteral("blockcategory"), {{"category_id", "1"}}, ada.token).accepted());
        QCOMPARE(categoryBlocked(1), 1);
        QVERIFY(fresh(QStringLiteral("blockwesitebyuser"), {{"domain", "example.com"}}, ada.token).accepted());
        QCOMPARE(pageTotal(), 1);
        QVERIFY(fresh(QStringLiteral("blockapp"), {{"app_id", "org.example.Game"}}, ada.token).accepted());
        QCOMPARE(status()[QStringLiteral("blocked_apps")].toArray().size(), 1);
        QVERIFY(!status().contains(QStringLiteral("pin_protection")) ||
                status()[QStringLiteral("pin_protection")].isNull());
        QVERIFY(fresh(QStringLiteral("setupPin"), {{"time", "24"}, {"pin", "482913"}}, ada.token).accepted());
        QCOMPARE(status()[QStringLiteral("pin_protection")][QStringLiteral("is_block")].toInt(), 0);
        for (int i = 0; i < 5; ++i)
            fresh(QStringLiteral("checkPin"), {{"pin", "000000"}}, ada.token);
        QCOMPARE(status()[QStringLiteral("pin_protection")][QStringLiteral("is_block")].toInt(), 1);
        // The protection turned on is what the next status call says.
        QCOMPARE(fresh(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}, {"protection", "1"}}, ada.token)
                     .data()[QStringLiteral("device_protected")],
                 QJsonValue(true));
        QCOMPARE(status()[QStringLiteral("device_protected")], QJsonValue(true));
    }

    // What protects a device lives on the account: its protection and the blocked
    // applications. Weakening either needs a verified PIN once the account has one; another
    // computer of the account, and this one signed out, learn both from the account status.
    void accountKeepsWhatProtects()
    {
        const auto sync = [this](const QByteArray &token, const QString &device, const QString &protection) {
            Form form{{"platform_unique_id", device}};
            if (!protection.isEmpty())
                form.append({"protection", protection});
            return post(QStringLiteral("sync-url"), form, token);
        };
        const auto protectedNow = [](const ServerAnswer &a) { return a.data()[QStringLiteral("device_protected")]; };
        const auto appIDs = [](const ServerAnswer &a) {
            QStringList ids;
            // The whole list: the payload of blockapp, a field of the account status.
            const QJsonArray apps =
                a.data().isArray() ? a.data().toArray() : a.data()[QStringLiteral("blocked_apps")].toArray();
            for (const QJsonValue &app : apps)
                ids << app[QStringLiteral("app_id")].toString();
            return ids;
        };
        Account ada = signUp(client(), QStringLiteral("ada@example.org"));
        QCOMPARE(protectedNow(sync(ada.token, "desk", "1")), QJsonValue(true));
        ServerAnswer a = post("blockapp", {{"app_id", "org.example.Game"}, {"name", "Game"}}, ada.token);
        QCOMPARE(contractProblem<BaseModel<BlockedAppList>>(a, "blockapp.json", true), QString());
        QCOMPARE(appIDs(a), QStringList{"org.example.Game"});
        QCOMPARE(post("blockapp", {{"app_id", "no spaces; please"}, {"name", "x"}}, ada.token).accepted(), false);
        QCOMPARE(appIDs(post("blockapp", {{"app_id", "org.example.Game"}, {"name", "Game"}}, ada.token)),
                 QStringList{"org.example.Game"});

        // Without a PIN the device may be turned off and back on at will.
        QCOMPARE(protectedNow(sync(ada.token, "desk", "0")), QJsonValue(false));
        QCOMPARE(protectedNow(sync(ada.token, "desk", "1")), QJsonValue(true));
        // With one, only after the PIN was verified.
        post(QStringLiteral("setupPin"), {{"time", "24"}, {"pin", "482913"}}, ada.token);
        QCOMPARE(protectedNow(sync(ada.token, "desk", "0")), QJsonValue(true));
        QCOMPARE(protectedNow(sync(ada.token, "desk", "")), QJsonValue(true)); // an older app says nothing
        a = post("unblockapp", {{"app_id", "org.example.Game"}}, ada.token);
        QCOMPARE(a.msg(), pinFirst);
        QCOMPARE(appIDs(sync(ada.token, "desk", "1")), QStringList{"org.example.Game"});

        // The list follows the account to another computer; that one is not protected by it.
        a = sync(ada.token, "laptop", "0");
        QCOMPARE(protectedNow(a), QJsonValue(false));
        QCOMPARE(appIDs(a), QStringList{"org.example.Game"});
        // Signed out (the built-in token), a computer learns what its last account keeps.
        a = sync(ServerProcess::appToken(), "desk", "0");
        QCOMPARE(contractProblem<BaseModel<SyncURLModel>>(a, "sync-url.json", false), QString());
        QCOMPARE(protectedNow(a), QJsonValue(true));
        QCOMPARE(appIDs(a), QStringList{"org.example.Game"});
        QCOMPARE(protectedNow(sync(ServerProcess::appToken(), "desk", "0")), QJsonValue(true)); // nothing recorded
        QVERIFY(!sync(ServerProcess::appToken(), "never-seen", "0").data().isObject());

        QVERIFY(checkPin(ada, QStringLiteral("482913")).accepted());
        QCOMPARE(protectedNow(sync(ada.token, "desk", "0")), QJsonValue(false));
        a = post("unblockapp", {{"app_id", "org.example.Game"}}, ada.token);
        QCOMPARE(contractProblem<BaseModel<BlockedAppList>>(a, "blockapp.json", true), QString());
        QCOMPARE(appIDs(a), QStringList{});
        QCOMPARE(post("unblockapp", {{"app_id", "org.example.Game"}}, ada.token).json()[QStringLiteral("code")].toInt(),
                 404);

        // A server with only the original services: no such fields, no such services.
        restart({QStringLiteral("--classic-api")});
        ada.token = logIn(client(), ada.email, ada.password).data()[QStringLiteral("token")].toString().toLatin1();
        a = sync(ada.token, "desk", "1");
        QVERIFY(a.accepted());
        QVERIFY(!a.data().toObject().contains(QStringLiteral("device_protected")));
        QVERIFY(!a.data().toObject().contains(QStringLiteral("blocked_apps")));
        QVERIFY(!a.data().toObject().contains(QStringLiteral("lock_seconds")));
        QCOMPARE(post("blockapp", {{"app_id", "org.example.Game"}, {"name", "Game"}}, ada.token).status, 404);
        QCOMPARE(post("focus-start", {{"minutes", "30"}}, ada.token).status, 404);
    }
};

QTEST_GUILESS_MAIN(tst_ServerApi)
#include "tst_serverapi.moc"
