#include "PendingStartupPresenter.h"

#include "Log.h"
#include "MainWindowController.h"

PendingStartupPresenter::PendingStartupPresenter(CustomWindow *window)
    : m_window(window)
{
}

void PendingStartupPresenter::present(const QString &what)
{
    Log::line(QStringLiteral("First window: ") + what);
    if (m_window) {
        m_window->show();
        m_window->raise();
    }
}

void PendingStartupPresenter::showVerifyPinOnStart()
{
    present(QStringLiteral("PIN verification"));
}

void PendingStartupPresenter::showLogIn()
{
    present(QStringLiteral("sign-in"));
}

void PendingStartupPresenter::openMainContent()
{
    present(QStringLiteral("main content"));
}
