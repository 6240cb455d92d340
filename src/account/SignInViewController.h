#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class SocialSignIn;
class QPushButton;

// The first step of signing in: the e-mail address, checked for its form only. Also the way to
// sign-up, to the terms and privacy pages, and to the Google and Facebook sign-in.
class SignInViewController : public QWidget
{
    Q_OBJECT
public:
    explicit SignInViewController(QWidget *parent = nullptr);

    void btnSignInAction();
    void btnSignInWithGoogleAction();
    void btnSignInWithFacebookAction();
    void joinUs();
    void btnQuitAction();
    void btnTermsAction();
    void btnPrivacyAction();

    QLabel *lblBrenvikSignIn = nullptr;
    QLabel *lblDontHaveAnAccount = nullptr;
    QPushButton *btnJoinUs = nullptr;
    QLabel *lblOR = nullptr;
    QPointer<QLineEdit> userNameTextField;
    QPushButton *btnSignIn = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnTerms = nullptr;
    QPushButton *btnPrivacy = nullptr;
    QWidget *EnglishStackView = nullptr;
    QWidget *FrenchStackView = nullptr;
    QPushButton *btnFrenchTerms = nullptr;
    QPushButton *btnFrenchPrivacy = nullptr;
    QProgressBar *loader = nullptr;
    SocialSignIn *socialSignIn = nullptr;
    QPushButton *btnSignInWithGoogle = nullptr;
    QPushButton *btnSignInWithFacebook = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void viewDidLoad();
};
