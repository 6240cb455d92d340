#include "PinWindows.h"

#include "ChangePin.h"
#include "PinGate.h"
#include "PinProtectionOff.h"
#include "PinProtectionWC.h"
#include "VerifyPin.h"
#include "VerifyPinOnStart.h"
#include "ui/CommmonFunction.h"

void registerPinWindows(CommmonFunction &common, PinGate &gate)
{
    PinGate *g = &gate;
    common.registerWindow(QStringLiteral("PinProtectionWC"), [](QWidget *parent) { return new PinProtectionWC(parent); });
    common.registerWindow(QStringLiteral("PinProtectionOff"),
                          [g](QWidget *parent) { return new PinProtectionOff(g, parent); });
    common.registerWindow(QStringLiteral("ChangePin"), [](QWidget *parent) { return new ChangePin(parent); });
    common.registerWindow(QStringLiteral("VerifyPin"), [g](QWidget *parent) { return new VerifyPin(g, parent); });
    common.registerWindow(QStringLiteral("VerifyPinOnStart"),
                          [](QWidget *parent) { return new VerifyPinOnStart(parent); });
}
