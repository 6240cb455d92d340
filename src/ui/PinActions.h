#pragma once

// The protected changes a screen asks the PIN gate for.
namespace PinAction {
enum Code : int {
    None = 0,
    Uninstall = 1,
    ProtectionOff = 2,
    DisablePin = 3,
    UnblockApplication = 4,
    UnblockWebsite = 5,
    UnblockCategory = 6,
    // Quitting stops the watchdog; a cancelled quit posts nothing.
    Quit = 7,
    // Signing out, then in with an account without a PIN, would switch every gate off; a
    // cancelled sign-out posts nothing and keeps the session.
    Logout = 8,
};
} // namespace PinAction
