#pragma once

#include "PinEntryDialog.h"

// In front of the main window at start-up while a PIN is set: the main content opens only
// once the server accepted the PIN. It says why it is there. Nothing gets past it: Cancel,
// Escape and the window's close button put the window away to the tray, and showing it again
// asks for the PIN again.
class VerifyPinOnStart : public PinEntryDialog
{
    Q_OBJECT
public:
    explicit VerifyPinOnStart(QWidget *parent = nullptr);

    QLabel *lblWhy = nullptr;

    void cancel();
    void reject() override;

protected:
    void pinAccepted() override;

private:
    void setExplanation();
};
