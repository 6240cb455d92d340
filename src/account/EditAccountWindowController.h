#pragma once

#include "ui/SheetDialog.h"

#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;

// The account's name, device name and password, sent to the server's profile update. Made
// once with the settings screen and opened by its Edit button as often as the user likes.
class EditAccountWindowController : public SheetDialog
{
    Q_OBJECT
public:
    explicit EditAccountWindowController(QWidget *parent = nullptr);

    void updateLocalizationWithNotification(const QVariant &object);
    void btnCancelTapped();
    void update();

    QPointer<QLineEdit> tfUserName;
    QPointer<QLineEdit> tfDeviceName;
    QPointer<QLineEdit> tfEmail;
    QPointer<QLineEdit> tfPassword;
    QPointer<QLineEdit> tfConfirmPassword;
    QLabel *lblEditAccount = nullptr;
    QLabel *lblEditDetailAnd = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnUpdate = nullptr;
    QLabel *lblUserName = nullptr;
    QLabel *lblDeviceName = nullptr;
    QLabel *lblEmail = nullptr;
    QLabel *lblPassword = nullptr;
    QLabel *lblConfirmPassword = nullptr;
    QLabel *lblPasswordHint = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void windowDidLoad();
    void setTexts();
    void fillFields();
    void fitHeight();
};
