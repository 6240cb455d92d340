#pragma once

#include "PinEntryDialog.h"

// In front of the main window at start-up while a PIN is set: the main content opens only
// once the server accepted the PIN. Nothing gets past it: Cancel, Escape and the window's
// close button all show it again.
class VerifyPinOnStart : public PinEntryDialog
{
    Q_OBJECT
public:
    explicit VerifyPinOnStart(QWidget *parent = nullptr);

    void cancel();
    void reject() override;

protected:
    void pinAccepted() override;
};
