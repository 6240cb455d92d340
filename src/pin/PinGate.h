#pragma once

#include "ui/ChangeGate.h"
#include "VerifyPin.h"

#include <QObject>
#include <QPointer>
#include <functional>

class FocusState;

// The one place that decides whether a protected change needs the PIN. A screen asks with the
// code of its change and the change itself; with PIN protection off the change happens at
// once, otherwise after the server accepted the PIN in the VerifyPin dialog. Made once by the
// application and handed to the screens.
//
// One request at a time: while the dialog is open for one change, another request is refused
// (the dialog comes to the front and the pending change keeps its place), and the refused
// requester is told as on Cancel. Nor is the dialog shown while nobody is signed in: the check
// needs the account, so the user is told why and offered the sign-in.
class PinGate : public ChangeGate
{
    Q_OBJECT
public:
    explicit PinGate(QObject *parent = nullptr);
    ~PinGate() override;

    // Uninstall, turning protection off, removing the PIN, quitting and signing out: the change
    // comes with the request. False when the request was refused (the change will not happen).
    bool ask(PinAction::Code code, Change change) override;
    // Codes 4 to 6: the screen becomes the back-reference of its code and carries out the change.
    // A refused request leaves the back-reference as it was.
    bool ask(PinAction::Code code, PinGatedScreen *screen) override;

    // The dialog is open (or its retrieval page is) for the pending change.
    bool isAsking() const override;
    // Shows the main window with the open dialog in front.
    void bringToFront();

    // The change waiting for the PIN. A later accepted PIN in the same dialog performs it again.
    PinAction::Code pendingPinAction() const override { return m_pending; }
    // The dialog the gate shows, made on first use; null before.
    VerifyPin *verifyPinWC() const { return m_dialog; }

    // While it holds the account's blocks, quitting, signing out and uninstalling are refused
    // with the time left, before any PIN is asked.
    void setFocusState(FocusState *state);

    // For VerifyPin: the server accepted the PIN, or the user cancelled.
    void carryOut(Finish finish);
    void cancelled();
    // The session is gone (no token): the dialog closes as on Cancel and the sign-in is offered.
    void signedOut();

private:
    VerifyPin *dialog();
    // What a requester hears when its change will not happen: the notification of Cancel.
    static void postCancelled(PinAction::Code code);
    // Refuses the request when it cannot be asked now; true when refused.
    bool refused(PinAction::Code code);

    PinAction::Code m_pending = PinAction::None;
    Change m_change;
    QPointer<VerifyPin> m_dialog;
    bool m_asking = false;
    QPointer<FocusState> m_focus;
};
