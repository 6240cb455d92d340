#include "VerifyPin.h"

#include "PinGate.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QLineEdit>
#include <QPointer>

VerifyPin::VerifyPin(PinGate *gate, QWidget *parent)
    : PinEntryDialog(QStringLiteral("btnRetrieveMyPinCode"), parent)
    , m_gate(gate)
{
    setObjectName(QStringLiteral("VerifyPin"));
}

void VerifyPin::pinAccepted()
{
    QPointer<VerifyPin> self(this);
    // Verify stays off until the change is through, so it cannot run twice.
    m_gate->carryOut([self](bool closeDialog) {
        if (!self)
            return;
        self->setBusy(false);
        if (closeDialog) {
            self->pinTF->clear();
            self->QDialog::accept();
        }
    });
}

void VerifyPin::verifyUndecodable()
{
    // The sidebar's switch goes back to what is stored.
    if (m_gate->pendingPinAction() == PinAction::DisablePin)
        NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"),
                                                 PreferencesStore::shared().boolForKey(PrefKey::isPinSeted));
}

bool VerifyPin::mayVerify()
{
    // The session may have ended while the dialog was open.
    if (!PreferencesStore::shared().stringForKey(PrefKey::loginToken).value_or(QString()).isEmpty())
        return true;
    m_gate->signedOut();
    return false;
}

void VerifyPin::cancel()
{
    m_gate->cancelled();
    pinTF->clear();
    QDialog::reject();
}

void VerifyPin::reject()
{
    cancel();
}
