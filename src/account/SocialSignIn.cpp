#include "SocialSignIn.h"

#include "BuildConfig.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/SystemBrowser.h"
#include "texts/LocalizedText.h"
#include "ui/WebContent.h"
#include "ui/WebContentLoader.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

namespace {
QUrl address(const char *text)
{
    return QUrl(QString::fromUtf8(text), QUrl::StrictMode);
}

QString ooops()
{
    return messageText(QStringLiteral("Ooops"));
}

QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString jsonString(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}
} // namespace

SocialProviders SocialProviders::configured()
{
    SocialProviders p;
    p.googleClientId = QString::fromUtf8(BuildConfig::googleClientId);
    p.googleClientSecret = QString::fromUtf8(BuildConfig::googleClientSecret);
    p.googleAuthorization = address(BuildConfig::googleAuthorizationUrl);
    p.googleToken = address(BuildConfig::googleTokenUrl);
    p.googleUserInfo = address(BuildConfig::googleUserInfoUrl);
    p.facebookAppId = QString::fromUtf8(BuildConfig::facebookAppId);
    p.facebookDialog = address(BuildConfig::facebookDialogUrl);
    p.facebookGraph = address(BuildConfig::facebookGraphUrl);
    return p;
}

bool SocialProviders::hasGoogle() const
{
    return !googleClientId.isEmpty() && googleAuthorization.isValid() && googleToken.isValid() &&
           googleUserInfo.isValid();
}

bool SocialProviders::hasFacebook() const
{
    return !facebookAppId.isEmpty() && facebookDialog.isValid() && facebookGraph.isValid();
}

void SocialSignIn::updateButtons(QPushButton *google, QPushButton *facebook) const
{
    const auto set = [](QPushButton *button, bool usable, const char *why) {
        if (!button)
            return;
        button->setEnabled(usable);
        button->setToolTip(usable ? QString() : localizedText(QString::fromUtf8(why)));
    };
    set(google, providers.hasGoogle(), "Google sign-in is not configured in this build.");
    set(facebook, providers.hasFacebook(), "Facebook sign-in is not configured in this build.");
}

SocialSignIn::SocialSignIn(QWidget *sheetContent, QProgressBar *loader, CommmonFunction::Slot sheetSlot)
    : QObject(sheetContent)
    , m_sheet(sheetContent)
    , m_loader(loader)
    , m_slot(sheetSlot)
    , m_network(new QNetworkAccessManager(this))
    , m_googleTimer(new QTimer(this))
{
    openBrowser = [](const QUrl &url) { openInSystemBrowser(url); };
    m_googleTimer->setSingleShot(true);
    sheetContent->installEventFilter(this);
    connect(m_googleTimer, &QTimer::timeout, this, [this] {
        // Qt's flow only logs a wrong state, a missing code or a refused token request, so an
        // attempt that went wrong in the browser would otherwise wait for ever.
        Log::line(QStringLiteral("Google sign-in: no answer in time"));
        failGoogle(QStringLiteral("Google sign-in did not finish in time."));
    });
}

SocialSignIn::~SocialSignIn()
{
    if (m_facebookWindow)
        m_facebookWindow->close();
}

// The sheet going away ends the attempt: nothing may sign in behind a closed sheet.
bool SocialSignIn::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_sheet && event->type() == QEvent::Hide && busy())
        cancel();
    return false;
}

void SocialSignIn::startLoader()
{
    if (m_loader) {
        m_loader->setRange(0, 0);
        m_loader->show();
    }
}

void SocialSignIn::stopLoader()
{
    if (m_loader)
        m_loader->hide();
}

void SocialSignIn::cancel()
{
    ++m_attempt;
    m_waiting = false;
    endGoogle();
    if (m_facebookWindow)
        m_facebookWindow->close(); // its callback belongs to an ended attempt by now
    stopLoader();
}

// ---- Google ----

