#pragma once

#include "AlertRecorder.h"
#include "FakeFlagSource.h"
#include "LogCapture.h"
#include "StubHttpServer.h"
#include "TestEnvironment.h"
#include "api/ApiManager.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// One test case's world for the request path: a clean home, the stub server as the API, a
// network the test switches on and off, recorded alerts, captured log lines, window hooks
// that record what they were asked to do.
class ApiTestBed
{
public:
    ApiTestBed()
    {
        ApiManager::resetShared();
        ApiManager &api = ApiManager::shared();
        QVERIFY(server.isListening());
        QVERIFY(api.setApiBase(server.apiBase()));
        api.setSystemLanguage([] { return QStringLiteral("de"); });
        ApiWindowHooks hooks;
        hooks.mainWindowExists = [this] { return mainWindow; };
        hooks.bringFirstWindowToFront = [this] { hookCalls << QStringLiteral("front"); };
        hooks.endAttachedSheet = [this] { hookCalls << QStringLiteral("endSheet"); };
        hooks.showLaunchScreen = [this] { hookCalls << QStringLiteral("launchScreen"); };
        api.setWindowHooks(hooks);
    }
    ~ApiTestBed() { ApiManager::resetShared(); }

    // Starts the monitor on a reachable network and waits out the account-status exchange
    // that the first reading of the flags sends; later requests are counted from there.
    void startReachability()
    {
        server.answer(QStringLiteral("sync-url"), 200, fixture(QStringLiteral("sync-url.json")));
        ApiManager::shared().setupReachability(flags);
        QVERIFY(server.waitForRequests(1));
        QTRY_VERIFY(log.contains(QStringLiteral("sync-url JSON: ")));
        mark();
    }

    // The server of a new account: online, no PIN, sign-out accepted.
    void startAsNewAccount()
    {
        startReachability();
        server.answer(QStringLiteral("sync-url"), 200, fixture(QStringLiteral("sync-url-no-pin.json")));
        server.answer(QStringLiteral("logout"), 200, fixture(QStringLiteral("logout.json")));
        PreferencesStore::shared().setBool(PrefKey::isPinSeted, false);
    }

    void mark()
    {
        m_mark = server.requestCount();
        log.lines.clear();
        alerts.alerts.clear();
        hookCalls.clear();
    }
    QList<StubHttpServer::Request> newRequests() const { return server.requests().mid(m_mark); }
    // Requests to one path since the mark.
    int requestsTo(const QString &path) const
    {
        const QList<StubHttpServer::Request> all = newRequests();
        return int(std::count_if(all.begin(), all.end(), [&](const StubHttpServer::Request &r) { return r.path == path; }));
    }
    bool waitForNewRequests(int count) const { return server.waitForRequests(m_mark + count); }

    // The server answers the account status with data.
    void answerSync(const QJsonObject &data)
    {
        server.answer(QStringLiteral("sync-url"), 200,
                      QJsonDocument(QJsonObject{{QStringLiteral("status"), true},
                                                {QStringLiteral("code"), 200},
                                                {QStringLiteral("msg"), QStringLiteral("Device synced")},
                                                {QStringLiteral("version"), QStringLiteral("3.0")},
                                                {QStringLiteral("data"), data}})
                          .toJson());
    }

    static QByteArray fixture(const QString &name)
    {
        QFile file(QStringLiteral(NIMBREL_TEST_DATA_DIR "/api/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestEnvironment env;
    StubHttpServer server;
    std::shared_ptr<FakeFlagSource> flags = std::make_shared<FakeFlagSource>(ReachabilityFlag::Reachable);
    AlertRecorder alerts;
    LogCapture log;
    bool mainWindow = true;
    QStringList hookCalls;

private:
    int m_mark = 0;
};
