// The account journey against a real nimbrel-server on 127.0.0.1 with its own database: sign up,
// log out, sign in (a wrong password first), edit the account, ask for a reset link, and be
// signed out when the token is revoked elsewhere.
#include "ServerTestBed.h"
#include "account/EditAccountWindowController.h"
#include "account/LogInWindowController.h"
#include "account/PasswordWindowController.h"
#include "account/ResetPasswordWindowController.h"
#include "account/SignupWindowController.h"
#include "account/TermsAndConditions.h"
#include "app/SidebarViewController.h"
#include "settings/SettingsViewController.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestAccountServer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerTestBed> bed;

    PreferencesStore &prefs() { return PreferencesStore::shared(); }
    SplitViewController *mainContent() { return bed->mainContent(); }
    auto *window() { return bed->main->window(); }

    // From the launch screen's sign-in sheet to the password sheet.
    PasswordViewController *enterEmail(const QString &email)
    {
        bed->clock.advance(ViewController::startupDelayMs);
        auto *login = bed->sheet<LogInWindowController>();
        if (!login)
            return nullptr;
        QTest::keyClicks(login->viewController()->userNameTextField, email);
        QTest::mouseClick(login->viewController()->btnSignIn, Qt::LeftButton);
        auto *password = bed->sheet<PasswordWindowController>();
        return password ? password->viewController() : nullptr;
    }

    EditAccountWindowController *openEditAccount()
    {
        QTest::mouseClick(mainContent()->sidebar()->item(4), Qt::LeftButton);
        auto *settings = qobject_cast<SettingsViewController *>(mainContent()->detail());
        if (!settings)
            return nullptr;
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        return qobject_cast<EditAccountWindowController *>(settings->editAccountSheet);
    }

private slots:
    void init()
    {
        bed = std::make_unique<ServerTestBed>();
        QVERIFY(bed->start());
        bed->launch();
    }
    void cleanup() { bed.reset(); }

    void signUpLogOutSignIn()
    {
        // Sign up from the first start.
        bed->clock.advance(ViewController::startupDelayMs);
        auto *login = bed->sheet<LogInWindowController>();
        QVERIFY(login);
        QTest::mouseClick(login->viewController()->btnJoinUs, Qt::LeftButton);
        auto *signupSheet = bed->sheet<SignupWindowController>();
        QVERIFY(signupSheet);
        SignupViewController *signup = signupSheet->viewController();
        QTest::keyClicks(signup->emailTF, QStringLiteral("ada@example.org"));
        QTest::keyClicks(signup->passwordTF, QStringLiteral("correct horse 1"));
        QTest::keyClicks(signup->confirmPasswordTF, QStringLiteral("correct horse 1"));
        QTest::mouseClick(signup->btnContinue, Qt::LeftButton);
        QTRY_VERIFY2(qobject_cast<TermsAndConditions *>(window()->content()), qPrintable(bed->alerts.lastMessage()));
        QTest::mouseClick(window()->content()->findChild<QPushButton *>(QStringLiteral("btnContinue")),
                          Qt::LeftButton);
        QVERIFY(mainContent());
        QCOMPARE(window()->maximumSize(), QSize(800, 500));
        const QString firstToken = prefs().stringForKey(PrefKey::loginToken).value_or(QString());
        QVERIFY(!firstToken.isEmpty());
        QVERIFY(prefs().boolForKey(PrefKey::isLogin));

        // Log out.
        QTest::mouseClick(mainContent()->sidebar()->item(6), Qt::LeftButton);
        QCOMPARE(bed->alerts.choiceActions.size(), 1);
        bed->alerts.choiceActions.first()(0);
        QTRY_VERIFY(bed->onLaunchScreen());
        QCOMPARE(window()->minimumSize(), QSize(795, 594));
        QCOMPARE(window()->maximumSize(), QSize(795, 594));
        QVERIFY(!prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));

        // Sign in again: a wrong password first, then the right one.
        PasswordViewController *password = enterEmail(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        QTest::keyClicks(password->passwordTF, QStringLiteral("wrong horse"));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QTRY_COMPARE(bed->alerts.lastMessage(), QStringLiteral("These credentials do not match our records."));
        QCOMPARE(bed->alerts.alerts.last().first, QStringLiteral("Ooops"));
        QVERIFY(password->btnSignIn->isEnabled());
        password->passwordTF->clear();
        QTest::keyClicks(password->passwordTF, QStringLiteral("correct horse 1"));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QTRY_VERIFY2(mainContent(), qPrintable(bed->alerts.lastMessage()));
        QCOMPARE(window()->minimumSize(), QSize(800, 500));
        QCOMPARE(window()->maximumSize(), QSize(800, 500));
        const QString token = prefs().stringForKey(PrefKey::loginToken).value_or(QString());
        QVERIFY(!token.isEmpty());
        QVERIFY(token != firstToken);
        QVERIFY(prefs().integerForKey(PrefKey::user_id) > 0);
        QCOMPARE(prefs().stringForKey(PrefKey::user_email), QStringLiteral("ada@example.org"));
        QVERIFY(prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(!prefs().boolForKey(PrefKey::isLoggedOut));

        // Edit the account: the stored name is the server's.
        EditAccountWindowController *edit = openEditAccount();
        QVERIFY(edit && edit->isVisible());
        QTest::keyClicks(edit->tfUserName, QStringLiteral("Ada King"));
        QTest::mouseClick(edit->btnUpdate, Qt::LeftButton);
        QTRY_VERIFY2(!edit->isVisible(), qPrintable(bed->alerts.lastMessage()));
        QCOMPARE(prefs().stringForKey(PrefKey::user_name), QStringLiteral("Ada King"));
        auto *settings = qobject_cast<SettingsViewController *>(mainContent()->detail());
        QCOMPARE(settings->userNameValue->text(), QStringLiteral("Ada King"));

        // Revoked elsewhere: the next change signs this computer out.
        QVERIFY(bed->client->post(QStringLiteral("logout"), {}, token.toUtf8()).accepted());
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        QTest::mouseClick(edit->btnUpdate, Qt::LeftButton);
        QTRY_VERIFY(bed->onLaunchScreen());
        QCOMPARE(window()->maximumSize(), QSize(795, 594));
        QVERIFY(!prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));
        QVERIFY(!prefs().contains(PrefKey::loginToken));

        // Neither the password nor the token ever reached the log.
        QVERIFY(!bed->log.contains(QStringLiteral("correct horse")));
        QVERIFY(!bed->log.contains(token));
    }

    void forgotPasswordMailsALink()
    {
        QVERIFY(bed->signUp(QStringLiteral("bob@example.org")));
        PasswordViewController *password = enterEmail(QStringLiteral("bob@example.org"));
        QVERIFY(password);
        QTest::mouseClick(password->btnForget, Qt::LeftButton);
        auto *reset = bed->sheet<ResetPasswordWindowController>();
        QVERIFY(reset);
        QCOMPARE(reset->viewController()->tfEmail->text(), QStringLiteral("bob@example.org"));
        QTest::mouseClick(reset->viewController()->btnSubmit, Qt::LeftButton);
        QVERIFY(bed->sheet<PasswordWindowController>());
        QTRY_COMPARE(
            bed->alerts.lastMessage(),
            QStringLiteral("If an account exists for this address, we have e-mailed a link to reset your password."));
        QTRY_COMPARE(bed->server.mails().size(), 1);
        QVERIFY(bed->server.mails().first().contains(QStringLiteral("bob@example.org")));
    }
};

QTEST_MAIN(TestAccountServer)
#include "tst_accountserver.moc"
