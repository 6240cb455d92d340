// The account flows as a user goes through them, against the stub server: first start to the
// main content through sign-in or sign-up, a wrong password, the reset request, account
// editing, logout, and the forced sign-out of a 401.
#include "AccountTestWorld.h"
#include "Settle.h"
#include "account/EditAccountWindowController.h"
#include "account/LogInWindowController.h"
#include "account/PasswordWindowController.h"
#include "account/ResetPasswordWindowController.h"
#include "account/SignupWindowController.h"
#include "account/TermsAndConditions.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "platform/DeviceIdentity.h"
#include "settings/SettingsViewController.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QtTest>

namespace {
using Slot = CommmonFunction::Slot;
using Pair = QPair<QString, QString>;

QByteArray form(const StubHttpServer::Request &request, const QString &key)
{
    for (const auto &[k, v] : request.form()) {
        if (k == key)
            return v.toUtf8();
    }
    return "<absent>";
}
} // namespace

class TestAccountFlows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AccountTestWorld> w;

    StubHttpServer::Request lastRequestTo(const QString &path)
    {
        const QList<StubHttpServer::Request> all = w->bed.server.requests();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->path == path)
                return *it;
        }
        return {};
    }
    SplitViewController *mainContent() { return qobject_cast<SplitViewController *>(w->main.window()->content()); }

    PasswordViewController *toPasswordStep(const QString &email)
    {
        w->launch();
        auto *login = w->sheet<LogInWindowController>(CommmonFunction::LogInSlot);
        if (!login)
            return nullptr;
        QTest::keyClicks(login->viewController()->userNameTextField, email);
        QTest::mouseClick(login->viewController()->btnSignIn, Qt::LeftButton);
        auto *password = w->sheet<PasswordWindowController>(CommmonFunction::PasswordSlot);
        return password ? password->viewController() : nullptr;
    }

    SignupViewController *toSignup()
    {
        w->launch();
        auto *login = w->sheet<LogInWindowController>(CommmonFunction::LogInSlot);
        if (!login)
            return nullptr;
        QTest::mouseClick(login->viewController()->btnJoinUs, Qt::LeftButton);
        auto *signup = w->sheet<SignupWindowController>(CommmonFunction::SignupSlot);
        return signup ? signup->viewController() : nullptr;
    }

    EditAccountWindowController *openEditAccount()
    {
        w->signedIn();
        SidebarViewController *sidebar = mainContent()->sidebar();
        QTest::mouseClick(sidebar->item(4), Qt::LeftButton);
        auto *settings = qobject_cast<SettingsViewController *>(mainContent()->detail());
        if (!settings)
            return nullptr;
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        auto *sheet = qobject_cast<EditAccountWindowController *>(settings->editAccountSheet);
        return sheet && sheet->isVisible() ? sheet : nullptr;
    }

