#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <functional>

// Checks a Google or Facebook access token with the provider before the server trusts the
// identity the app sends. The endpoint is asked with "Authorization: Bearer <token>" and must
// answer 200 with a JSON object whose "id" (or "sub") is the profile id the app sent and whose
// "email" is the address the app sent. Then the provider's introspection endpoint must say the
// token was granted to our application (Google's tokeninfo: "aud" or "azp" is our client id;
// Facebook's debug_token, asked with our app access token: "app_id" is our app id), so a token
// obtained by another application signs nobody in. Without an endpoint or without our
// application's identity the provider is refused.
class SocialVerifier : public QObject
{
    Q_OBJECT
public:
    enum class Provider { facebook = 1, google = 2 };
    static QString providerName(Provider provider);

    explicit SocialVerifier(QObject *parent = nullptr);
    void setEndpoint(Provider provider, const QUrl &endpoint);
    // appSecret: Facebook only, for the app access token "<app id>|<secret>".
    void setAudience(Provider provider, const QString &appId, const QUrl &introspection, const QString &appSecret = {});
    bool isConfigured(Provider provider) const;

    // done(true) only when the provider vouched for both the profile id and the address.
    void verify(Provider provider, const QString &token, const QString &profileID, const QString &email,
                std::function<void(bool verified)> done);

private:
    struct Audience {
        QString appId;
        QUrl introspection;
        QString appSecret;
    };
    void checkAudience(Provider provider, const QString &token, const QString &profileID,
                       std::function<void(bool verified)> done);

    QNetworkAccessManager m_network;
    Audience m_googleAudience;
    Audience m_facebookAudience;
    QUrl m_facebook;
    QUrl m_google;
};
