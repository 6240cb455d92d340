#include "SignupViewController.h"
#include "SocialSignIn.h"

#include "TermsAndConditions.h"
#include "ui/MainWindowController.h"

#include "ui/AccountWidgets.h"
#include "EmailValidation.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "core/Log.h"
#include "platform/DeviceIdentity.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace AccountWidgets;

SignupViewController::SignupViewController(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SignupViewController"));
    styleSheetPage(this);

    lblBrenvikSignUp = titleLabel(this, QStringLiteral("lblBrenvikSignUp"));
    lblHaveAnAccount = captionLabel(this, QStringLiteral("lblHaveAnAccount"));
    lblHaveAnAccount->setWordWrap(false);
    btnLogin = switchButton(this, QStringLiteral("btnLogin"));
    lblDeviceName = fieldLabel(this, QStringLiteral("lblDeviceName"));
    deviceNameTF = textField(this, QStringLiteral("deviceNameTF"));
    emailTF = textField(this, QStringLiteral("emailTF"));
    passwordTF = textField(this, QStringLiteral("passwordTF"), true);
    confirmPasswordTF = textField(this, QStringLiteral("confirmPasswordTF"), true);
    lblOR = new QLabel(this);
    lblOR->setObjectName(QStringLiteral("lblOR"));
    btnSignInWithGoogle = socialButton(this, QStringLiteral("btnSignInWithGoogle"));
    btnSignInWithFacebook = socialButton(this, QStringLiteral("btnSignInWithFacebook"));
    termsButton = linkButton(this, QStringLiteral("terms"));
    privacyButton = linkButton(this, QStringLiteral("privacy"));
    btnFrenchTerms = linkButton(this, QStringLiteral("btnFrenchTerms"));
    btnFrenchPrivacy = linkButton(this, QStringLiteral("btnFrenchPrivacy"));
    EnglishTerms = legalLinksRow(this, QStringLiteral("EnglishTerms"), termsButton, privacyButton);
    FrenchTerms = legalLinksRow(this, QStringLiteral("FrenchTerms"), btnFrenchTerms, btnFrenchPrivacy);
    loader = AccountWidgets::loader(this);
    socialSignIn = new SocialSignIn(this, loader, CommmonFunction::SignupSlot);
    btnCancel = secondaryButton(this, QStringLiteral("btnCancel"));
    btnContinue = primaryButton(this, QStringLiteral("btnContinue"));
    btnContinue->setDefault(true);

    auto *loginRow = new QHBoxLayout;
    loginRow->setSpacing(6);
    loginRow->addWidget(lblHaveAnAccount);
    loginRow->addWidget(btnLogin);
    loginRow->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblBrenvikSignUp);
    layout->addSpacing(6);
    layout->addLayout(loginRow);
    layout->addSpacing(20);
    // The field comes filled in, so its placeholder alone would not say what it is.
    layout->addWidget(lblDeviceName);
    layout->addSpacing(6);
    for (QLineEdit *field : {deviceNameTF, emailTF, passwordTF, confirmPasswordTF}) {
        layout->addWidget(field);
        layout->addSpacing(10);
    }
    layout->addSpacing(8);
    layout->addLayout(separatorRow(this, lblOR));
    layout->addSpacing(14);
    layout->addWidget(btnSignInWithGoogle);
    layout->addSpacing(8);
    layout->addWidget(btnSignInWithFacebook);
    layout->addSpacing(8);
    layout->addWidget(loader);
    layout->addSpacing(10);
    layout->addWidget(EnglishTerms);
    layout->addWidget(FrenchTerms);
    layout->addSpacing(20);
    layout->addLayout(buttonRow(btnCancel, btnContinue));

    connect(btnContinue, &QPushButton::clicked, this, [this] { continueAction(btnContinue); });
    connect(btnLogin, &QPushButton::clicked, this, &SignupViewController::login);
    connect(btnCancel, &QPushButton::clicked, this, &SignupViewController::cancel);
    connect(btnSignInWithGoogle, &QPushButton::clicked, this, &SignupViewController::signInWithGoogle);
    connect(btnSignInWithFacebook, &QPushButton::clicked, this, &SignupViewController::signInWithFacebook);
    for (QPushButton *link : {termsButton, btnFrenchTerms})
        connect(link, &QPushButton::clicked, this, &SignupViewController::terms);
    for (QPushButton *link : {privacyButton, btnFrenchPrivacy})
        connect(link, &QPushButton::clicked, this, &SignupViewController::privacy);

    viewDidLoad();
}

