#pragma once

#include "ui/SheetDialog.h"

#include <QPointer>

class PinGate;
class QLabel;
class QPushButton;

// What turning the sidebar's PIN switch off offers: change the PIN, or remove it (through the
// PIN gate). Back, Escape and closing leave the PIN as it is.
class PinProtectionOff : public SheetDialog
{
    Q_OBJECT
public:
    PinProtectionOff(PinGate *gate, QWidget *parent = nullptr);

    void tappedBackButton();
    void changePin();
    void disablePin();
    void reject() override;

    QLabel *lblYouWantToDisable = nullptr;
    QLabel *lblPleaseConfirmYourChoice = nullptr;
    QPushButton *btnChangePin = nullptr;
    QPushButton *btnDisablePin = nullptr;
    QPushButton *btnBack = nullptr;
    // The change window last opened from here.
    QPointer<QDialog> tempWindow;

private:
    PinGate *m_gate;
};

// Removes the PIN on the server and reports the outcome. Only a removal the server confirmed
// turns PIN protection off here; after a refusal the account status is asked for again, so
// the switch shows what the server holds. finish(true) once the PIN is gone.
void removePinOnServer(std::function<void(bool removed)> finish);
