#pragma once

#include "platform/AlertPresenter.h"

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
        // An alert shown again while up is the same window.
        if (!m_up.contains(alerts.last()))
            m_up.append(alerts.last());
    }

    void showChoiceAlert(const QString &message, const QString &informative, const QStringList &buttons,
                         std::function<void(int)> onChoice) override
    {
        choices.append(QStringList{message, informative} + buttons);
        choiceActions.append(std::move(onChoice));
    }

    void dismissCommonAlert(const QString &title, const QString &message) override
    {
        dismissed.append({title, message});
        m_up.removeAll(dismissed.last());
    }
    // The alerts still up: shown and not taken away since.
    QList<QPair<QString, QString>> showing() const { return m_up; }

    QString lastTitle() const { return alerts.isEmpty() ? QString() : alerts.last().first; }
    QString lastMessage() const { return alerts.isEmpty() ? QString() : alerts.last().second; }

    QList<QPair<QString, QString>> alerts;
    QList<QPair<QString, QString>> dismissed;
    QList<QStringList> choices; // message, informative text, then the buttons
    QList<std::function<void(int)>> choiceActions;
    QList<std::function<void()>> actions;

private:
    QList<QPair<QString, QString>> m_up;
};
