#pragma once

#include "platform/AlertPresenter.h"

// Alerts as warning message boxes with an "OK" button in the app's orange.
class WindowAlertPresenter : public AlertPresenter
{
public:
    void showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk = {}) override;
    void showChoiceAlert(const QString &message, const QString &informative, const QStringList &buttons,
                         std::function<void(int)> onChoice) override;
};
