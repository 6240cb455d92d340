#pragma once

#include <functional>

// Tells the server the user leaves. Once it agreed: the user is marked signed out and
// showLaunchScreen puts the launch screen in the main window, which then offers the sign-in.
// A refusal or no answer leaves everything as it was; no answer at all is said in an alert.
void logOut(std::function<void()> showLaunchScreen);
