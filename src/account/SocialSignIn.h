#pragma once

#include "ui/CommmonFunction.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QOAuth2AuthorizationCodeFlow;
class QProgressBar;
class QPushButton;
class QTimer;
class WebContentLoader;

// The provider addresses and identifiers; the build's values unless a test points them
// elsewhere.
struct SocialProviders {
    QString googleClientId;
    QString googleClientSecret; // Google's "installed application" secret; may be empty
    QUrl googleAuthorization;
    QUrl googleToken;
    QUrl googleUserInfo;
    QString facebookAppId;
    QUrl facebookDialog;
    QUrl facebookGraph; // the Graph API's base; "me?fields=email&access_token=" goes after it

    static SocialProviders configured();
    bool hasGoogle() const;
    bool hasFacebook() const;
};

// Google and Facebook sign-in for one account sheet: one attempt at a time, ended when the
// sheet closes. The sheet's loader shows while an attempt waits and goes away whenever it
// stops; a provider's answer ends in the server's login with "social_media" 2 (Google) or 1
// (Facebook), then the same handling as an e-mail sign-in.
//
// Google runs in the system browser (authorization code with PKCE, the answer on a loopback
// port of our own); Facebook runs in the web plugin's private window. Neither token is
// stored or written to the log.
class SocialSignIn : public QObject
{
    Q_OBJECT
public:
    SocialSignIn(QWidget *sheetContent, QProgressBar *loader, CommmonFunction::Slot sheetSlot);
    ~SocialSignIn() override;

    void signInWithGoogle();
    void signInWithFacebook();
    // A provider this build has no settings for cannot be chosen: its button is disabled and
    // says why. Called when the sheet shows, once the providers are settled.
    void updateButtons(QPushButton *google, QPushButton *facebook) const;
    // Ends the attempt under way, if any, without a message.
    void cancel();
    bool busy() const { return m_flow || m_facebookWindow || m_waiting; }

    SocialProviders providers = SocialProviders::configured();
    // The web plugin for Facebook; without it Facebook sign-in says it needs it.
    WebContentLoader *web = nullptr;
    // How long the Google attempt may take in the browser before it is given up.
    std::chrono::milliseconds googleTimeout{std::chrono::minutes(3)};
    // Opens the provider's page in the system browser.
    std::function<void(const QUrl &)> openBrowser;

    // The access token of a Facebook callback URL (empty when there is none) and whether its
    // state is the one sent.
    struct FacebookCallback {
        QString token;
        bool stateMatches = false;
    };
    static FacebookCallback readFacebookCallback(const QUrl &callback, const QString &state);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The attempt stopped (failure, cancel, or the login answer handled).
    void attemptEnded();

private:
    void startLoader();
    void stopLoader();
    void endGoogle();
    void stopAttempt();
    void failGoogle(const QString &messageKey);
    void googleGranted();
    void facebookCallback(const QUrl &callback);
    void facebookGraph(const QString &token);
    void loginWithFacebook(const QString &id, const QString &email, const QString &token);
    void login(int media, const QString &email, const QString &token, const QString &profileId);

    QPointer<QWidget> m_sheet;
    QPointer<QProgressBar> m_loader;
    CommmonFunction::Slot m_slot;
    QNetworkAccessManager *m_network;
    QOAuth2AuthorizationCodeFlow *m_flow = nullptr;
    QTimer *m_googleTimer;
    QPointer<QWidget> m_facebookWindow;
    QString m_facebookState;
    bool m_waiting = false; // a Graph or login request is under way
    int m_attempt = 0;      // answers of an ended attempt are dropped
};