void SignupViewController::viewDidLoad()
{
    loader->hide();
    lblBrenvikSignUp->setText(localizedText(QStringLiteral("NIMBREL Sign Up")));
    lblHaveAnAccount->setText(localizedText(QStringLiteral("Have an account?")));
    btnLogin->setText(localizedText(QStringLiteral("Login")));
    lblOR->setText(localizedText(QStringLiteral("OR")));
    lblDeviceName->setText(localizedText(QStringLiteral("Device Name")));
    deviceNameTF->setPlaceholderText(localizedText(QStringLiteral("Device Name")));
    emailTF->setPlaceholderText(localizedText(QStringLiteral("Enter Email")));
    passwordTF->setPlaceholderText(localizedText(QStringLiteral("Password")));
    confirmPasswordTF->setPlaceholderText(localizedText(QStringLiteral("Confirm Password")));
    btnContinue->setText(localizedText(QStringLiteral("Continue")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnSignInWithGoogle->setText(localizedText(QStringLiteral("Sign in with Google")));
    btnSignInWithFacebook->setText(localizedText(QStringLiteral("Sign in with Facebook")));
    termsButton->setText(QStringLiteral("terms"));
    privacyButton->setText(QStringLiteral("privacy"));
    btnFrenchTerms->setText(localizedText(QStringLiteral("terms")));
    btnFrenchPrivacy->setText(QStringLiteral("intimité"));

    const bool french = linkLanguage() == QLatin1String("fr");
    EnglishTerms->setHidden(french);
    FrenchTerms->setHidden(!french);
}

void SignupViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    socialSignIn->updateButtons(btnSignInWithGoogle, btnSignInWithFacebook);
    if (!event->spontaneous())
        viewWillAppear();
}

void SignupViewController::viewWillAppear()
{
    deviceNameTF->setText(defaultDeviceName());
}

void SignupViewController::continueAction(QPushButton *sender)
{
    sender->setEnabled(false);
    const QString email = emailTF->text();
    const QString ooops = messageText(QStringLiteral("Ooops"));
    if (!isValidEmail(email)) {
        CommmonFunction::showCommonAlert(ooops, messageText(QStringLiteral("Email not Valid")));
        sender->setEnabled(true);
        return;
    }
    // A mistyped password would lock the user out of the account they just made.
    if (passwordTF->text() != confirmPasswordTF->text()) {
        CommmonFunction::showCommonAlert(ooops, messageText(QStringLiteral("Passwords did not match")));
        sender->setEnabled(true);
        return;
    }

    QPointer<QPushButton> button = sender;
    const auto enable = [button] {
        if (button)
            button->setEnabled(true);
    };
    CommonWS::shared().signup(
        deviceNameTF->text(), email, passwordTF->text(),
        [enable, email, ooops](const BaseModel<AuthModel> &record, bool ok) {
            Log::line(QStringLiteral("Model Response - ") + LogRedaction::describeRecord(record));
            enable();
            CommmonFunction &common = CommmonFunction::shared();
            PreferencesStore &prefs = PreferencesStore::shared();
            if (!ok) {
                // The account may exist all the same: the password step signs in to the address
                // typed here, not to whichever one was stored before.
                prefs.setString(PrefKey::user_email, email);
                common.dismissPresented(CommmonFunction::SignupSlot);
                common.showPassword();
                Log::line(QStringLiteral("============== Error while decoding the model response ==================="));
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(ooops, record.msg);
                return;
            }
            prefs.setBool(PrefKey::isLogin, true);
            if (record.data) {
                prefs.setInteger(PrefKey::user_id, record.data->id);
                prefs.setString(PrefKey::loginToken, record.data->token);
            }
            // A new account is signed in, even on a computer where someone logged out before.
            prefs.setBool(PrefKey::isLoggedOut, false);
            common.dismissPresented(CommmonFunction::SignupSlot);
            CommonWS::shared().syncURL({});
            // A new account first sees what it agreed to; Continue opens the main content.
            if (CustomWindow *main = common.mainWindow()) {
                main->setContent(new TermsAndConditions);
                main->setFixedContentSize(795, 590);
            }
        },
        enable);
}

void SignupViewController::login()
{
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::SignupSlot);
    common.showLogIn();
}

void SignupViewController::cancel()
{
    login();
}

void SignupViewController::signInWithGoogle()
{
    socialSignIn->signInWithGoogle();
}

void SignupViewController::signInWithFacebook()
{
    socialSignIn->signInWithFacebook();
}

void SignupViewController::terms()
{
    openTerms();
}

void SignupViewController::privacy()
{
    openPrivacy();
}
