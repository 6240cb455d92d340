// Google and Facebook sign-in from the sign-in sheet, against a fake provider on 127.0.0.1 and
// the real nimbrel-server, which checks each token with the same fake. Facebook runs in the
// real web plugin.
#include "FakeProvider.h"
#include "ServerTestBed.h"
#include "account/LogInWindowController.h"
#include "account/SocialSignIn.h"
#include "platform/DeviceIdentity.h"
#include "ui/WebContentLoader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QtTest>

class TestSocialSignIn : public QObject
{
    Q_OBJECT
    WebContentLoader m_loader{QStringList{QStringLiteral(NIMBREL_PLUGIN_DIR)}};
    std::unique_ptr<ServerTestBed> bed;
    std::unique_ptr<FakeProvider> provider;
    QNetworkAccessManager browser; // stands in for the system browser

    bool inMainContent() { return bed->mainContent(); }

    // The sign-in sheet's social sign-in, pointed at the fake provider.
    SocialSignIn *openSheet()
    {
        bed->clock.advance(ViewController::startupDelayMs);
        auto *login = bed->sheet<LogInWindowController>();
        if (!login)
            return nullptr;
        SocialSignIn *social = login->viewController()->socialSignIn;
        SocialProviders &p = social->providers;
        p.googleClientId = provider->googleClientId;
        p.googleClientSecret.clear();
        p.googleAuthorization = provider->url(QStringLiteral("/google/auth"));
        p.googleToken = provider->url(QStringLiteral("/google/token"));
        p.googleUserInfo = provider->url(QStringLiteral("/google/userinfo"));
        p.facebookAppId = provider->facebookAppId;
        p.facebookDialog = provider->url(QStringLiteral("/facebook/dialog"));
        p.facebookGraph = provider->url(QStringLiteral("/facebook/"));
        social->googleTimeout = std::chrono::milliseconds(3000);
        social->openBrowser = [this](const QUrl &url) {
            QNetworkRequest request(url);
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
            QNetworkReply *reply = browser.get(request);
            connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        };
        return social;
    }

    QStringList alertMessages() const
    {
        QStringList messages;
        for (const auto &alert : bed->alerts.alerts)
            messages << alert.first + QStringLiteral(" / ") + alert.second;
        return messages;
    }

    void checkSignedIn(const QString &token)
    {
        QTRY_VERIFY2_WITH_TIMEOUT(inMainContent(), qPrintable(bed->log.lines.join(QLatin1Char('\n'))), 15000);
        QVERIFY(bed->alerts.alerts.isEmpty());
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::isLogin));
        QVERIFY(!PreferencesStore::shared().stringForKey(PrefKey::loginToken).value_or(QString()).isEmpty());
        QCOMPARE(PreferencesStore::shared().stringForKey(PrefKey::user_email), provider->email);
        // The provider's token never reaches the log, in full or as part of an address.
        QVERIFY(!bed->log.lines.join(QLatin1Char('\n')).contains(token));
        // The device name the sign-up form would show: the model, else the host name.
        QVERIFY(bed->log.lines.join(QLatin1Char('\n')).contains(QStringLiteral("\"device_name\": \"%1\"").arg(defaultDeviceName())));
    }

    void checkStopped(SocialSignIn *social, const QString &alert)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!social->busy(), 30000);
        QCOMPARE(alertMessages(), alert.isEmpty() ? QStringList() : QStringList{alert});
        QVERIFY(social->parent()->findChild<QProgressBar *>()->isHidden());
        QVERIFY(!inMainContent());
        QVERIFY(!PreferencesStore::shared().boolForKey(PrefKey::isLogin));
    }

