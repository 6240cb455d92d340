#pragma once

// The protected change waiting for the PIN gate: written by the gated screen just before it
// decides whether to ask for the PIN, read by the gate when the PIN is accepted or cancelled.
namespace PinAction {
enum Code : int {
    None = 0,
    Uninstall = 1,
    ProtectionOff = 2,
    DisablePin = 3,
    UnblockApplication = 4,
    UnblockWebsite = 5,
    UnblockCategory = 6,
};
} // namespace PinAction

extern int pendingPinAction;
