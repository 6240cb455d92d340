#include "ApiManager.h"

#include "BuildConfig.h"
#include "CommonWS.h"
#include "LogRedaction.h"
#include "core/Log.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "records/FormEncoding.h"
#include "records/RecordCodec.h"
#include "texts/LocalizedText.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {
std::unique_ptr<ApiManager> &sharedSlot()
{
    static std::unique_ptr<ApiManager> manager;
    return manager;
}

QString alertText(const char *english)
{
    return messageText(QString::fromUtf8(english));
}

const QString separator(74, QLatin1Char('='));

QByteArray formEncoded(const ApiManager::Parameters &parameters)
{
    // Keys in sorted order, as the map keeps them.
    FormFields fields;
    for (auto it = parameters.begin(); it != parameters.end(); ++it)
        fields.append({it.key(), it.value()});
    return encodeForm(fields);
}
} // namespace

ApiManager &ApiManager::shared()
{
    auto &slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<ApiManager>();
    return *slot;
}

void ApiManager::resetShared()
{
    sharedSlot().reset();
}

ApiManager::ApiManager()
    // A child, not a member: QObject disconnects this object before deleting its children,
    // so replies aborted by the teardown cannot call back into a half-destroyed manager.
    : m_network(new QNetworkAccessManager(this))
    , m_apiBase(QString::fromUtf8(BuildConfig::apiBase))
    , m_systemLanguage(systemLanguageCode)
{
}

ApiManager::~ApiManager()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

bool ApiManager::isAcceptableApiBase(const QUrl &base)
{
    if (!base.isValid() || base.host().isEmpty())
        return false;
    if (base.scheme() == QLatin1String("https"))
        return true;
    if (base.scheme() != QLatin1String("http"))
        return false;
    if (base.host() == QLatin1String("localhost"))
        return true;
    const QHostAddress address(base.host());
    return !address.isNull() && address.isLoopback();
}

bool ApiManager::setApiBase(const QUrl &base)
{
    if (!isAcceptableApiBase(base)) {
        Log::line(QStringLiteral("API base refused, plain HTTP is for loopback hosts only: ") + base.toString());
        return false;
    }
    m_apiBase = base;
    return true;
}

void ApiManager::setupReachability()
{
    ReachabilityError error{};
    std::unique_ptr<Reachability> monitor = Reachability::forDefaultRoute(&error);
    if (!monitor) {
        // Nothing reports the network here: refusing every request for good would lock the
        // user out, so requests are tried and transport errors handled as usual.
        Log::line(QStringLiteral("Reachability: ") + error.description());
        NotificationCenter::defaultCenter().removeObserver(this);
        m_reachability.reset();
        m_reachabilitySetUp = true;
        return;
    }
    installReachability(std::move(monitor));
}

void ApiManager::setupReachability(std::shared_ptr<ReachabilityFlagSource> source)
{
    installReachability(std::make_unique<Reachability>(std::move(source)));
}

void ApiManager::installReachability(std::unique_ptr<Reachability> monitor)
{
    // Set up once; a second call replaces the monitor instead of doubling the observers.
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.removeObserver(this);
    m_reachability = std::move(monitor);
    Reachability *current = m_reachability.get();
    center.addObserver(this, Reachability::changedNotification, [this, current](const QVariant &object) {
        if (object.value<Reachability *>() == current)
            reachabilityChanged(object);
    });
    current->whenReachable = [](Reachability *) { Log::line(QStringLiteral("reached")); };
    current->whenUnreachable = [](Reachability *) { Log::line(QStringLiteral("not reachable")); };
    m_reachabilitySetUp = true;
    if (std::optional<ReachabilityError> error = current->startNotifier()) {
        // A monitor that cannot report is no monitor: requests are tried, as without one.
        Log::line(QStringLiteral("Reachability: ") + error->description());
        center.removeObserver(this);
        m_reachability.reset();
    }
}

void ApiManager::reachabilityChanged(const QVariant &)
{
    CommonWS::shared().syncURL([](const BaseModel<SyncURLModel> &, bool) {});
    Log::line(QStringLiteral("reachability changed"));
}

ApiManager::Headers ApiManager::makeHeaders() const
{
    const PreferencesStore &prefs = PreferencesStore::shared();
    const std::optional<QString> token = prefs.stringForKey(PrefKey::loginToken);
    const QString bearer = token && !token->isEmpty() ? *token : QString::fromUtf8(BuildConfig::appToken);

    QString language;
    if (const std::optional<QString> current = prefs.stringForKey(PrefKey::CurrentLanguage)) {
        language = *current;
    } else {
        language = m_systemLanguage ? m_systemLanguage() : QString();
        if (language.isEmpty())
            language = QStringLiteral("empty language code");
    }
    return {{QStringLiteral("Authorization"), QStringLiteral("Bearer ") + bearer},
            {QStringLiteral("X-localization"), language}};
}

