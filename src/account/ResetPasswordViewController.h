#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks the server to e-mail a password-reset link. The password sheet comes back at once;
// the server's message follows when it answers.
class ResetPasswordViewController : public QWidget
{
    Q_OBJECT
public:
    explicit ResetPasswordViewController(QWidget *parent = nullptr);

    void submitAction();
    void cancelAction();

    QPointer<QLineEdit> tfEmail;
    QLabel *lblForgotPassword = nullptr;
    QLabel *lblWellSentYouLink = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnSubmit = nullptr;

private:
    void viewDidLoad();
};
