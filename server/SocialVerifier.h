#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <functional>

// Checks a Google or Facebook access token with the provider before the server trusts the
// identity the app sends. The endpoint is asked with "Authorization: Bearer <token>" and must
// answer 200 with a JSON object whose "id" (or "sub") is the profile id the app sent and whose
// "email" is the address the app sent. Without an endpoint the provider is refused.
class SocialVerifier : public QObject
{
    Q_OBJECT
public:
    enum class Provider { facebook = 1, google = 2 };
    static QString providerName(Provider provider);

    explicit SocialVerifier(QObject *parent = nullptr);
    void setEndpoint(Provider provider, const QUrl &endpoint);
    bool isConfigured(Provider provider) const;

    // done(true) only when the provider vouched for both the profile id and the address.
    void verify(Provider provider, const QString &token, const QString &profileID, const QString &email,
                std::function<void(bool verified)> done);

private:
    QNetworkAccessManager m_network;
    QUrl m_facebook;
    QUrl m_google;
};
