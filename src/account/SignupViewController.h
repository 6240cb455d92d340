#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class SocialSignIn;
class QPushButton;

// A new account: device name (the computer's model to begin with), e-mail and password.
// A created account is signed in at once and the main content opens.
class SignupViewController : public QWidget
{
    Q_OBJECT
public:
    explicit SignupViewController(QWidget *parent = nullptr);

    void continueAction(QPushButton *sender);
    void login();
    void cancel();
    void signInWithGoogle();
    void signInWithFacebook();
    void terms();
    void privacy();

    QLineEdit *deviceNameTF = nullptr;
    QLineEdit *emailTF = nullptr;
    QLineEdit *passwordTF = nullptr;
    QLineEdit *confirmPasswordTF = nullptr;
    QPushButton *termsButton = nullptr;
    QPushButton *privacyButton = nullptr;
    QPushButton *btnFrenchTerms = nullptr;
    QPushButton *btnFrenchPrivacy = nullptr;
    QLabel *lblBrenvikSignUp = nullptr;
    QLabel *lblHaveAnAccount = nullptr;
    QPushButton *btnLogin = nullptr;
    QLabel *lblOR = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnContinue = nullptr;
    QWidget *EnglishTerms = nullptr;
    QWidget *FrenchTerms = nullptr;
    QProgressBar *loader = nullptr;
    SocialSignIn *socialSignIn = nullptr;
    QPushButton *btnSignInWithGoogle = nullptr;
    QPushButton *btnSignInWithFacebook = nullptr;
    // Says what the pre-filled first field is.
    QLabel *lblDeviceName = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void viewDidLoad();
    void viewWillAppear();
};
