#include "SignInViewController.h"
#include "SocialSignIn.h"

#include "ui/AccountWidgets.h"
#include "EmailValidation.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

using namespace AccountWidgets;

SignInViewController::SignInViewController(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SignInViewController"));
    styleSheetPage(this);

    lblBrenvikSignIn = titleLabel(this, QStringLiteral("lblBrenvikSignIn"));
    lblDontHaveAnAccount = captionLabel(this, QStringLiteral("lblDontHaveAnAccount"));
    lblDontHaveAnAccount->setWordWrap(false);
    btnJoinUs = switchButton(this, QStringLiteral("btnJoinUs"));
    lblOR = new QLabel(this);
    lblOR->setObjectName(QStringLiteral("lblOR"));
    userNameTextField = textField(this, QStringLiteral("userNameTextField"));
    btnSignIn = primaryButton(this, QStringLiteral("btnSignIn"));
    btnSignIn->setDefault(true);
    btnCancel = secondaryButton(this, QStringLiteral("btnCancel"));
    btnTerms = linkButton(this, QStringLiteral("btnTerms"));
    btnPrivacy = linkButton(this, QStringLiteral("btnPrivacy"));
    btnFrenchTerms = linkButton(this, QStringLiteral("btnFrenchTerms"));
    btnFrenchPrivacy = linkButton(this, QStringLiteral("btnFrenchPrivacy"));
    EnglishStackView = legalLinksRow(this, QStringLiteral("EnglishStackView"), btnTerms, btnPrivacy);
    FrenchStackView = legalLinksRow(this, QStringLiteral("FrenchStackView"), btnFrenchTerms, btnFrenchPrivacy);
    loader = AccountWidgets::loader(this);
    socialSignIn = new SocialSignIn(this, loader, CommmonFunction::LogInSlot);
    btnSignInWithGoogle = socialButton(this, QStringLiteral("btnSignInWithGoogle"));
    btnSignInWithFacebook = socialButton(this, QStringLiteral("btnSignInWithFacebook"));

    auto *joinRow = new QHBoxLayout;
    joinRow->setSpacing(6);
    joinRow->addWidget(lblDontHaveAnAccount);
    joinRow->addWidget(btnJoinUs);
    joinRow->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblBrenvikSignIn);
    layout->addSpacing(6);
    layout->addLayout(joinRow);
    layout->addSpacing(20);
    layout->addWidget(userNameTextField);
    layout->addSpacing(18);
    layout->addLayout(separatorRow(this, lblOR));
    layout->addSpacing(14);
    layout->addWidget(btnSignInWithGoogle);
    layout->addSpacing(8);
    layout->addWidget(btnSignInWithFacebook);
    layout->addSpacing(8);
    layout->addWidget(loader);
    layout->addSpacing(10);
    layout->addWidget(EnglishStackView);
    layout->addWidget(FrenchStackView);
    layout->addSpacing(20);
    layout->addLayout(buttonRow(btnCancel, btnSignIn));

    connect(btnSignIn, &QPushButton::clicked, this, &SignInViewController::btnSignInAction);
    connect(btnCancel, &QPushButton::clicked, this, &SignInViewController::btnQuitAction);
    connect(btnJoinUs, &QPushButton::clicked, this, &SignInViewController::joinUs);
    connect(btnSignInWithGoogle, &QPushButton::clicked, this, &SignInViewController::btnSignInWithGoogleAction);
    connect(btnSignInWithFacebook, &QPushButton::clicked, this, &SignInViewController::btnSignInWithFacebookAction);
    for (QPushButton *terms : {btnTerms, btnFrenchTerms})
        connect(terms, &QPushButton::clicked, this, &SignInViewController::btnTermsAction);
    for (QPushButton *privacy : {btnPrivacy, btnFrenchPrivacy})
        connect(privacy, &QPushButton::clicked, this, &SignInViewController::btnPrivacyAction);

    viewDidLoad();
}

void SignInViewController::viewDidLoad()
{
    lblBrenvikSignIn->setText(localizedText(QStringLiteral("NIMBREL Sign In")));
    lblDontHaveAnAccount->setText(localizedText(QStringLiteral("Don’t have an account?")));
    btnJoinUs->setText(localizedText(QStringLiteral("Join Us")));
    lblOR->setText(localizedText(QStringLiteral("OR")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    userNameTextField->setPlaceholderText(localizedText(QStringLiteral("Enter Email")));
    btnSignIn->setText(localizedText(QStringLiteral("Continue")));
    btnSignInWithGoogle->setText(localizedText(QStringLiteral("Sign in with Google")));
    btnSignInWithFacebook->setText(localizedText(QStringLiteral("Sign in with Facebook")));
    // The legal links are written in their row's language and never translated.
    btnTerms->setText(QStringLiteral("terms"));
    btnPrivacy->setText(QStringLiteral("privacy"));
    btnFrenchTerms->setText(QStringLiteral("conditions d'utilisation"));
    btnFrenchPrivacy->setText(QStringLiteral("politique de confidentialité"));

    const bool french = linkLanguage() == QLatin1String("fr");
    EnglishStackView->setHidden(french);
    FrenchStackView->setHidden(!french);
    loader->hide();

    const PreferencesStore &prefs = PreferencesStore::shared();
    if (prefs.contains(PrefKey::UserName))
        userNameTextField->setText(prefs.stringForKey(PrefKey::UserName).value_or(QString()));
}

void SignInViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    socialSignIn->updateButtons(btnSignInWithGoogle, btnSignInWithFacebook);
}

void SignInViewController::btnSignInAction()
{
    const QString email = userNameTextField ? userNameTextField->text() : QString();
    if (!isValidEmail(email)) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Email not Valid")));
        return;
    }
    PreferencesStore::shared().setString(PrefKey::user_email, email);
    // The sheet goes away from inside its own button's click: change sheets once that is over.
    CommmonFunction &common = CommmonFunction::shared();
    QTimer::singleShot(0, &common, [&common] {
        common.dismissPresented(CommmonFunction::LogInSlot);
        common.showPassword();
    });
}

void SignInViewController::btnSignInWithGoogleAction()
{
    socialSignIn->signInWithGoogle();
}

void SignInViewController::btnSignInWithFacebookAction()
{
    socialSignIn->signInWithFacebook();
}

void SignInViewController::joinUs()
{
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::LogInSlot);
    common.showSignup();
}

void SignInViewController::btnQuitAction()
{
    // Nobody may use the app signed out, so Cancel puts the window away to the tray; opening
    // it from the tray starts the sign-in again from a clean form.
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::LogInSlot);
    if (QWidget *main = common.mainWindow(); main && main->isVisible())
        main->hide();
    else
        common.showLogIn();
}

void SignInViewController::btnTermsAction()
{
    openTerms();
}

void SignInViewController::btnPrivacyAction()
{
    openPrivacy();
}
