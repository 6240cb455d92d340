#pragma once

#include "ApiTestBed.h"
#include "FakeClock.h"
#include "app/AppMain.h"
#include "app/ViewController.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"

#include <QtTest>

// The app as a user meets it, against the stub server: the main window with its presenters,
// the launch screen, and a clock the test moves past the start-up delay.
struct AccountTestWorld {
    AccountTestWorld()
    {
        bed.startAsNewAccount();
        attachPresenters(main.window());
    }

    CommmonFunction &common() { return CommmonFunction::shared(); }
    PreferencesStore &prefs() { return PreferencesStore::shared(); }

    // First start: the launch screen, then the sign-in sheet 1.5 seconds later.
    void launch()
    {
        main.window()->setContent(new ViewController(&common()));
        main.window()->setFixedContentSize(795, 594);
        main.showWindow();
        clock.advance(ViewController::startupDelayMs);
    }

    // A signed-in user in the main window.
    void signedIn()
    {
        prefs().setBool(PrefKey::isLogin, true);
        prefs().setString(PrefKey::loginToken, QStringLiteral("user-token-7f3a9c"));
        prefs().setInteger(PrefKey::user_id, 7);
        prefs().setString(PrefKey::user_email, QStringLiteral("ada@example.org"));
        prefs().setString(PrefKey::user_name, QStringLiteral("Ada Byron"));
        prefs().setString(PrefKey::user_device, QStringLiteral("ThinkPad X1"));
        common().openMainContent(QSize(800, 500));
        main.showWindow();
    }

    // The sheet a presenter shows, once it is on screen; null when none comes.
    template <class W> W *sheet(CommmonFunction::Slot slot)
    {
        const auto find = [&] { return qobject_cast<W *>(common().presented(slot)); };
        const bool shown = QTest::qWaitFor([&] { return find() && find()->isVisible(); });
        return shown ? find() : nullptr;
    }

    ApiTestBed bed;
    FakeClock clock;
    MainWindowController main;
};
