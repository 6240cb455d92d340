#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The second step of signing in: the password for the address of the first step. Signs in,
// synchronises the account status, then opens the main content.
class PasswordViewController : public QWidget
{
    Q_OBJECT
public:
    explicit PasswordViewController(QWidget *parent = nullptr);

    void signInButton(QPushButton *sender);
    void forgotPWAction();
    void cancelButton(QPushButton *sender);

    QLineEdit *passwordTF = nullptr;
    QPushButton *btnForget = nullptr;
    QPushButton *btnSignIn = nullptr;
    QPushButton *btnCancel = nullptr;
    QLabel *lblYourEmailIsAssociated = nullptr;
    QLabel *lblBrenvikPassword = nullptr;
    // The address being signed in to, so the user knows which account the password is for.
    QLabel *lblEmailAddress = nullptr;

private:
    void viewDidLoad();
};