private slots:
    void init() { w = std::make_unique<AccountTestWorld>(); }
    void cleanup() { w.reset(); }

    void signInInTwoStepsOpensTheMainContent()
    {
        w->bed.server.answer(QStringLiteral("login"), 200, ApiTestBed::fixture(QStringLiteral("login.json")));
        PasswordViewController *password = toPasswordStep(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        QVERIFY(!w->common().presented(CommmonFunction::LogInSlot));
        QCOMPARE(w->prefs().stringForKey(PrefKey::user_email), QStringLiteral("ada@example.org"));
        QCOMPARE(w->bed.requestsTo(QStringLiteral("login")), 0);

        // Sent exactly as typed, blanks included.
        QTest::keyClicks(password->passwordTF, QStringLiteral(" s3cret "));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QTRY_VERIFY(mainContent());
        QCOMPARE(w->main.window()->minimumSize(), QSize(800, 500));
        QCOMPARE(w->main.window()->maximumSize(), QSize(800, 500));
        QVERIFY(!w->common().presented(CommmonFunction::PasswordSlot));

        const StubHttpServer::Request login = lastRequestTo(QStringLiteral("login"));
        QCOMPARE(form(login, "email"), "ada@example.org");
        QCOMPARE(form(login, "password"), " s3cret ");
        QCOMPARE(form(login, "social_media"), "0");
        QCOMPARE(form(login, "platform_unique_id"), platformUUID().toUtf8());
        // The account status follows, as the signed-in user.
        QTRY_COMPARE(lastRequestTo(QStringLiteral("sync-url")).header("Authorization"), "Bearer user-token-7f3a9c");

        PreferencesStore &prefs = w->prefs();
        QVERIFY(prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(!prefs.boolForKey(PrefKey::isLoggedOut));
        QCOMPARE(prefs.stringForKey(PrefKey::loginToken), QStringLiteral("user-token-7f3a9c"));
        QCOMPARE(prefs.integerForKey(PrefKey::user_id), 7);
        QCOMPARE(prefs.stringForKey(PrefKey::user_email), QStringLiteral("ada@example.org"));
        QCOMPARE(prefs.stringForKey(PrefKey::user_name), QStringLiteral("Ada Byron"));
        // The account has a PIN.
        QVERIFY(prefs.boolForKey(PrefKey::isPinEnable));
        QVERIFY(prefs.boolForKey(PrefKey::isPinSeted));
        QVERIFY(!w->bed.log.contains(QStringLiteral("s3cret")));
        QVERIFY(!w->bed.log.contains(QStringLiteral("user-token-7f3a9c")));
    }

    void refusedSignInShowsTheServersMessage()
    {
        w->bed.server.answer(QStringLiteral("login"), 200, ApiTestBed::fixture(QStringLiteral("login-refused.json")));
        PasswordViewController *password = toPasswordStep(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        QTest::keyClicks(password->passwordTF, QStringLiteral("wrong"));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QVERIFY(!password->btnSignIn->isEnabled());
        QTRY_COMPARE(w->bed.alerts.alerts.size(), 1);
        QCOMPARE(w->bed.alerts.alerts.first(), Pair("Ooops", "These credentials do not match our records."));
        QVERIFY(password->btnSignIn->isEnabled());
        QCOMPARE(w->common().presented(CommmonFunction::PasswordSlot), password->window());
        QVERIFY(!w->prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(!mainContent());
    }

    void aSignInWithoutAnAnswerGivesTheButtonBack_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("alert"); // empty: none
        QTest::newRow("time-out") << "time-out"
                                  << "";
        QTest::newRow("refused connection") << "refused"
                                            << "";
        QTest::newRow("network down") << "down"
                                      << "Network Not Reachable";
        QTest::newRow("undecodable answer") << "garbage"
                                            << "";
    }
    void aSignInWithoutAnAnswerGivesTheButtonBack()
    {
        QFETCH(QString, failure);
        QFETCH(QString, alert);
        PasswordViewController *password = toPasswordStep(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        ApiManager &api = ApiManager::shared();
        if (failure == "time-out") {
            api.setTransferTimeout(300);
            w->bed.server.answer(QStringLiteral("login"), 200, ApiTestBed::fixture(QStringLiteral("login.json")), 5000);
        } else if (failure == "refused") {
            QVERIFY(api.setApiBase(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(unusedLocalPort()))));
        } else if (failure == "down") {
            // The change itself sends one account status, which the gate keeps back.
            w->bed.flags->change({});
            QTRY_VERIFY(!w->bed.alerts.alerts.isEmpty());
        } else {
            w->bed.server.answer(QStringLiteral("login"), 200, "<html>busy</html>");
        }
        w->bed.mark();
        QTest::keyClicks(password->passwordTF, QStringLiteral("s3cret"));
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(password->btnSignIn->isEnabled(), 4000);
        QCOMPARE(w->bed.alerts.alerts.size(), alert.isEmpty() ? 0 : 1);
        if (!alert.isEmpty())
            QCOMPARE(w->bed.alerts.alerts.first().second, alert);
        QCOMPARE(w->common().presented(CommmonFunction::PasswordSlot), password->window());
        QVERIFY(!w->prefs().boolForKey(PrefKey::isLogin));
    }

    void aMalformedAddressStaysOnTheFirstStep()
    {
        w->launch();
        auto *login = w->sheet<LogInWindowController>(CommmonFunction::LogInSlot);
        QVERIFY(login);
        QTest::keyClicks(login->viewController()->userNameTextField, QStringLiteral("ada@example"));
        QTest::mouseClick(login->viewController()->btnSignIn, Qt::LeftButton);
        QCOMPARE(w->bed.alerts.alerts, (QList<Pair>{{"Ooops", "Email not valid"}}));
        settle();
        QCOMPARE(w->common().presented(CommmonFunction::LogInSlot), login);
        QVERIFY(!w->common().presented(CommmonFunction::PasswordSlot));
        QVERIFY(!w->prefs().contains(PrefKey::user_email));
        QCOMPARE(login->viewController()->userNameTextField->text(), QStringLiteral("ada@example"));
    }

    void thePasswordStepWithoutAnAddressStartsOver()
    {
        PasswordViewController *password = toPasswordStep(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        // A forced sign-out elsewhere emptied the store meanwhile.
        w->prefs().removeAll();
        QTest::mouseClick(password->btnSignIn, Qt::LeftButton);
        QVERIFY(w->sheet<LogInWindowController>(CommmonFunction::LogInSlot));
        QVERIFY(!w->common().presented(CommmonFunction::PasswordSlot));
        QCOMPARE(w->bed.requestsTo(QStringLiteral("login")), 0);
    }

    void sheetsLeadToOneAnother_data()
    {
        QTest::addColumn<QString>("path"); // the buttons pressed, from the sign-in sheet
        QTest::addColumn<int>("expected");
        QTest::newRow("join us") << "btnJoinUs" << int(CommmonFunction::SignupSlot);
        QTest::newRow("sign-up login") << "btnJoinUs btnLogin" << int(CommmonFunction::LogInSlot);
        QTest::newRow("sign-up cancel") << "btnJoinUs btnCancel" << int(CommmonFunction::LogInSlot);
        QTest::newRow("password cancel") << "btnSignIn btnCancel" << int(CommmonFunction::LogInSlot);
        QTest::newRow("forgot") << "btnSignIn btnForget" << int(CommmonFunction::ResetPasswordSlot);
        QTest::newRow("reset cancel") << "btnSignIn btnForget btnCancel" << int(CommmonFunction::PasswordSlot);
    }
    void sheetsLeadToOneAnother()
    {
        QFETCH(QString, path);
        QFETCH(int, expected);
        w->launch();
        QDialog *sheet = w->sheet<LogInWindowController>(CommmonFunction::LogInSlot);
        QVERIFY(sheet);
        QTest::keyClicks(sheet->findChild<QLineEdit *>(QStringLiteral("userNameTextField")),
                         QStringLiteral("ada@example.org"));
        for (const QString &name : path.split(QLatin1Char(' '))) {
            QPointer<QDialog> from = sheet;
            auto *button = sheet->findChild<QPushButton *>(name);
            QVERIFY2(button, qPrintable(name));
            QTest::mouseClick(button, Qt::LeftButton);
            QTRY_VERIFY(!from || !from->isVisible());
            QTRY_VERIFY(w->common().openMainWindow && w->common().openMainWindow != from &&
                        w->common().openMainWindow->isVisible());
            sheet = w->common().openMainWindow;
        }
        QCOMPARE(w->common().presented(Slot(expected)), sheet);
        // Only the one sheet is up.
        int visible = 0;
        for (QDialog *d : w->main.window()->findChildren<QDialog *>())
            visible += d->isVisible();
        QCOMPARE(visible, 1);
    }

    void signUpOpensTheMainContent()
    {
        // Someone logged out on this computer before.
        w->prefs().setBool(PrefKey::isLoggedOut, true);
        w->bed.server.answer(QStringLiteral("signup"), 200, ApiTestBed::fixture(QStringLiteral("signup.json")));
        SignupViewController *signup = toSignup();
        QVERIFY(signup);
        // No model name in this world's firmware: the computer's own name stands in.
        QCOMPARE(signup->deviceNameTF->text(), QSysInfo::machineHostName());
        signup->deviceNameTF->clear();
        QTest::keyClicks(signup->deviceNameTF, QStringLiteral("Desk"));
        QTest::keyClicks(signup->emailTF, QStringLiteral("new@example.org"));
        QTest::keyClicks(signup->passwordTF, QStringLiteral("s3cret pw"));
        QTest::keyClicks(signup->confirmPasswordTF, QStringLiteral("s3cret pw"));
        QTest::mouseClick(signup->btnContinue, Qt::LeftButton);
        // A new account reads what it agreed to first, then goes on to the main content.
        QTRY_VERIFY(qobject_cast<TermsAndConditions *>(w->main.window()->content()));
        QVERIFY(!w->common().presented(CommmonFunction::SignupSlot));
        QTest::mouseClick(w->main.window()->content()->findChild<QPushButton *>(QStringLiteral("btnContinue")),
                          Qt::LeftButton);
        QVERIFY(mainContent());
        QCOMPARE(w->main.window()->maximumSize(), QSize(800, 500));
        QCOMPARE(lastRequestTo(QStringLiteral("signup")).body,
                 "device_name=Desk&email=new%40example.org&password=s3cret%20pw&profile_id=0&social_media=0");
        PreferencesStore &prefs = w->prefs();
        QVERIFY(prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(!prefs.boolForKey(PrefKey::isLoggedOut));
        QCOMPARE(prefs.stringForKey(PrefKey::loginToken), QStringLiteral("user-token-12b"));
        QCOMPARE(prefs.integerForKey(PrefKey::user_id), 12);
        QCOMPARE(prefs.stringForKey(PrefKey::user_email), QStringLiteral("new@example.org"));
        QTRY_COMPARE(w->bed.requestsTo(QStringLiteral("sync-url")) > 0, true);
    }

    void signUpStopsBeforeSending_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        QTest::newRow("malformed address") << "new@example"
                                           << "pw"
                                           << "pw"
                                           << "Email not valid";
        QTest::newRow("confirmation differs") << "new@example.org"
                                              << "s3cret"
                                              << "s3cret "
                                              << "Passwords did not match";
    }
    void signUpStopsBeforeSending()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        SignupViewController *signup = toSignup();
        QVERIFY(signup);
        QTest::keyClicks(signup->emailTF, email);
        QTest::keyClicks(signup->passwordTF, password);
        QTest::keyClicks(signup->confirmPasswordTF, confirmation);
        QTest::mouseClick(signup->btnContinue, Qt::LeftButton);
        QCOMPARE(w->bed.alerts.alerts, (QList<Pair>{{"Ooops", message}}));
        QVERIFY(signup->btnContinue->isEnabled());
        settle();
        QCOMPARE(w->bed.requestsTo(QStringLiteral("signup")), 0);
        QCOMPARE(signup->emailTF->text(), email);
    }

    void refusedSignUpKeepsTheForm()
    {
        w->bed.server.answer(
            QStringLiteral("signup"), 200,
            R"({"status":false,"code":422,"msg":"The email has already been taken.","version":"3.0"})");
        SignupViewController *signup = toSignup();
        QVERIFY(signup);
        QTest::keyClicks(signup->emailTF, QStringLiteral("ada@example.org"));
        QTest::mouseClick(signup->btnContinue, Qt::LeftButton);
        QTRY_COMPARE(w->bed.alerts.alerts, (QList<Pair>{{"Ooops", "The email has already been taken."}}));
        QVERIFY(signup->btnContinue->isEnabled());
        QCOMPARE(w->common().presented(CommmonFunction::SignupSlot), signup->window());
        QVERIFY(!w->prefs().boolForKey(PrefKey::isLogin));
    }

    void anUndecodableSignUpAnswerLeadsToThePasswordStep()
    {
        w->prefs().setString(PrefKey::user_email, QStringLiteral("someone-else@example.org"));
        w->bed.server.answer(QStringLiteral("signup"), 200, R"({"status":true})");
        SignupViewController *signup = toSignup();
        QVERIFY(signup);
        QTest::keyClicks(signup->emailTF, QStringLiteral("new@example.org"));
        QTest::mouseClick(signup->btnContinue, Qt::LeftButton);
        QVERIFY(w->sheet<PasswordWindowController>(CommmonFunction::PasswordSlot));
        QCOMPARE(w->prefs().stringForKey(PrefKey::user_email), QStringLiteral("new@example.org"));
        QVERIFY(!w->prefs().boolForKey(PrefKey::isLogin));
    }

    void forgotPasswordSendsTheAddressAndShowsTheMessage()
    {
        w->bed.server.answer(QStringLiteral("forgot-password"), 200,
                             ApiTestBed::fixture(QStringLiteral("forgot-password.json")), 300);
        PasswordViewController *password = toPasswordStep(QStringLiteral("ada@example.org"));
        QVERIFY(password);
        QTest::mouseClick(password->btnForget, Qt::LeftButton);
        auto *reset = w->sheet<ResetPasswordWindowController>(CommmonFunction::ResetPasswordSlot);
        QVERIFY(reset);
        QCOMPARE(reset->viewController()->tfEmail->text(), QStringLiteral("ada@example.org"));
        QTest::mouseClick(reset->viewController()->btnSubmit, Qt::LeftButton);
        // The password sheet is back before the server answered.
        QVERIFY(w->sheet<PasswordWindowController>(CommmonFunction::PasswordSlot));
        QVERIFY(w->bed.alerts.alerts.isEmpty());
        QTRY_COMPARE(w->bed.alerts.alerts, (QList<Pair>{{"", "We have e-mailed your password reset link."}}));
        QCOMPARE(lastRequestTo(QStringLiteral("forgot-password")).body, "email=ada%40example.org");
    }

    void editingTheAccountStoresTheAnswer()
    {
        w->bed.server.answer(QStringLiteral("update-profile"), 200,
                             ApiTestBed::fixture(QStringLiteral("update-profile.json")));
        EditAccountWindowController *edit = openEditAccount();
        QVERIFY(edit);
        QCOMPARE(edit->tfUserName->text(), QStringLiteral("Ada Byron"));
        QCOMPARE(edit->tfDeviceName->text(), QStringLiteral("ThinkPad X1"));
        QCOMPARE(edit->tfEmail->text(), QStringLiteral("ada@example.org"));
        QVERIFY(edit->tfEmail->isReadOnly());
        edit->tfUserName->selectAll();
        QTest::keyClicks(edit->tfUserName, QStringLiteral("Ada King"));
        QTest::mouseClick(edit->btnUpdate, Qt::LeftButton);
        QTRY_VERIFY(!edit->isVisible());
        // Both password fields empty: the password is sent empty and the server keeps it.
        QCOMPARE(lastRequestTo(QStringLiteral("update-profile")).body,
                 "device_name=ThinkPad%20X1&name=Ada%20King&password=");
        QCOMPARE(w->prefs().stringForKey(PrefKey::user_name), QStringLiteral("Ada King"));
        QCOMPARE(w->prefs().stringForKey(PrefKey::user_device), QStringLiteral("Study desktop"));
        QVERIFY(w->bed.alerts.alerts.isEmpty());
    }

    void editingTheAccountCanFail_data()
    {
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QByteArray>("answer"); // empty: nothing may be sent
        QTest::addColumn<QString>("message");
        QTest::newRow("confirmation differs") << "other" << QByteArray() << "Passwords did not match";
        QTest::newRow("refused") << "n3w pw"
                                 << QByteArray(R"({"status":false,"code":422,"msg":"Too short","version":"3.0"})")
                                 << "Profile Not updated";
        QTest::newRow("undecodable") << "n3w pw" << QByteArray("[]") << "Profile Not updated";
    }
    void editingTheAccountCanFail()
    {
        QFETCH(QString, confirmation);
        QFETCH(QByteArray, answer);
        QFETCH(QString, message);
        if (!answer.isEmpty())
            w->bed.server.answer(QStringLiteral("update-profile"), 200, answer);
        EditAccountWindowController *edit = openEditAccount();
        QVERIFY(edit);
        QTest::keyClicks(edit->tfPassword, QStringLiteral("n3w pw"));
        QTest::keyClicks(edit->tfConfirmPassword, confirmation);
        QTest::mouseClick(edit->btnUpdate, Qt::LeftButton);
        QTRY_COMPARE(w->bed.alerts.alerts, (QList<Pair>{{"Ooops", message}}));
        QVERIFY(edit->isVisible());
        QVERIFY(edit->btnUpdate->isEnabled());
        QCOMPARE(w->bed.requestsTo(QStringLiteral("update-profile")), answer.isEmpty() ? 0 : 1);
        QCOMPARE(w->prefs().stringForKey(PrefKey::user_name), QStringLiteral("Ada Byron"));

        // Cancelled and opened again: the stored account, no password left over.
        QTest::mouseClick(edit->btnCancel, Qt::LeftButton);
        QVERIFY(!edit->isVisible());
        edit->tfUserName->setText(QStringLiteral("typed, never sent"));
        auto *settings = qobject_cast<SettingsViewController *>(mainContent()->detail());
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        QVERIFY(edit->isVisible());
        QCOMPARE(edit->tfUserName->text(), QStringLiteral("Ada Byron"));
        QVERIFY(edit->tfPassword->text().isEmpty());
        QVERIFY(edit->tfConfirmPassword->text().isEmpty());
    }

    void sheetsSitCentredOnTheirPartOfTheWindow_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("sign-in on the launch screen") << false;
        QTest::newRow("account on the main content, clear of the sidebar") << true;
    }
    void sheetsSitCentredOnTheirPartOfTheWindow()
    {
        QFETCH(bool, signedIn);
        SheetDialog *sheet = nullptr;
        QWidget *area = nullptr;
        if (signedIn) {
            sheet = openEditAccount();
            area = mainContent() ? mainContent()->detail() : nullptr;
        } else {
            w->launch();
            sheet = w->sheet<LogInWindowController>(CommmonFunction::LogInSlot);
            area = w->main.window();
        }
        QVERIFY(sheet && area);
        QCOMPARE(sheet->windowType(), Qt::Sheet);
        const auto offCentre = [&] {
            const QPoint panel = sheet->panel()->mapToGlobal(sheet->panel()->rect().center());
            return (panel - area->mapToGlobal(area->rect().center())).manhattanLength();
        };
        QVERIFY2(offCentre() <= 2, qPrintable(QString::number(offCentre())));
        // A sheet hangs on its window: it follows when the window moves.
        w->main.window()->move(w->main.window()->pos() + QPoint(60, 40));
        QTRY_VERIFY2(offCentre() <= 2, qPrintable(QString::number(offCentre())));
        if (signedIn) {
            const QWidget *sidebar = mainContent()->sidebar();
            QVERIFY(sheet->panel()->mapToGlobal(QPoint(0, 0)).x() >=
                    sidebar->mapToGlobal(QPoint(sidebar->width(), 0)).x());
        }
    }

    void logoutReturnsToTheLaunchScreenAndTheSignIn()
    {
        w->signedIn();
        w->bed.mark();
        QTest::mouseClick(mainContent()->sidebar()->item(6), Qt::LeftButton);
        QCOMPARE(w->bed.alerts.choiceActions.size(), 1);
        w->bed.alerts.choiceActions.first()(0); // "Ok"
        QTRY_VERIFY(w->main.window()->content()->inherits("ViewController"));
        QCOMPARE(w->main.window()->minimumSize(), QSize(795, 594));
        QCOMPARE(w->main.window()->maximumSize(), QSize(795, 594));
        QCOMPARE(w->bed.newRequests().first().path, QStringLiteral("logout"));
        QCOMPARE(w->bed.newRequests().first().header("Authorization"), "Bearer user-token-7f3a9c");
        QVERIFY(w->bed.log.contains(QStringLiteral("User logged out")));

        PreferencesStore &prefs = w->prefs();
        QVERIFY(!prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(prefs.boolForKey(PrefKey::isLoggedOut));
        // The revoked token is not sent again; the account values stay for the next sign-in.
        QCOMPARE(prefs.stringForKey(PrefKey::loginToken), QString());
        QCOMPARE(prefs.stringForKey(PrefKey::user_email), QStringLiteral("ada@example.org"));

        w->clock.advance(ViewController::startupDelayMs);
        QVERIFY(w->sheet<LogInWindowController>(CommmonFunction::LogInSlot));
    }

    void aRefusedLogoutKeepsTheSession_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("status false") << QByteArray(
            R"({"status":false,"code":500,"msg":"No","version":"3.0","data":[]})");
        QTest::newRow("undecodable") << QByteArray("{}");
    }
    void aRefusedLogoutKeepsTheSession()
    {
        QFETCH(QByteArray, answer);
        w->bed.server.answer(QStringLiteral("logout"), 200, answer);
        w->signedIn();
        SplitViewController *split = mainContent();
        w->bed.mark();
        QTest::mouseClick(split->sidebar()->item(6), Qt::LeftButton);
        w->bed.alerts.choiceActions.first()(0);
        QTRY_COMPARE(w->bed.requestsTo(QStringLiteral("logout")), 1);
        settle();
        QCOMPARE(w->main.window()->content(), split);
        QVERIFY(w->prefs().boolForKey(PrefKey::isLogin));
        QCOMPARE(w->prefs().stringForKey(PrefKey::loginToken), QStringLiteral("user-token-7f3a9c"));
    }

    void aLogoutWithoutAnAnswerSaysSoAndKeepsTheSession_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("server stopped") << "refused";
        QTest::newRow("no answer in time") << "time-out";
        // The gate alone speaks: one alert, not two.
        QTest::newRow("network down") << "down";
    }
    void aLogoutWithoutAnAnswerSaysSoAndKeepsTheSession()
    {
        QFETCH(QString, failure);
        w->signedIn();
        SplitViewController *split = mainContent();
        ApiManager &api = ApiManager::shared();
        if (failure == "refused") {
            QVERIFY(api.setApiBase(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(unusedLocalPort()))));
        } else if (failure == "time-out") {
            api.setTransferTimeout(300);
            w->bed.server.answer(QStringLiteral("logout"), 200, ApiTestBed::fixture(QStringLiteral("logout.json")),
                                 5000);
        } else {
            w->bed.flags->change({});
            QTRY_VERIFY(!w->bed.alerts.alerts.isEmpty());
        }
        w->bed.mark();
        QTest::mouseClick(split->sidebar()->item(6), Qt::LeftButton);
        w->bed.alerts.choiceActions.first()(0);
        QTRY_VERIFY_WITH_TIMEOUT(!w->bed.alerts.alerts.isEmpty(), 4000);
        settle();
        QCOMPARE(w->bed.alerts.alerts, (QList<Pair>{{"Ooops", "Network Not Reachable"}}));
        QCOMPARE(w->main.window()->content(), split);
        QVERIFY(w->prefs().boolForKey(PrefKey::isLogin));
        QCOMPARE(w->prefs().stringForKey(PrefKey::loginToken), QStringLiteral("user-token-7f3a9c"));
    }

    void aRevokedTokenSignsOut()
    {
        w->bed.server.answer(QStringLiteral("update-profile"), 401, R"({"message":"Unauthenticated."})");
        QPointer<EditAccountWindowController> edit = openEditAccount();
        QVERIFY(edit);
        QTest::mouseClick(edit->btnUpdate, Qt::LeftButton);
        QTRY_VERIFY(w->main.window()->content()->inherits("ViewController"));
        QCOMPARE(w->main.window()->maximumSize(), QSize(795, 594));
        QTRY_VERIFY(!edit || !edit->isVisible());
        PreferencesStore &prefs = w->prefs();
        QVERIFY(!prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(prefs.boolForKey(PrefKey::isLoggedOut));
        QVERIFY(!prefs.contains(PrefKey::loginToken));
        QVERIFY(!prefs.contains(PrefKey::user_email));
        QCOMPARE(w->bed.alerts.alerts, (QList<Pair>{{"Signed out", "Your session has ended. Please sign in again."}}));
        w->clock.advance(ViewController::startupDelayMs);
        QVERIFY(w->sheet<LogInWindowController>(CommmonFunction::LogInSlot));
    }
};

QTEST_MAIN(TestAccountFlows)
#include "tst_accountflows.moc"
