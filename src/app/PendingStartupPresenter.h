#pragma once

#include "StartupPresenter.h"

class CustomWindow;

// Shows the main window for whichever first window was chosen, logging the choice, until
// the sign-in, PIN and main-content screens take over these entry points.
class PendingStartupPresenter : public StartupPresenter
{
public:
    explicit PendingStartupPresenter(CustomWindow *window);
    void showVerifyPinOnStart() override;
    void showLogIn() override;
    void openMainContent() override;

private:
    void present(const QString &what);
    CustomWindow *m_window;
};
