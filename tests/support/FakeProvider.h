#pragma once

#include <QHttpServer>
#include <QString>
#include <QUrl>

// Google's authorization, token, user-info and token-info endpoints and Facebook's dialog,
// Graph and debug_token endpoints, on 127.0.0.1 (random port), answering as the mode says.
// The real nimbrel-server checks tokens against it and the app signs in through it.
class FakeProvider
{
public:
    enum class Google { normal, wrongState, cancelled, noEmail, noId, otherApplication };
    enum class Facebook { normal, tokenLast, emptyToken, noFragment, forgedState, graphFails, noEmail, otherApplication };

    FakeProvider();
    bool isListening() const { return m_port != 0; }
    QUrl url(const QString &path) const;

    Google google = Google::normal;
    Facebook facebook = Facebook::normal;

    QString googleClientId = QStringLiteral("1234-abcdefghijklmnopqrstuvwxyz012345.apps.example");
    QString googleToken = QStringLiteral("ya29.google-token-ABC");
    QString googleSub = QStringLiteral("108-google-user");
    QString facebookAppId = QStringLiteral("123456789012345");
    QString facebookAppSecret = QStringLiteral("facebook-app-secret");
    QString facebookToken = QStringLiteral("EAAB-facebook-token");
    QString facebookUserId = QStringLiteral("fb-7");
    // The application the tokens were granted to, as the introspection endpoints report it.
    QString googleAudience = googleClientId;
    QString facebookTokenAppId = facebookAppId;
    QString email = QStringLiteral("ada@example.org");

    // What arrived at the authorization endpoint, and whether the token request proved PKCE.
    QString codeChallengeMethod;
    bool tokenRequestHadVerifier = false;
    int tokenRequests = 0;

private:
    QHttpServer m_server;
    quint16 m_port = 0;
    QString m_challenge;
};
