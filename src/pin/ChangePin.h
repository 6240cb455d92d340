#pragma once

#include "ui/SheetDialog.h"

class OnlyIntegerValueFormatter;
class QLabel;
class QPushButton;
class ZelSecureTextField;

// Replaces the PIN: the old one, and a new one typed twice or drawn at random and hidden. A
// hidden new PIN cannot be revealed or edited: any edit starts the field over.
class ChangePin : public SheetDialog
{
    Q_OBJECT
public:
    explicit ChangePin(QWidget *parent = nullptr);

    void cancel();
    void submit();
    void randomPin();
    void newPinEdited(const QString &text);
    bool holdsHiddenPin() const;

    ZelSecureTextField *oldPinTF = nullptr;
    ZelSecureTextField *newPinTF = nullptr;
    ZelSecureTextField *confirmPinTF = nullptr;
    QLabel *lblChangePin = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnSubmit = nullptr;
    QPushButton *btnRandomPin = nullptr;
    int constraintBoxHeight = 0;
    OnlyIntegerValueFormatter *onlyIntFormatter = nullptr;

private:
    void resetNewPinForTyping();
    void fitBox();

    QString m_hiddenPin;
};