void SocialSignIn::signInWithGoogle()
{
    if (busy())
        return;
    const SocialProviders &p = providers;
    if (!p.hasGoogle()) {
        CommmonFunction::showCommonAlert(ooops(), localizedText(QStringLiteral("Google sign-in is not configured in this build.")));
        return;
    }
    if (!m_sheet || !m_sheet->window())
        return;
    startLoader();
    ++m_attempt;
    m_flow = new QOAuth2AuthorizationCodeFlow(m_network, this);
    // Loopback only: the code must not be offered to the network.
    auto *handler = new QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, 0, m_flow);
    if (!handler->isListening()) {
        Log::line(QStringLiteral("Google sign-in: cannot listen on the loopback address"));
        endGoogle();
        return;
    }
    m_flow->setReplyHandler(handler);
    m_flow->setAuthorizationUrl(p.googleAuthorization);
    m_flow->setAccessTokenUrl(p.googleToken);
    m_flow->setClientIdentifier(p.googleClientId);
    if (!p.googleClientSecret.isEmpty())
        m_flow->setClientIdentifierSharedKey(p.googleClientSecret);
    m_flow->setScope(QStringLiteral("openid email profile"));

    // PKCE (S256): a code caught by another program on this computer is useless without the
    // verifier, which never leaves this process until the token request.
    QByteArray random(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(random.begin(), random.end());
    const QByteArray verifier = base64Url(random);
    const QByteArray challenge = base64Url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256));
    m_flow->setModifyParametersFunction([verifier, challenge](QAbstractOAuth::Stage stage,
                                                              QMultiMap<QString, QVariant> *parameters) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            parameters->insert(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
            parameters->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
        } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
            // Qt 6.4 hands the code on still percent-encoded ("4%2F0A..."): send it as issued.
            const QString code = parameters->value(QStringLiteral("code")).toString();
            parameters->remove(QStringLiteral("code"));
            parameters->insert(QStringLiteral("code"), QUrl::fromPercentEncoding(code.toUtf8()));
            parameters->insert(QStringLiteral("code_verifier"), QString::fromLatin1(verifier));
        }
    });
    connect(m_flow, &QAbstractOAuth::authorizeWithBrowser, this, [this](const QUrl &url) {
        Log::line(QStringLiteral("Google sign-in: continuing in the browser"));
        openBrowser(url);
    });
    connect(m_flow, &QAbstractOAuth::granted, this, &SocialSignIn::googleGranted);
    connect(m_flow, &QAbstractOAuth2::error, this, [this](const QString &error, const QString &, const QUrl &) {
        // Cancelled or refused at the provider: no message.
        Log::line(QStringLiteral("Google sign-in ended: ") + error);
        endGoogle();
    });
    m_googleTimer->start(googleTimeout);
    m_flow->grant();
}

void SocialSignIn::endGoogle()
{
    m_googleTimer->stop();
    if (m_flow) {
        m_flow->disconnect(this);
        m_flow->deleteLater(); // closes the loopback port
        m_flow = nullptr;
    }
    if (!m_waiting)
        stopAttempt();
}

void SocialSignIn::stopAttempt()
{
    m_waiting = false;
    stopLoader();
    emit attemptEnded();
}

void SocialSignIn::failGoogle(const QString &messageKey)
{
    endGoogle();
    CommmonFunction::showCommonAlert(ooops(), localizedText(messageKey));
}

