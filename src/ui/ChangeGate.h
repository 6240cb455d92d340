#pragma once

#include "PinActions.h"

#include <QObject>
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

// What screens see of the PIN gate: they ask with the code of a protected change, and the
// gate decides whether the PIN is needed first. The gate itself, with its dialogs, belongs to
// the PIN screens; the application makes it once and hands it to the screens.
class ChangeGate : public QObject
{
    Q_OBJECT
public:
    using Finish = std::function<void(bool closeDialog)>;
    using Change = std::function<void(Finish finish)>;

    using QObject::QObject;
    ~ChangeGate() override = default;

    // The change comes with the request. False when the request was refused (the change will
    // not happen; the requester was told as on Cancel).
    virtual bool ask(PinAction::Code code, Change change) = 0;
    // Codes 4 to 6: the screen becomes the back-reference of its code and carries out the change.
    virtual bool ask(PinAction::Code code, PinGatedScreen *screen) = 0;
    // A request is waiting for the PIN.
    virtual bool isAsking() const = 0;
    // The change waiting for the PIN, or the last one asked.
    virtual PinAction::Code pendingPinAction() const = 0;

    // Back-references of the screens that asked with codes 4, 5 and 6.
    PinGatedScreen *blockAppsViewController = nullptr;
    PinGatedScreen *blackListWebsitesViewController = nullptr;
    PinGatedScreen *categoryBlockingViewController = nullptr;
};
