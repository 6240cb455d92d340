#pragma once

#include "Reachability.h"
#include "records/WebService.h"

#include <QByteArray>
#include <QMap>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

// A request that got no HTTP answer: refused, unreachable host, TLS failure, time-out.
struct ApiError {
    QNetworkReply::NetworkError code = QNetworkReply::NoError;
    bool timedOut = false;
    QString description;
};

// What the request path asks of the application's windows. The application installs them at
// start-up; an empty hook does nothing (and mainWindowExists then reads as false).
struct ApiWindowHooks {
    // The "Network Not Reachable" alert is shown only while the main window exists.
    std::function<bool()> mainWindowExists;
    // A 401 to the account status while already signed out: just bring the first window up.
    std::function<void()> bringFirstWindowToFront;
    // Forced sign-out of a signed-in user: end the sheet attached to the main window. Runs
    // before the store is emptied, so nothing a closing sheet writes survives.
    std::function<void()> endAttachedSheet;
    // Forced sign-out: show the launch screen in a 795 x 594 window. Runs after the session's
    // keys were removed and "isLogin" = false, "isLoggedOut" = true were written.
    std::function<void()> showLaunchScreen;
};

// The one way to the server: checks reachability, builds the URL and headers, sends, logs the
// exchange and applies the status-code rules before handing the body to the caller. Callbacks
// run on the main thread; at most one of them runs per request, none while unreachable.
class ApiManager : public QObject
{
    Q_OBJECT
public:
    using Parameters = QMap<QString, QString>;
    using Headers = QMap<QString, QString>;
    // body has no value when the answer carried none; httpStatus is the answer's HTTP status.
    using SuccessCallback = std::function<void(const std::optional<QByteArray> &body, int httpStatus)>;
    using FailureCallback = std::function<void(const ApiError &error)>;

    // The platform default for a request with no progress.
    static constexpr int defaultTransferTimeoutMs = 60 * 1000;

    static ApiManager &shared();
    // Drops the shared instance, its monitor and any request under way (tests).
    static void resetShared();

    ApiManager();
    ~ApiManager() override;

    // Absent until setupReachability has run; until then every request is refused. Also absent
    // when the system has no network information to give: requests are then tried.
    Reachability *reachability() const { return m_reachability.get(); }
    // Starts the default-route monitor. Failures are logged; requests are then tried.
    void setupReachability();
    // The same with a given flag source (tests).
    void setupReachability(std::shared_ptr<ReachabilityFlagSource> source);
    // Every change, either way, sends one account-status request.
    void reachabilityChanged(const QVariant &notification);

    // False when the reachability gate kept the request back: then neither callback runs.
    // page is the page of a paged service, always asked for on the configured API base.
    bool sendRequest(WebService service, bool isPost, const Parameters &parameters, FailureCallback onFailure,
                     SuccessCallback onSuccess, qint64 page = 1);
    Headers makeHeaders() const;

    void setWindowHooks(ApiWindowHooks hooks) { m_hooks = std::move(hooks); }
    // Plain HTTP is accepted for loopback hosts only; false (and nothing changes) otherwise.
    bool setApiBase(const QUrl &base);
    QUrl apiBase() const { return m_apiBase; }
    static bool isAcceptableApiBase(const QUrl &base);
    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }
    // The system language code used when no interface language is stored ("" for none).
    void setSystemLanguage(std::function<QString()> provider) { m_systemLanguage = std::move(provider); }

private:
    struct Exchange {
        WebService service;
        bool isPost;
        QString url;
        Parameters parameters;
        FailureCallback onFailure;
        SuccessCallback onSuccess;
    };
    void installReachability(std::unique_ptr<Reachability> monitor);
    void handleResponse(QNetworkReply *reply, const Exchange &exchange);
    void forcedSignOut(WebService service);

    QNetworkAccessManager *m_network;
    std::unique_ptr<Reachability> m_reachability;
    bool m_reachabilitySetUp = false;
    ApiWindowHooks m_hooks;
    QUrl m_apiBase;
    int m_transferTimeoutMs = defaultTransferTimeoutMs;
    std::function<QString()> m_systemLanguage;
};
