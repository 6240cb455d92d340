#pragma once

#include "ui/SheetDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Between the two setup steps for a typed PIN: the user types it once more.
class ConfirmPin : public SheetDialog
{
    Q_OBJECT
public:
    ConfirmPin(const QString &pin, QWidget *parent = nullptr);

    void yes();
    void no();

    QLabel *lblConfirmPin = nullptr;
    QLabel *lblTypeAgain = nullptr;
    QLineEdit *confirmPinTF = nullptr;
    QPushButton *btnNo = nullptr;
    QPushButton *btnYes = nullptr;

private:
    QString m_pin;
};