private slots:
    void init()
    {
        bed = std::make_unique<ServerTestBed>();
        provider = std::make_unique<FakeProvider>();
        QVERIFY(provider->isListening());
        bed->env.writeFile(QStringLiteral("facebook-secret"), provider->facebookAppSecret.toUtf8());
        QVERIFY(bed->start({QStringLiteral("--google-verify-url"), provider->url(QStringLiteral("/google/userinfo")).toString(),
                            QStringLiteral("--google-client-id"), provider->googleClientId,
                            QStringLiteral("--google-tokeninfo-url"), provider->url(QStringLiteral("/google/tokeninfo")).toString(),
                            QStringLiteral("--facebook-verify-url"),
                            provider->url(QStringLiteral("/facebook/me?fields=id,email")).toString(),
                            QStringLiteral("--facebook-app-id"), provider->facebookAppId,
                            QStringLiteral("--facebook-app-secret-file"), bed->env.path(QStringLiteral("facebook-secret")),
                            QStringLiteral("--facebook-debug-token-url"),
                            provider->url(QStringLiteral("/facebook/debug_token")).toString()},
                           &m_loader));
        bed->launch();
    }
    void cleanup()
    {
        bed.reset();
        provider.reset();
    }

    void google_data()
    {
        QTest::addColumn<FakeProvider::Google>("mode");
        QTest::addColumn<QString>("alert"); // empty: none; "signed in": the main content
        QTest::newRow("signed in") << FakeProvider::Google::normal << "signed in";
        QTest::newRow("no e-mail") << FakeProvider::Google::noEmail << "Ooops / email not found in google signin";
        QTest::newRow("no id") << FakeProvider::Google::noId << "Ooops / User ID not found in Google SignIn";
        QTest::newRow("cancelled") << FakeProvider::Google::cancelled << "";
        // Qt's flow only logs a wrong state; our time limit ends the attempt.
        QTest::newRow("wrong state") << FakeProvider::Google::wrongState
                                     << "Ooops / Google sign-in did not finish in time.";
        // The server asks Google whom the token was granted to.
        QTest::newRow("token of another application")
            << FakeProvider::Google::otherApplication << "Ooops / Your Google sign-in could not be verified. Please try again.";
    }
    void google()
    {
        QFETCH(FakeProvider::Google, mode);
        QFETCH(QString, alert);
        provider->google = mode;
        if (mode == FakeProvider::Google::otherApplication)
            provider->googleAudience = QStringLiteral("9999-someoneelse.apps.example");
        SocialSignIn *social = openSheet();
        QVERIFY(social);
        social->signInWithGoogle();
        QVERIFY(social->busy());
        if (alert == QLatin1String("signed in")) {
            checkSignedIn(provider->googleToken);
            QCOMPARE(provider->codeChallengeMethod, QStringLiteral("S256"));
            QVERIFY(provider->tokenRequestHadVerifier);
            return;
        }
        checkStopped(social, alert);
        if (mode == FakeProvider::Google::wrongState)
            QCOMPARE(provider->tokenRequests, 0);
    }

    void facebook_data()
    {
        QTest::addColumn<FakeProvider::Facebook>("mode");
        QTest::addColumn<QString>("alert");
        QTest::newRow("signed in") << FakeProvider::Facebook::normal << "signed in";
        QTest::newRow("token after state") << FakeProvider::Facebook::tokenLast << "signed in";
        QTest::newRow("empty token") << FakeProvider::Facebook::emptyToken << "Ooops / Error with Facebook login";
        QTest::newRow("no fragment") << FakeProvider::Facebook::noFragment << "Ooops / Error with Facebook login";
        QTest::newRow("forged state") << FakeProvider::Facebook::forgedState << "Ooops / Error with Facebook login";
        QTest::newRow("Graph fails") << FakeProvider::Facebook::graphFails << "";
        QTest::newRow("no e-mail") << FakeProvider::Facebook::noEmail << "Ooops / Required Email Address";
        QTest::newRow("token of another application")
            << FakeProvider::Facebook::otherApplication << "Ooops / Your Facebook sign-in could not be verified. Please try again.";
    }
    void facebook()
    {
        QFETCH(FakeProvider::Facebook, mode);
        QFETCH(QString, alert);
        provider->facebook = mode;
        if (mode == FakeProvider::Facebook::otherApplication)
            provider->facebookTokenAppId = QStringLiteral("999999999999999");
        SocialSignIn *social = openSheet();
        QVERIFY(social);
        social->signInWithFacebook();
        QVERIFY2(social->busy(), "the web plugin did not load");
        if (alert == QLatin1String("signed in")) {
            checkSignedIn(provider->facebookToken);
            return;
        }
        checkStopped(social, alert);
    }

    // Closing the sheet ends the attempt: a late answer signs nobody in.
    void closingTheSheetEndsTheAttempt()
    {
        SocialSignIn *social = openSheet();
        QVERIFY(social);
        social->openBrowser = [](const QUrl &) {}; // the user never finishes in the browser
        social->signInWithGoogle();
        QVERIFY(social->busy());
        CommmonFunction::shared().dismissPresented(CommmonFunction::LogInSlot);
        QTRY_VERIFY(!social || !social->busy());
        QVERIFY(bed->alerts.alerts.isEmpty());
    }
};

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    TestSocialSignIn test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_socialsignin.moc"
