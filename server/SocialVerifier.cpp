#include "SocialVerifier.h"

#include "core/Log.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QUrlQuery>

namespace {
constexpr int timeoutMs = 10 * 1000;

QString identifier(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toInteger());
    return {};
}
} // namespace

QString SocialVerifier::providerName(Provider provider)
{
    return provider == Provider::google ? QStringLiteral("Google") : QStringLiteral("Facebook");
}

SocialVerifier::SocialVerifier(QObject *parent)
    : QObject(parent)
{
}

void SocialVerifier::setEndpoint(Provider provider, const QUrl &endpoint)
{
    (provider == Provider::google ? m_google : m_facebook) = endpoint;
}

void SocialVerifier::setAudience(Provider provider, const QString &appId, const QUrl &introspection,
                                 const QString &appSecret)
{
    (provider == Provider::google ? m_googleAudience : m_facebookAudience) = {appId, introspection, appSecret};
}

bool SocialVerifier::isConfigured(Provider provider) const
{
    const Audience &audience = provider == Provider::google ? m_googleAudience : m_facebookAudience;
    const bool audienceKnown = !audience.appId.isEmpty() && audience.introspection.isValid() &&
                               (provider == Provider::google || !audience.appSecret.isEmpty());
    return (provider == Provider::google ? m_google : m_facebook).isValid() && audienceKnown;
}

void SocialVerifier::verify(Provider provider, const QString &token, const QString &profileID, const QString &email,
                            std::function<void(bool verified)> done)
{
    QNetworkRequest request(provider == Provider::google ? m_google : m_facebook);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [=, this] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        const QString id = identifier(answer.contains(QLatin1String("id")) ? answer.value(QLatin1String("id"))
                                                                           : answer.value(QLatin1String("sub")));
        const QString vouchedEmail = answer.value(QLatin1String("email")).toString();
        const bool emailUnverified = answer.value(QLatin1String("email_verified")) == QJsonValue(false);
        const bool verified = reply->error() == QNetworkReply::NoError && status == 200 && !id.isEmpty() &&
                              id == profileID && !vouchedEmail.isEmpty() &&
                              vouchedEmail.compare(email.trimmed(), Qt::CaseInsensitive) == 0 && !emailUnverified;
        if (!verified) {
            Log::line(QStringLiteral("social sign-in: %1 did not vouch for the account (HTTP %2)")
                          .arg(providerName(provider))
                          .arg(status));
            done(false);
            return;
        }
        checkAudience(provider, token, profileID, done);
    });
}

void SocialVerifier::checkAudience(Provider provider, const QString &token, const QString &profileID,
                                   std::function<void(bool verified)> done)
{
    const Audience &audience = provider == Provider::google ? m_googleAudience : m_facebookAudience;
    QUrl url = audience.introspection;
    QUrlQuery query(url);
    if (provider == Provider::google) {
        query.addQueryItem(QStringLiteral("access_token"), QString::fromLatin1(QUrl::toPercentEncoding(token)));
    } else {
        query.addQueryItem(QStringLiteral("input_token"), QString::fromLatin1(QUrl::toPercentEncoding(token)));
        query.addQueryItem(QStringLiteral("access_token"),
                           QString::fromLatin1(QUrl::toPercentEncoding(audience.appId + QLatin1Char('|') + audience.appSecret)));
    }
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = m_network.get(request);
    const QString appId = audience.appId;
    connect(reply, &QNetworkReply::finished, this, [=] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        bool ours = false;
        if (provider == Provider::google) {
            ours = answer.value(QLatin1String("aud")).toString() == appId ||
                   answer.value(QLatin1String("azp")).toString() == appId;
        } else {
            const QJsonObject data = answer.value(QLatin1String("data")).toObject();
            const QString user = identifier(data.value(QLatin1String("user_id")));
            ours = identifier(data.value(QLatin1String("app_id"))) == appId &&
                   data.value(QLatin1String("is_valid")).toBool() && (user.isEmpty() || user == profileID);
        }
        const bool verified = reply->error() == QNetworkReply::NoError && status == 200 && ours;
        // The address carries the token (and Facebook's app secret): never logged.
        if (!verified)
            Log::line(QStringLiteral("social sign-in: the %1 token was not granted to this application (HTTP %2)")
                          .arg(providerName(provider))
                          .arg(status));
        done(verified);
    });
}
