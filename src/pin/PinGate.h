#pragma once

#include "PinActions.h"
#include "VerifyPin.h"

#include <QObject>
#include <QPointer>
#include <functional>

// A screen whose protected change (unblocking an application, a website or a category) the
// gate carries out itself once the PIN is accepted.
class PinGatedScreen
{
public:
    virtual ~PinGatedScreen() = default;
    // Carries out the change waiting for the PIN; finish(true) closes the PIN dialog,
    // finish(false) leaves it open for another try.
    virtual void performPinAction(PinAction::Code code, std::function<void(bool closeDialog)> finish) = 0;
};

// The one place that decides whether a protected change needs the PIN. A screen asks with the
// code of its change and the change itself; with PIN protection off the change happens at
// once, otherwise after the server accepted the PIN in the VerifyPin dialog. Made once by the
// application and handed to the screens.
class PinGate : public QObject
{
    Q_OBJECT
public:
    using Finish = std::function<void(bool closeDialog)>;
    using Change = std::function<void(Finish finish)>;

    explicit PinGate(QObject *parent = nullptr);
    ~PinGate() override;

    // Uninstall, turning protection off and removing the PIN: the change comes with the request.
    void ask(PinAction::Code code, Change change);
    // Codes 4 to 6: the screen becomes the back-reference of its code and carries out the change.
    void ask(PinAction::Code code, PinGatedScreen *screen);

    // The change waiting for the PIN. A later accepted PIN in the same dialog performs it again.
    PinAction::Code pendingPinAction() const { return m_pending; }
    // The dialog the gate shows, made on first use; null before.
    VerifyPin *verifyPinWC() const { return m_dialog; }

    // Back-references of the screens that asked with codes 4, 5 and 6.
    PinGatedScreen *blockAppsViewController = nullptr;
    PinGatedScreen *blackListWebsitesViewController = nullptr;
    PinGatedScreen *categoryBlockingViewController = nullptr;

    // For VerifyPin: the server accepted the PIN, or the user cancelled.
    void carryOut(Finish finish);
    void cancelled();

private:
    VerifyPin *dialog();

    PinAction::Code m_pending = PinAction::None;
    Change m_change;
    QPointer<VerifyPin> m_dialog;
};
