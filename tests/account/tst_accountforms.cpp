// The account sheets' own rules, without a server: the e-mail form check, which link row a
// language shows, what the forms start with, and the buttons that lead out of the app.
#include "AlertRecorder.h"
#include "BuildConfig.h"
#include "TestEnvironment.h"
#include "account/EmailValidation.h"
#include "account/LogInWindowController.h"
#include "account/SignupWindowController.h"
#include "account/SocialSignIn.h"
#include "platform/PreferencesKeys.h"
#include "settings/WebWindow.h"
#include "ui/CommmonFunction.h"
#include "ui/WebContentLoader.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Stands in for the system browser.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestAccountForms : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<AlertRecorder> alerts;

    static void setLanguage(const QString &stored, const QString &system)
    {
        if (!stored.isEmpty())
            PreferencesStore::shared().setString(PrefKey::CurrentLanguage, stored);
        LocalizedTextTesting::setSystemLanguage([system] { return system; });
    }
    static QPushButton *button(QWidget *sheet, const QString &name) { return sheet->findChild<QPushButton *>(name); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        alerts = std::make_unique<AlertRecorder>();
    }
    void cleanup()
    {
        alerts.reset();
        env.reset();
    }

    void emailFormCheck_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "ada@example.org" << true;
        QTest::newRow("sub-domain, plus, percent") << "ada.b+news%1@mail.example.co.uk" << true;
        QTest::newRow("2 letters after the last dot") << "ada@example.fr" << true;
        QTest::newRow("64 letters after the last dot") << "ada@example." + QString(64, 'a') << true;
        QTest::newRow("1 letter after the last dot") << "ada@example.f" << false;
        QTest::newRow("65 letters after the last dot") << "ada@example." + QString(65, 'a') << false;
        QTest::newRow("digits after the last dot") << "ada@example.c0m" << false;
        QTest::newRow("no dot after the at sign") << "ada@example" << false;
        QTest::newRow("dot only before the at sign") << "ada.byron@example" << false;
        QTest::newRow("no at sign") << "ada.example.org" << false;
        QTest::newRow("empty local part") << "@example.org" << false;
        QTest::newRow("blank inside") << "ada byron@example.org" << false;
        QTest::newRow("trailing blank") << "ada@example.org " << false;
        QTest::newRow("two addresses") << "ada@example.org,bob@example.org" << false;
        QTest::newRow("empty") << "" << false;
    }
    void emailFormCheck()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(isValidEmail(address), valid);
    }

    void linkRowsFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("stored"); // empty: absent
        QTest::addColumn<QString>("system"); // empty: the system gives no language code
        QTest::addColumn<bool>("french");
        QTest::newRow("french stored") << "fr"
                                       << "en" << true;
        QTest::newRow("english stored on a french system") << "en"
                                                           << "fr" << false;
        QTest::newRow("another language stored") << "de"
                                                 << "fr" << false;
        QTest::newRow("nothing stored, french system") << ""
                                                       << "fr" << true;
        QTest::newRow("nothing stored, english system") << ""
                                                        << "en" << false;
        QTest::newRow("nothing stored, no system language") << ""
                                                            << "" << false;
    }
    void linkRowsFollowTheLanguage()
    {
        QFETCH(QString, stored);
        QFETCH(QString, system);
        QFETCH(bool, french);
        setLanguage(stored, system);

        LogInWindowController login;
        SignInViewController *signIn = login.viewController();
        QCOMPARE(signIn->FrenchStackView->isHidden(), !french);
        QCOMPARE(signIn->EnglishStackView->isHidden(), french);
        QCOMPARE(signIn->btnTerms->text(), QStringLiteral("terms"));
        QCOMPARE(signIn->btnPrivacy->text(), QStringLiteral("privacy"));
        QCOMPARE(signIn->btnFrenchTerms->text(), QStringLiteral("conditions d'utilisation"));
        QCOMPARE(signIn->btnFrenchPrivacy->text(), QStringLiteral("politique de confidentialité"));
        for (QPushButton *link :
             {signIn->btnTerms, signIn->btnPrivacy, signIn->btnFrenchTerms, signIn->btnFrenchPrivacy})
            QVERIFY(link->font().underline());

        SignupWindowController signupWindow;
        SignupViewController *signup = signupWindow.viewController();
        QCOMPARE(signup->FrenchTerms->isHidden(), !french);
        QCOMPARE(signup->EnglishTerms->isHidden(), french);
        // The French row's terms link is looked up in the interface language.
        QCOMPARE(signup->btnFrenchTerms->text(), localizedText(QStringLiteral("terms")));
        QCOMPARE(signup->btnFrenchPrivacy->text(), QStringLiteral("intimité"));
        if (french)
            QCOMPARE(signup->btnFrenchTerms->text(), QStringLiteral("conditions d'utilisation"));
    }

    void userNamePrefillsTheAddress_data()
    {
        QTest::addColumn<QVariant>("userName"); // invalid: absent
        QTest::addColumn<QString>("shown");
        QTest::newRow("absent") << QVariant() << "";
        QTest::newRow("a string") << QVariant("ada@example.org") << "ada@example.org";
        QTest::newRow("an empty string") << QVariant("") << "";
        QTest::newRow("a number") << QVariant(42) << "";
    }
    void userNamePrefillsTheAddress()
    {
        QFETCH(QVariant, userName);
        QFETCH(QString, shown);
        PreferencesStore &prefs = PreferencesStore::shared();
        if (userName.typeId() == QMetaType::QString)
            prefs.setString(PrefKey::UserName, userName.toString());
        else if (userName.isValid())
            prefs.setInteger(PrefKey::UserName, userName.toInt());
        LogInWindowController login;
        QCOMPARE(login.viewController()->userNameTextField->text(), shown);
    }

    void signUpOffersTheModelNameAtEveryAppearance()
    {
        env->writeFile(QStringLiteral("dmi/product_name"), "Latitude 7420\n");
        SignupWindowController window;
        SignupViewController *signup = window.viewController();
        window.show();
        QCOMPARE(signup->deviceNameTF->text(), QStringLiteral("Latitude 7420"));
        signup->deviceNameTF->clear();
        QTest::keyClicks(signup->deviceNameTF, QStringLiteral("Kitchen"));
        window.hide();
        window.show();
        QCOMPARE(signup->deviceNameTF->text(), QStringLiteral("Latitude 7420"));
    }

    // What the social buttons say when the build or the machine lacks what they need: a
    // provider without settings cannot be chosen and says why before any click.
    void socialSignInSaysWhatItNeeds_data()
    {
        QTest::addColumn<bool>("onSignup");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("facebookAppId");
        QTest::addColumn<QString>("message");
        QTest::newRow("sign-in, Google without client id")
            << false << "btnSignInWithGoogle" << "" << "Google sign-in is not configured in this build.";
        QTest::newRow("sign-up, Facebook without app id")
            << true << "btnSignInWithFacebook" << "" << "Facebook sign-in is not configured in this build.";
        QTest::newRow("sign-in, Facebook without the web plugin")
            << false << "btnSignInWithFacebook" << "123456789012345"
            << "Facebook sign-in needs the web component, which is not installed.";
    }
    void socialSignInSaysWhatItNeeds()
    {
        QFETCH(bool, onSignup);
        QFETCH(QString, button);
        QFETCH(QString, facebookAppId);
        QFETCH(QString, message);
        std::unique_ptr<QDialog> sheet(onSignup ? static_cast<QDialog *>(new SignupWindowController)
                                                : new LogInWindowController);
        SocialSignIn *social = sheet->findChild<SocialSignIn *>();
        QVERIFY(social);
        social->providers.googleClientId.clear();
        social->providers.facebookAppId = facebookAppId;
        WebContentLoader noPlugin(QStringList{});
        social->web = &noPlugin;
        sheet->show();
        QAbstractButton *pressed = this->button(sheet.get(), button);
        QTest::mouseClick(pressed, Qt::LeftButton);
        if (message.contains(QLatin1String("not configured"))) {
            QVERIFY(!pressed->isEnabled());
            QCOMPARE(pressed->toolTip(), message);
            QVERIFY(alerts->alerts.isEmpty());
        } else {
            QVERIFY(pressed->isEnabled());
            QCOMPARE(alerts->alerts, (QList<QPair<QString, QString>>{{"Ooops", message}}));
        }
        QVERIFY(!social->busy());
    }

    void legalLinksOpenTheConfiguredPages_data()
    {
        QTest::addColumn<bool>("onSignup");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("page");
        QTest::newRow("sign-in terms") << false << "en"
                                       << "btnTerms"
                                       << "terms";
        QTest::newRow("sign-in privacy") << false << "en"
                                         << "btnPrivacy"
                                         << "privacy";
        QTest::newRow("sign-in French terms") << false << "fr"
                                              << "btnFrenchTerms"
                                              << "terms";
        QTest::newRow("sign-in French privacy") << false << "fr"
                                                << "btnFrenchPrivacy"
                                                << "privacy";
        QTest::newRow("sign-up terms") << true << "en"
                                       << "terms"
                                       << "terms";
        QTest::newRow("sign-up privacy") << true << "en"
                                         << "privacy"
                                         << "privacy";
        QTest::newRow("sign-up French terms") << true << "fr"
                                              << "btnFrenchTerms"
                                              << "terms";
        QTest::newRow("sign-up French privacy") << true << "fr"
                                                << "btnFrenchPrivacy"
                                                << "privacy";
    }
    void legalLinksOpenTheConfiguredPages()
    {
        QFETCH(bool, onSignup);
        QFETCH(QString, language);
        QFETCH(QString, button);
        QFETCH(QString, page);
        setLanguage(language, QStringLiteral("en"));
        UrlRecorder browser;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        // The terms and privacy windows without the web plugin: the system browser shows the page.
        WebContentLoader noPlugin(QStringList{});
        registerWebWindows(CommmonFunction::shared(), &noPlugin);
        std::unique_ptr<QDialog> sheet(onSignup ? static_cast<QDialog *>(new SignupWindowController)
                                                : new LogInWindowController);
        sheet->show();
        QTest::mouseClick(this->button(sheet.get(), button), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(browser.opened.size(), 1);
        // The page in the interface language: the French app asks for it in French.
        QUrl expected(QString::fromUtf8(page == "terms" ? BuildConfig::termsUrl : BuildConfig::privacyUrl));
        if (language == QLatin1String("fr"))
            expected.setQuery(QStringLiteral("lang=fr"));
        QCOMPARE(browser.opened.first(), expected);
        // The sheet stays; no empty page window is left behind.
        QVERIFY(sheet->isVisible());
        const auto pageWindows = [] {
            int n = 0;
            for (QWidget *w : QApplication::topLevelWidgets())
                n += w->inherits("WebWindow");
            return n;
        };
        QTRY_COMPARE(pageWindows(), 0);
    }
};

QTEST_MAIN(TestAccountForms)
#include "tst_accountforms.moc"