bool ApiManager::sendRequest(WebService service, bool isPost, const Parameters &parameters, FailureCallback onFailure,
                             SuccessCallback onSuccess, qint64 page)
{
    if (!m_reachabilitySetUp || (m_reachability && m_reachability->connection() == Connection::unavailable)) {
        if (m_hooks.mainWindowExists && m_hooks.mainWindowExists())
            AlertPresenter::shared().showCommonAlert(alertText("Ooops"), alertText("Network Not Reachable"));
        return false;
    }

    const QString url = m_apiBase.toString() + path(service, page);
    QNetworkRequest request{QUrl(url)};
    const Headers headers = makeHeaders();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    request.setTransferTimeout(m_transferTimeoutMs);
    // The bearer token must not follow a redirect to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);

    QNetworkReply *reply = nullptr;
    if (isPost) {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded; charset=utf-8"));
        reply = m_network->post(request, formEncoded(parameters));
    } else {
        // Parameters of a GET are logged but never sent.
        reply = m_network->get(request);
    }
    Exchange exchange{service, isPost, url, parameters, std::move(onFailure), std::move(onSuccess)};
    connect(reply, &QNetworkReply::finished, this, [this, reply, exchange = std::move(exchange)] {
        reply->deleteLater();
        handleResponse(reply, exchange);
    });
    return true;
}

void ApiManager::handleResponse(QNetworkReply *reply, const Exchange &exchange)
{
    Log::line(separator);
    Log::line(QStringLiteral("API: ") + exchange.url + QStringLiteral(" \n"));
    Log::line(QStringLiteral("Param: ") + LogRedaction::describeParameters(exchange.parameters) + QLatin1Char('\n'));
    Log::line(QStringLiteral("Header: ") + LogRedaction::describeHeaders(makeHeaders()) + QLatin1Char('\n'));

    // Errors below 200 are the network's (refused, time-out, TLS, ...); above they only
    // restate an HTTP status, which is an answer like any other.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError networkError = reply->error();
    if (!status.isValid() || (networkError != QNetworkReply::NoError && networkError < 200)) {
        ApiError error;
        error.code = networkError;
        error.timedOut =
            networkError == QNetworkReply::OperationCanceledError || networkError == QNetworkReply::TimeoutError;
        error.description = error.timedOut ? QStringLiteral("The request timed out.") : reply->errorString();
        Log::line(QStringLiteral("Error : ") + error.description);
        Log::line(separator);
        if (exchange.onFailure)
            exchange.onFailure(error);
        return;
    }

    const QByteArray data = reply->readAll();
    const std::optional<QByteArray> body = data.isEmpty() ? std::nullopt : std::optional<QByteArray>(data);
    Log::line(QStringLiteral("Response Data - ") +
              (body ? QString::number(body->size()) + QStringLiteral(" bytes") : QStringLiteral("nil")));
    if (body) {
        QString parseError;
        const std::optional<QJsonValue> json = RecordCodec::parseJson(*body, &parseError);
        if (!json)
            Log::line(QStringLiteral("JSON Serialization Error - ") + parseError);
        else if (json->isObject())
            Log::line(exchange.url.section(QLatin1Char('/'), -1) + QStringLiteral(" JSON: ") +
                      LogRedaction::describe(*json));
        else
            Log::line(QStringLiteral("Given JSON is not a valid dictionary object."));
    }

    const int code = status.toInt();
    const auto deliver = [&] {
        if (exchange.onSuccess)
            exchange.onSuccess(body, code);
    };
    if (code >= 200 && code <= 299) {
        deliver();
    } else if (code == 401) {
        if (exchange.isPost)
            forcedSignOut(exchange.service);
        else
            deliver();
    } else if (code == 404 && endpoint(exchange.service).beyondClassic) {
        // A server without this newer service: its caller tells the user what is missing.
        deliver();
    } else {
        AlertPresenter::shared().showCommonAlert(alertText("Ooops"),
                                                 alertText("error Code :") + QString::number(code));
        deliver();
    }
}

void ApiManager::forcedSignOut(WebService service)
{
    PreferencesStore &prefs = PreferencesStore::shared();
    const bool wasLoggedOut = prefs.boolForKey(PrefKey::isLoggedOut);
    if (wasLoggedOut && service == WebService::syncURL) {
        if (m_hooks.bringFirstWindowToFront)
            m_hooks.bringFirstWindowToFront();
        return;
    }
    if (!wasLoggedOut && m_hooks.endAttachedSheet)
        m_hooks.endAttachedSheet();
    // Only the session ends. What protects the computer (protection and its watchdog, the
    // blocked applications, the PIN flag) and the language stay: a token revoked elsewhere
    // must not switch anything off, nor lose the list.
    // The device's DNS key goes with the session: a name the filter no longer knows gets no
    // answers, plain DNS does.
    prefs.remove({PrefKey::loginToken, PrefKey::user_id, PrefKey::user_email, PrefKey::user_name,
                  PrefKey::user_device, PrefKey::dnsKey, PrefKey::dotHost});
    prefs.setBool(PrefKey::isLogin, false);
    prefs.setBool(PrefKey::isLoggedOut, true);
    prefs.synchronize();
    if (m_hooks.showLaunchScreen)
        m_hooks.showLaunchScreen();
    // Said once, when the session ends; later answers of the same kind change nothing more.
    if (!wasLoggedOut)
        AlertPresenter::shared().showCommonAlert(alertText("Signed out"),
                                                 alertText("Your session has ended. Please sign in again."));
}
