// The account journey against a real nimbrel-server on 127.0.0.1 with its own database: sign up,
// log out, sign in (a wrong password first), edit the account, ask for a reset link, and be
// signed out when the token is revoked elsewhere.
#include "AlertRecorder.h"
#include "BuildConfig.h"
#include "FakeClock.h"
#include "FakeFlagSource.h"
#include "LogCapture.h"
#include "ServerProcess.h"
#include "TestEnvironment.h"
#include "account/EditAccountWindowController.h"
#include "account/LogInWindowController.h"
#include "account/PasswordWindowController.h"
#include "account/ResetPasswordWindowController.h"
#include "account/SignupWindowController.h"
#include "account/TermsAndConditions.h"
#include "api/ApiManager.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "app/ViewController.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "settings/SettingsViewController.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestAccountServer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<AlertRecorder> alerts;
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<FakeClock> clock;
    std::unique_ptr<MainWindowController> main;
    std::shared_ptr<FakeFlagSource> flags;

    CommmonFunction &common() { return CommmonFunction::shared(); }
    PreferencesStore &prefs() { return PreferencesStore::shared(); }
    SplitViewController *mainContent() { return qobject_cast<SplitViewController *>(main->window()->content()); }
    bool onLaunchScreen() { return main->window()->content() && main->window()->content()->inherits("ViewController"); }

    template <class W> W *sheet(CommmonFunction::Slot slot)
    {
        const auto find = [&] { return qobject_cast<W *>(common().presented(slot)); };
        const bool shown = QTest::qWaitFor([&] { return find() && find()->isVisible(); });
        return shown ? find() : nullptr;
    }
    QString lastAlert() const { return alerts->alerts.isEmpty() ? QString() : alerts->alerts.last().second; }

    // From the launch screen's sign-in sheet to the password sheet.
    PasswordViewController *enterEmail(const QString &email)
    {
        clock->advance(ViewController::startupDelayMs);
        auto *login = sheet<LogInWindowController>(CommmonFunction::LogInSlot);
        if (!login)
            return nullptr;
        QTest::keyClicks(login->viewController()->userNameTextField, email);
        QTest::mouseClick(login->viewController()->btnSignIn, Qt::LeftButton);
        auto *password = sheet<PasswordWindowController>(CommmonFunction::PasswordSlot);
        return password ? password->viewController() : nullptr;
    }

    EditAccountWindowController *openEditAccount()
    {
        QTest::mouseClick(mainContent()->sidebar()->item(4), Qt::LeftButton);
        auto *settings = qobject_cast<SettingsViewController *>(mainContent()->detail());
        if (!settings)
            return nullptr;
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        return settings->editAccountSheet;
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        server =
            std::make_unique<ServerProcess>(QStringLiteral(NIMBREL_SERVER_BINARY), env->path(QStringLiteral("server")));
        // The server knows the application token the app is built with.
        QVERIFY(server->start({QStringLiteral("--app-token"), QString::fromUtf8(BuildConfig::appToken)}));
        alerts = std::make_unique<AlertRecorder>();
        log = std::make_unique<LogCapture>();
        clock = std::make_unique<FakeClock>();
        QVERIFY(ApiManager::shared().setApiBase(server->apiBase()));
        flags = std::make_shared<FakeFlagSource>(ReachabilityFlag::Reachable);
        ApiManager::shared().setupReachability(flags);
        main = std::make_unique<MainWindowController>();
        CommmonFunction &presenters = attachPresenters(main->window());
        main->window()->setContent(new ViewController(&presenters));
        main->window()->setFixedContentSize(795, 594);
        main->showWindow();
    }
    void cleanup()
    {
        main.reset();
        clock.reset();
        log.reset();
        alerts.reset();
        ApiManager::resetShared();
        server.reset();
        env.reset();
    }

    void signUpLogOutSignIn()
    {
        // Sign up from the first start.
        clock->advance(ViewController::startupDelayMs);
        auto *login = sheet<LogInWindowController>(CommmonFunction::LogInSlot);
        QVERIFY(login);
        QTest::mouseClick(login->viewController()->btnJoinUs, Qt::LeftButton);
        auto *signupSheet = sheet<SignupWindowController>(CommmonFunction::SignupSlot);
        QVERIFY(signupSheet);
        SignupViewController *signup = signupSheet->viewController();
        QTest::keyClicks(signup->emailTF, QStringLiteral("ada@example.org"));
        QTest::keyClicks(signup->passwordTF, QStringLiteral("correct horse 1"));
        QTest::keyClicks(signup->confirmPasswordTF, QStringLiteral("correct horse 1"));
        QTest::mouseClick(signup->btnContinue, Qt::LeftButton);
        QTRY_VERIFY2(qobject_cast<TermsAndConditions *>(main->window()->content()), qPrintable(lastAlert()));
        QTest::mouseClick(main->window()->content()->findChild<QPushButton *>(QStringLiteral("btnContinue")),
                          Qt::LeftButton);
        QVERIFY(mainContent());
        QCOMPARE(main->window()->maximumSize(), QSize(800, 500));
        const QString firstToken = prefs().stringForKey(PrefKey::loginToken).value_or(QString());
        QVERIFY(!firstToken.isEmpty());
        QVERIFY(prefs().boolForKey(PrefKey::isLogin));

        // Log out.
        QTest::mouseClick(mainContent()->sidebar()->item(6), Qt::LeftButton);
        QCOMPARE(alerts->choiceActions.size(), 1);
        alerts->choiceActions.first()(0);
        QTRY_VERIFY(onLaunchScreen());
        QCOMPARE(main->window()->minimumSize(), QSize(795, 594));
        QCOMPARE(main->window()->maximumSize(), QSize(795, 594));
        QVERIFY(!prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));

        // Sign in again: a wrong password first, then the right one.
        PasswordViewController *password = enterEmail(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        QTest::keyClicks(password->passwordTF, QStringLiteral("wrong horse"));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QTRY_COMPARE(lastAlert(), QStringLiteral("These credentials do not match our records."));
        QCOMPARE(alerts->alerts.last().first, QStringLiteral("Ooops"));
        QVERIFY(password->btnSignIn->isEnabled());
        password->passwordTF->clear();
        QTest::keyClicks(password->passwordTF, QStringLiteral("correct horse 1"));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QTRY_VERIFY2(mainContent(), qPrintable(lastAlert()));
        QCOMPARE(main->window()->minimumSize(), QSize(800, 500));
        QCOMPARE(main->window()->maximumSize(), QSize(800, 500));
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
        QTRY_VERIFY2(!edit->isVisible(), qPrintable(lastAlert()));
        QCOMPARE(prefs().stringForKey(PrefKey::user_name), QStringLiteral("Ada King"));
        auto *settings = qobject_cast<SettingsViewController *>(mainContent()->detail());
        QCOMPARE(settings->userNameValue->text(), QStringLiteral("Ada King"));

        // Revoked elsewhere: the next change signs this computer out.
        ServerClient elsewhere(server->apiBase());
        QVERIFY(elsewhere.post(QStringLiteral("logout"), {}, token.toUtf8()).accepted());
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        QTest::mouseClick(edit->btnUpdate, Qt::LeftButton);
        QTRY_VERIFY(onLaunchScreen());
        QCOMPARE(main->window()->maximumSize(), QSize(795, 594));
        QVERIFY(!prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));
        QVERIFY(!prefs().contains(PrefKey::loginToken));

        // Neither the password nor the token ever reached the log.
        QVERIFY(!log->contains(QStringLiteral("correct horse")));
        QVERIFY(!log->contains(token));
    }

    void forgotPasswordMailsALink()
    {
        ServerClient client(server->apiBase());
        const ServerAnswer created = client.post(QStringLiteral("signup"),
                                                 {{"social_media", "0"},
                                                  {"device_name", "Desk"},
                                                  {"email", "bob@example.org"},
                                                  {"password", "long enough 1"},
                                                  {"profile_id", "0"}},
                                                 QByteArray(BuildConfig::appToken));
        QVERIFY2(created.accepted(), qPrintable(created.msg()));
        PasswordViewController *password = enterEmail(QStringLiteral("bob@example.org"));
        QVERIFY(password);
        QTest::mouseClick(password->btnForget, Qt::LeftButton);
        auto *reset = sheet<ResetPasswordWindowController>(CommmonFunction::ResetPasswordSlot);
        QVERIFY(reset);
        QCOMPARE(reset->viewController()->tfEmail->text(), QStringLiteral("bob@example.org"));
        QTest::mouseClick(reset->viewController()->btnSubmit, Qt::LeftButton);
        QVERIFY(sheet<PasswordWindowController>(CommmonFunction::PasswordSlot));
        QTRY_COMPARE(
            lastAlert(),
            QStringLiteral("If an account exists for this address, we have e-mailed a link to reset your password."));
        QTRY_COMPARE(server->mails().size(), 1);
        QVERIFY(server->mails().first().contains(QStringLiteral("bob@example.org")));
    }
};

QTEST_MAIN(TestAccountServer)
#include "tst_accountserver.moc"