void SocialSignIn::googleGranted()
{
    m_googleTimer->stop();
    m_waiting = true;
    const QString token = m_flow->token();
    Log::line(QStringLiteral("Access Token:- <redacted>"));
    QNetworkRequest request(providers.googleUserInfo);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setTransferTimeout(60000);
    const int attempt = m_attempt;
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, token, attempt] {
        reply->deleteLater();
        if (attempt != m_attempt)
            return;
        endGoogle(); // still waiting: the loader stays for the login
        const QJsonObject user = QJsonDocument::fromJson(reply->readAll()).object();
        if (reply->error() != QNetworkReply::NoError || user.isEmpty()) {
            Log::line(QStringLiteral("Google sign-in: user information not received (error %1)").arg(int(reply->error())));
            stopAttempt();
            return;
        }
        const QString email = jsonString(user, "email");
        if (email.isEmpty()) {
            stopAttempt();
            CommmonFunction::showCommonAlert(ooops(), messageText(QStringLiteral("email not found in google signin")));
            return;
        }
        Log::line(QStringLiteral("Email:- ") + email);
        Log::line(QStringLiteral("Full Name:- ") + jsonString(user, "name"));
        Log::line(QStringLiteral("Given Name:- ") + jsonString(user, "given_name"));
        Log::line(QStringLiteral("Family Name:- ") + jsonString(user, "family_name"));
        Log::line(QStringLiteral("Profile Pic URL:- ") + jsonString(user, "picture"));
        const QString id = jsonString(user, "sub");
        if (id.isEmpty()) {
            stopAttempt();
            CommmonFunction::showCommonAlert(ooops(), messageText(QStringLiteral("User ID not found in Google SignIn")));
            return;
        }
        login(int(CommonWS::SocialMedia::google), email, token, id);
    });
}

// ---- Facebook ----

void SocialSignIn::signInWithFacebook()
{
    if (busy())
        return;
    const SocialProviders &p = providers;
    if (!p.hasFacebook()) {
        CommmonFunction::showCommonAlert(ooops(), localizedText(QStringLiteral("Facebook sign-in is not configured in this build.")));
        return;
    }
    WebContent *plugin = web ? web->plugin() : nullptr;
    if (!plugin) {
        CommmonFunction::showCommonAlert(
            ooops(), localizedText(QStringLiteral("Facebook sign-in needs the web component, which is not installed.")));
        return;
    }
    if (!m_sheet)
        return;
    const QString scheme = QStringLiteral("fb") + p.facebookAppId;
    m_facebookState = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QUrl url = p.facebookDialog;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_id"), p.facebookAppId);
    query.addQueryItem(QStringLiteral("redirect_uri"), scheme + QStringLiteral("://authorize"));
    query.addQueryItem(QStringLiteral("scope"), QStringList{QStringLiteral("email")}.join(QLatin1Char(',')));
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("token granted_scopes"));
    query.addQueryItem(QStringLiteral("state"), m_facebookState);
    url.setQuery(query);
    Log::line(url.toString(QUrl::FullyEncoded));
    const int attempt = ++m_attempt;
    QPointer<SocialSignIn> self(this);
    m_facebookWindow = plugin->startWebSession(url, scheme, [self, attempt](const QUrl &callback) {
        if (self && attempt == self->m_attempt) {
            // Still busy while the answer waits its turn: the window may already be gone.
            self->m_waiting = true;
            QTimer::singleShot(0, self, [self, callback] { self->facebookCallback(callback); });
        }
    }, m_sheet->window());
}

