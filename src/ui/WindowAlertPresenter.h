#pragma once

#include "platform/AlertPresenter.h"

#include <QHash>
#include <QPointer>

class QMessageBox;

// Alerts as message boxes with an "OK" button in the app's orange: an error icon on failures
// ("Ooops"), an information icon on the rest, a warning icon on questions. An alert whose
// title and message are already on screen is not shown twice: a failure that repeats every
// minute leaves one alert, not a stack of them.
class WindowAlertPresenter : public AlertPresenter
{
public:
    void showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk = {}) override;
    void showChoiceAlert(const QString &message, const QString &informative, const QStringList &buttons,
                         std::function<void(int)> onChoice) override;
    void dismissCommonAlert(const QString &title, const QString &message) override;

private:
    QHash<QString, QPointer<QMessageBox>> m_open;
};
