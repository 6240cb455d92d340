#pragma once

#include "PinEntryDialog.h"

class PinGate;

// The PIN gate's dialog in front of a protected change: an accepted PIN carries the change
// out, Cancel (or Escape, or closing the window) leaves it undone.
class VerifyPin : public PinEntryDialog
{
    Q_OBJECT
public:
    VerifyPin(PinGate *gate, QWidget *parent = nullptr);

    void cancel();
    void reject() override;

protected:
    void pinAccepted() override;
    void verifyUndecodable() override;
    bool mayVerify() override;

private:
    PinGate *m_gate;
};
