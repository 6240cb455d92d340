#pragma once

#include "ui/SheetDialog.h"

class OnlyIntegerValueFormatter;
class QLabel;
class QPushButton;
class ZelSecureTextField;

// First step of PIN setup: six digits, typed or drawn at random and hidden. The PIN goes on
// in memory to the next step and is never stored on this computer.
class PinProtectionWC : public SheetDialog
{
    Q_OBJECT
public:
    explicit PinProtectionWC(QWidget *parent = nullptr);

    void setPin();
    void RandomPin();
    void cancel();
    // Any edit of a hidden random PIN starts the field over: it is used whole or replaced.
    void controlTextDidChange(const QString &text);
    void updateLocalizationWithNotification(const QVariant &object);
    // Whether the field holds a hidden random PIN.
    bool holdsHiddenPin() const;

    ZelSecureTextField *PinTextField = nullptr;
    QLabel *lblAssign4DigitPin = nullptr;
    QLabel *lblYouTrustToDoThis = nullptr;
    QPushButton *btnRandomPin = nullptr;
    QLabel *lblChooseAPinCode = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnSetPin = nullptr;
    OnlyIntegerValueFormatter *onlyIntFormatter = nullptr;

private:
    void setTexts();
    void resetForTyping();

    // The hidden PIN in the field, to tell an edit from an edit the formatter refused.
    QString m_hiddenPin;
};
