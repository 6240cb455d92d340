#pragma once

#include "platform/PreferencesStore.h"

#include <QSize>

// Which window the user meets first, from what the store says about the account.
enum class FirstWindow { VerifyPinOnStart, LogIn, MainContent };

FirstWindow chooseFirstWindow(const PreferencesStore &prefs);

// What the launch screen and the tray item open once the choice is made.
class StartupPresenter
{
public:
    virtual ~StartupPresenter() = default;
    virtual void showVerifyPinOnStart() = 0;
    // Whether the start-up PIN dialog is up (or waiting to come back): nothing may open the
    // main content around it.
    virtual bool verifyingPinOnStart() const { return false; }
    virtual void showLogIn() = 0;
    // Whether a sign-in, sign-up or password sheet is up or on its way: another sign-in
    // sheet would stack on it.
    virtual bool signInShown() const { return false; }
    // Makes the sidebar and detail pane the main window's content; a valid size fixes the
    // window to it.
    virtual void openMainContent(const QSize &size) = 0;
};
