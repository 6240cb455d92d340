// The keyboard on every sheet: Enter does the sheet's main action, Escape what its Cancel
// does; and open PIN dialogs follow a language change at once.
#include "AccountTestWorld.h"
#include "account/PasswordViewController.h"
#include "account/ResetPasswordViewController.h"
#include "ui/SheetWindowController.h"
#include "account/SignInViewController.h"
#include "account/SignupViewController.h"
#include "pin/VerifyPinOnStart.h"
#include "texts/LocalizedText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
struct SheetCase {
    CommmonFunction::Slot slot;
    void (CommmonFunction::*present)();
    // Field object names and what to type, in order; Enter goes to the last one.
    QList<QPair<QString, QString>> typing;
    QString request;                  // the server call Enter sends; empty: none
    CommmonFunction::Slot afterEnter; // the sheet Enter leads to, when no request
    CommmonFunction::Slot afterEscape;
};

const QList<SheetCase> &cases()
{
    using C = CommmonFunction;
    static const QList<SheetCase> all{
        {C::LogInSlot, &C::showLogIn, {{"userNameTextField", "ada@example.org"}}, {}, C::PasswordSlot, C::LogInSlot},
        {C::PasswordSlot, &C::showPassword, {{"passwordTF", "s3cret-pass"}}, "login", C::PasswordSlot, C::LogInSlot},
        {C::SignupSlot,
         &C::showSignup,
         {{"emailTF", "new@example.org"}, {"passwordTF", "s3cret-pass"}, {"confirmPasswordTF", "s3cret-pass"}},
         "signup",
         C::SignupSlot,
         C::LogInSlot},
        {C::ResetPasswordSlot,
         &C::showResetPassword,
         {{"tfEmail", "ada@example.org"}},
         "forgot-password",
         C::ResetPasswordSlot,
         C::PasswordSlot},
    };
    return all;
}
} // namespace

class TestSheetKeys : public QObject
{
    Q_OBJECT
    std::unique_ptr<AccountTestWorld> w;

    QDialog *open(const SheetCase &c)
    {
        w->prefs().setString(PrefKey::user_email, QStringLiteral("ada@example.org"));
        (w->common().*c.present)();
        return w->sheet<QDialog>(c.slot);
    }

private slots:
    void init()
    {
        w = std::make_unique<AccountTestWorld>();
        w->main.window()->setFixedContentSize(795, 594);
        w->main.showWindow();
    }
    void cleanup() { w.reset(); }

