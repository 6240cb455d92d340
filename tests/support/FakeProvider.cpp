#include "FakeProvider.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace {
const QString code = QStringLiteral("4/0Aauth-code");

QHttpServerResponse json(const QJsonObject &object, QHttpServerResponse::StatusCode status =
                                                        QHttpServerResponse::StatusCode::Ok)
{
    return QHttpServerResponse(QByteArrayLiteral("application/json"), QJsonDocument(object).toJson(QJsonDocument::Compact),
                               status);
}

QHttpServerResponse redirect(const QString &location)
{
    QHttpServerResponse response(QByteArray(), QHttpServerResponse::StatusCode::Found);
    response.setHeader("Location", location.toUtf8());
    return response;
}

QByteArray bearer(const QHttpServerRequest &request)
{
    const QByteArray value = request.value("Authorization");
    return value.startsWith("Bearer ") ? value.mid(7) : QByteArray();
}
} // namespace

FakeProvider::FakeProvider()
{
    m_server.route(QStringLiteral("/google/auth"), [this](const QHttpServerRequest &request) {
        const QUrlQuery query(request.url());
        m_challenge = query.queryItemValue(QStringLiteral("code_challenge"));
        codeChallengeMethod = query.queryItemValue(QStringLiteral("code_challenge_method"));
        QUrl back(query.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
        QUrlQuery answer;
        const QString state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
        if (google == Google::cancelled) {
            answer.addQueryItem(QStringLiteral("error"), QStringLiteral("access_denied"));
            answer.addQueryItem(QStringLiteral("state"), state);
        } else {
            answer.addQueryItem(QStringLiteral("code"), QString::fromLatin1(QUrl::toPercentEncoding(code)));
            answer.addQueryItem(QStringLiteral("state"), google == Google::wrongState ? QStringLiteral("forged") : state);
        }
        back.setQuery(answer);
        return redirect(back.toString(QUrl::FullyEncoded));
    });
    m_server.route(QStringLiteral("/google/token"), [this](const QHttpServerRequest &request) {
        ++tokenRequests;
        const QUrlQuery form(QString::fromUtf8(request.body()));
        const QByteArray verifier = form.queryItemValue(QStringLiteral("code_verifier"), QUrl::FullyDecoded).toLatin1();
        const QByteArray proof = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                     .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        tokenRequestHadVerifier = !verifier.isEmpty() && QString::fromLatin1(proof) == m_challenge;
        if (!tokenRequestHadVerifier || form.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded) != code)
            return json({{"error", "invalid_grant"}}, QHttpServerResponse::StatusCode::BadRequest);
        return json({{"access_token", googleToken}, {"token_type", "Bearer"}, {"expires_in", 3599}});
    });
    m_server.route(QStringLiteral("/google/userinfo"), [this](const QHttpServerRequest &request) {
        if (bearer(request) != googleToken.toUtf8())
            return json({{"error", "invalid_token"}}, QHttpServerResponse::StatusCode::Unauthorized);
        QJsonObject user{{"name", "Ada Byron"}, {"given_name", "Ada"}, {"family_name", "Byron"}};
        if (google != Google::noId)
            user.insert(QStringLiteral("sub"), googleSub);
        if (google != Google::noEmail) {
            user.insert(QStringLiteral("email"), email);
            user.insert(QStringLiteral("email_verified"), true);
        }
        return json(user);
    });
    m_server.route(QStringLiteral("/google/tokeninfo"), [this](const QHttpServerRequest &request) {
        const QUrlQuery query(request.url());
        if (query.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded) != googleToken)
            return json({{"error_description", "Invalid Value"}}, QHttpServerResponse::StatusCode::BadRequest);
        return json({{"aud", googleAudience}, {"azp", googleAudience}, {"sub", googleSub}, {"email", email},
                     {"email_verified", "true"}, {"expires_in", "3599"}});
    });

    m_server.route(QStringLiteral("/facebook/dialog"), [this](const QHttpServerRequest &request) {
        const QUrlQuery query(request.url());
        const QString back = query.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded);
        const QString state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
        const QString token = QStringLiteral("access_token=") + facebookToken;
        switch (facebook) {
        case Facebook::noFragment:
            return redirect(back + QStringLiteral("?error=none"));
        case Facebook::emptyToken:
            return redirect(back + QStringLiteral("#access_token=&state=") + state);
        case Facebook::forgedState:
            return redirect(back + QStringLiteral("#") + token + QStringLiteral("&state=0000-FORGED"));
        case Facebook::tokenLast:
            return redirect(back + QStringLiteral("#state=") + state + QStringLiteral("&granted_scopes=email&") + token);
        default:
            return redirect(back + QStringLiteral("#") + token + QStringLiteral("&data_access_expiration_time=1&expires_in=5000&state=") + state);
        }
    });
    m_server.route(QStringLiteral("/facebook/me"), [this](const QHttpServerRequest &request) {
        const QUrlQuery query(request.url());
        const QString token = bearer(request).isEmpty() ? query.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded)
                                                        : QString::fromUtf8(bearer(request));
        if (token != facebookToken || facebook == Facebook::graphFails)
            return json({{"error", QJsonObject{{"message", "Invalid OAuth access token."}}}},
                        QHttpServerResponse::StatusCode::BadRequest);
        QJsonObject me{{"id", facebookUserId}};
        if (facebook != Facebook::noEmail)
            me.insert(QStringLiteral("email"), email);
        return json(me);
    });
    m_server.route(QStringLiteral("/facebook/debug_token"), [this](const QHttpServerRequest &request) {
        const QUrlQuery query(request.url());
        if (query.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded) !=
            facebookAppId + QLatin1Char('|') + facebookAppSecret)
            return json({{"error", QJsonObject{{"message", "Invalid app access token"}}}},
                        QHttpServerResponse::StatusCode::BadRequest);
        const bool valid = query.queryItemValue(QStringLiteral("input_token"), QUrl::FullyDecoded) == facebookToken;
        return json({{"data", QJsonObject{{"app_id", facebookTokenAppId}, {"is_valid", valid}, {"user_id", facebookUserId}}}});
    });
    m_port = m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl FakeProvider::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}
