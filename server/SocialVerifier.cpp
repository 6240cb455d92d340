#include "SocialVerifier.h"

#include "core/Log.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

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

bool SocialVerifier::isConfigured(Provider provider) const
{
    return (provider == Provider::google ? m_google : m_facebook).isValid();
}

void SocialVerifier::verify(Provider provider, const QString &token, const QString &profileID, const QString &email,
                            std::function<void(bool verified)> done)
{
    QNetworkRequest request(provider == Provider::google ? m_google : m_facebook);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [=] {
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
        if (!verified)
            Log::line(QStringLiteral("social sign-in: %1 did not vouch for the account (HTTP %2)")
                          .arg(providerName(provider))
                          .arg(status));
        done(verified);
    });
}
