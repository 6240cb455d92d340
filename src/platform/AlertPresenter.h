#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The one modal alert of the application: a title, a message, an "OK" button and an
// optional action run when OK is pressed. The window presenter is installed at start-up;
// tests install a recorder so no modal window ever blocks them.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;
    virtual void showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk = {}) = 0;
    // A question with its own buttons; onChoice gets the index of the button pressed.
    virtual void showChoiceAlert(const QString &message, const QString &informative, const QStringList &buttons,
                                 std::function<void(int)> onChoice) = 0;
    // Takes away a common alert still up with this title and message (its cause has gone);
    // nothing when none is.
    virtual void dismissCommonAlert(const QString &title, const QString &message) = 0;

    // Without an installed presenter alerts are written to the log.
    static AlertPresenter &shared();
    static void setShared(AlertPresenter *presenter);
};
