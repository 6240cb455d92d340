#pragma once

#include "ui/SheetDialog.h"

#include <QPointer>

class OnlyIntegerValueFormatter;
class QLabel;
class QLineEdit;
class QPushButton;
class RetrivePinPage;

// What the two PIN dialogs share: the PIN field, the server's check with the attempt counter
// ("attemp", kept between dialogs and launches), and retrieval by e-mail.
class PinEntryDialog : public SheetDialog
{
    Q_OBJECT
public:
    QLineEdit *pinTF = nullptr;
    QLabel *lblEnterPinToVerify = nullptr;
    QPushButton *btnRetrieve = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnVerify = nullptr;
    OnlyIntegerValueFormatter *formatter = nullptr;
    // The page shown after a retrieval request was accepted; none before.
    QPointer<RetrivePinPage> retrievePage;

    int attemp = 1;

    void verify();
    void retrieve();
    void setTexts();

protected:
    PinEntryDialog(const QString &retrieveName, QWidget *parent);

    // The server accepted the PIN.
    virtual void pinAccepted() = 0;
    // The check's answer did not decode.
    virtual void verifyUndecodable() {}
    // Whether the check may go out now; a dialog that says no has told the user why.
    virtual bool mayVerify() { return true; }
    // Verify is given back once the dialog may be used again.
    void setBusy(bool busy);
};