SocialSignIn::FacebookCallback SocialSignIn::readFacebookCallback(const QUrl &callback, const QString &state)
{
    FacebookCallback result;
    const QStringList pieces = callback.toString(QUrl::FullyEncoded).split(QLatin1Char('#'), Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return result;
    bool tokenSeen = false;
    for (const QString &parameter : pieces.at(1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        if (!tokenSeen && parameter.contains(QLatin1String("access_token="))) {
            tokenSeen = true; // the first such piece decides, usable or not
            const QStringList parts = parameter.split(QLatin1Char('='), Qt::SkipEmptyParts);
            if (parts.size() == 2)
                result.token = QUrl::fromPercentEncoding(parts.at(1).toUtf8());
        } else if (parameter.startsWith(QLatin1String("state="))) {
            result.stateMatches = !state.isEmpty() && QUrl::fromPercentEncoding(parameter.mid(6).toUtf8()) == state;
        }
    }
    return result;
}

void SocialSignIn::facebookCallback(const QUrl &callback)
{
    m_facebookWindow = nullptr;
    if (callback.isEmpty()) {
        Log::line(QStringLiteral("Facebook sign-in: the window was closed before an answer"));
        stopAttempt();
        return;
    }
    const FacebookCallback answer = readFacebookCallback(callback, m_facebookState);
    m_facebookState.clear(); // one answer per state
    // An answer carrying another state was not started here: a forged sign-in.
    if (!answer.stateMatches || answer.token.isEmpty()) {
        Log::line(answer.stateMatches ? QStringLiteral("Found error in Facebook Login")
                                      : QStringLiteral("Found error in Facebook Login: the state does not match"));
        stopAttempt();
        CommmonFunction::showCommonAlert(ooops(), messageText(QStringLiteral("Error with Facebook login")));
        return;
    }
    Log::line(QStringLiteral("access_token = <redacted>"));
    facebookGraph(answer.token);
}

void SocialSignIn::facebookGraph(const QString &token)
{
    startLoader();
    QUrl url = providers.facebookGraph.resolved(QUrl(QStringLiteral("me")));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("fields"), QStringLiteral("email"));
    query.addQueryItem(QStringLiteral("access_token"), QString::fromUtf8(QUrl::toPercentEncoding(token)));
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setTransferTimeout(60000);
    m_waiting = true;
    const int attempt = m_attempt;
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, token, attempt] {
        reply->deleteLater();
        if (attempt != m_attempt)
            return;
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
        const QJsonObject me = document.object();
        const bool typed = !me.contains(QLatin1String("id")) || me.value(QLatin1String("id")).isString();
        if (reply->error() != QNetworkReply::NoError || !document.isObject() || !typed) {
            // The reply's own error text would repeat the address, token and all.
            Log::line(QStringLiteral("Facebook Graph request failed (error %1)").arg(int(reply->error())));
            stopAttempt();
            return;
        }
        loginWithFacebook(jsonString(me, "id"), jsonString(me, "email"), token);
    });
}

void SocialSignIn::loginWithFacebook(const QString &id, const QString &email, const QString &token)
{
    Log::line(QStringLiteral("Facebook token: <redacted>"));
    if (token.isEmpty() || id.isEmpty()) {
        stopAttempt();
        CommmonFunction::showCommonAlert(ooops(), messageText(QStringLiteral("Error with Facebook login")));
        return;
    }
    if (email.isEmpty()) {
        stopAttempt();
        CommmonFunction::showCommonAlert(ooops(), messageText(QStringLiteral("Required Email Address")));
        return;
    }
    login(int(CommonWS::SocialMedia::facebook), email, token, id);
}

// ---- Login ----

void SocialSignIn::login(int media, const QString &email, const QString &token, const QString &profileId)
{
    startLoader();
    m_waiting = true;
    const int attempt = m_attempt;
    const CommmonFunction::Slot slot = m_slot;
    QPointer<SocialSignIn> self(this);
    auto finish = [self, attempt] {
        if (!self || attempt != self->m_attempt)
            return false;
        self->stopAttempt();
        return true;
    };
    CommonWS::shared().socialLogin(
        CommonWS::SocialMedia(media), email, token, profileId,
        [finish, slot](const BaseModel<AuthModel> &record, bool ok) {
            Log::line(QStringLiteral("Model Response - ") + LogRedaction::describeRecord(record));
            Log::line(QStringLiteral("Is Success - ") + (ok ? QStringLiteral("true") : QStringLiteral("false")));
            if (!finish())
                return;
            if (!ok) {
                Log::line(QStringLiteral("============== Error while decoding the model response ==================="));
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Response Error")),
                                                 messageText(QStringLiteral("Couldn't decode response")));
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(ooops(), record.msg);
                return;
            }
            PreferencesStore &prefs = PreferencesStore::shared();
            prefs.setBool(PrefKey::isLogin, true);
            if (record.data) {
                prefs.setInteger(PrefKey::user_id, record.data->id);
                prefs.setString(PrefKey::loginToken, record.data->token);
            }
            prefs.setBool(PrefKey::isLoggedOut, false);
            CommonWS::shared().syncURL([slot](const BaseModel<SyncURLModel> &sync, bool syncOk) {
                // Without a confirmed sync the session is kept but the sheet stays.
                if (!syncOk || !sync.status)
                    return;
                CommmonFunction &common = CommmonFunction::shared();
                common.dismissPresented(slot);
                common.openMainContent(QSize(800, 500));
            });
        },
        [finish] { finish(); });
}
