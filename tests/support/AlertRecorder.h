#pragma once

#include "AlertPresenter.h"

#include <QList>
#include <QPair>

// Records alerts instead of showing them; installed for as long as it lives.
class AlertRecorder : public AlertPresenter
{
public:
    AlertRecorder() { AlertPresenter::setShared(this); }
    ~AlertRecorder() override { AlertPresenter::setShared(nullptr); }

    void showCommonAlert(const QString &title, const QString &message, std::function<void()> onOk) override
    {
        alerts.append({title, message});
        actions.append(std::move(onOk));
    }

    QList<QPair<QString, QString>> alerts;
    QList<std::function<void()>> actions;
};