    void enterDoesTheMainAction_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("sign-in") << 0;
        QTest::newRow("password") << 1;
        QTest::newRow("sign-up") << 2;
        QTest::newRow("password reset") << 3;
    }
    void enterDoesTheMainAction()
    {
        QFETCH(int, index);
        const SheetCase &c = cases().at(index);
        QPointer<QDialog> sheet = open(c);
        QVERIFY(sheet);
        QLineEdit *last = nullptr;
        for (const auto &[name, text] : c.typing) {
            last = sheet->findChild<QLineEdit *>(name);
            QVERIFY2(last, qPrintable(name));
            last->clear();
            QTest::keyClicks(last, text);
        }
        QTest::keyClick(last, Qt::Key_Return);
        if (!c.request.isEmpty()) {
            QTRY_COMPARE(w->bed.requestsTo(c.request), 1);
        } else {
            QTRY_VERIFY(w->common().presented(c.afterEnter));
            QTRY_VERIFY(!sheet || !sheet->isVisible());
        }
    }

    void escapeDoesWhatCancelDoes_data() { enterDoesTheMainAction_data(); }
    void escapeDoesWhatCancelDoes()
    {
        QFETCH(int, index);
        const SheetCase &c = cases().at(index);
        QPointer<QDialog> sheet = open(c);
        QVERIFY(sheet);
        QTest::keyClick(sheet->focusWidget() ? sheet->focusWidget() : sheet.data(), Qt::Key_Escape);
        QTRY_VERIFY(!sheet || !sheet->isVisible());
        if (c.slot == CommmonFunction::LogInSlot) {
            // Nobody may use the app signed out: the window goes to the tray, and showing it
            // again starts the sign-in afresh.
            QTRY_VERIFY(!w->main.window()->isVisible());
            QVERIFY(!w->common().presented(CommmonFunction::LogInSlot));
        } else {
            QTRY_VERIFY(w->common().presented(c.afterEscape) && w->common().presented(c.afterEscape) != sheet);
        }
    }

    // Not configured in this build: the buttons say so before anybody clicks.
    void socialButtonsWithoutSettingsAreDisabled()
    {
        for (const auto &present : {&CommmonFunction::showLogIn, &CommmonFunction::showSignup}) {
            const CommmonFunction::Slot slot =
                present == &CommmonFunction::showLogIn ? CommmonFunction::LogInSlot : CommmonFunction::SignupSlot;
            (w->common().*present)();
            QDialog *sheet = w->sheet<QDialog>(slot);
            QVERIFY(sheet);
            for (const char *name : {"btnSignInWithGoogle", "btnSignInWithFacebook"}) {
                auto *button = sheet->findChild<QPushButton *>(QLatin1String(name));
                QVERIFY(button);
                QVERIFY(!button->isEnabled());
                QVERIFY(button->toolTip().contains(QLatin1String("not configured")));
            }
            w->common().dismissPresented(slot);
        }
    }

    // The start-up PIN window says why it is there, Enter checks the PIN, and a language
    // chosen meanwhile shows at once.
    void startUpPinWindowExplainsItselfAndFollowsTheLanguage()
    {
        w->bed.server.answer(QStringLiteral("checkPin"), 200,
                             R"({"status": false, "code": 400, "msg": "Please enter a valid otp.",
                                 "version": "3.0", "data": null})");
        w->prefs().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        w->prefs().setBool(PrefKey::isPinSeted, true);
        w->common().showVerifyPinOnStart();
        auto *pin = w->sheet<VerifyPinOnStart>(CommmonFunction::VerifyPinOnStartSlot);
        QVERIFY(pin);
        QVERIFY(pin->lblWhy->text().startsWith(QLatin1String("PIN protection is on")));
        QCOMPARE(pin->btnRetrieve->text(), QStringLiteral("Retrieve my pin code by e-mail"));

        changeLanguage(QStringLiteral("French Selected"), QStringLiteral("fr"));
        QCOMPARE(pin->lblEnterPinToVerify->text(), QStringLiteral("Saisissez le code PIN"));
        QCOMPARE(pin->btnCancel->text(), QStringLiteral("Annuler"));
        QCOMPARE(pin->btnRetrieve->text(), QStringLiteral("Recevoir mon code PIN par e-mail"));
        QVERIFY(pin->lblWhy->text().startsWith(QStringLiteral("La protection par code PIN est activée")));

        QTest::keyClicks(pin->pinTF, QStringLiteral("123456"));
        QTest::keyClick(pin->pinTF, Qt::Key_Return);
        QTRY_COMPARE(w->bed.requestsTo(QStringLiteral("checkPin")), 1);
        // The wire text still counts the attempt; the user reads it in French.
        QTRY_COMPARE(w->prefs().integerForKey(PrefKey::attemp), 2);
        QCOMPARE(w->bed.alerts.lastMessage(), QStringLiteral("Ce code PIN n’est pas le bon. Veuillez réessayer."));

        // Cancel puts the window in the tray; opening it asks for the PIN again.
        QTest::keyClick(pin->pinTF, Qt::Key_Escape);
        QTRY_VERIFY(!w->main.window()->isVisible());
        QVERIFY(!w->common().presented(CommmonFunction::VerifyPinOnStartSlot));
    }
};

QTEST_MAIN(TestSheetKeys)
#include "tst_sheetkeys.moc"
