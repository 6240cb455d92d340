#include "AlertPresenter.h"

#include "core/Log.h"

namespace {
class LogAlertPresenter : public AlertPresenter
{
public:
    void showCommonAlert(const QString &title, const QString &message, std::function<void()>) override
    {
        Log::line(QStringLiteral("Alert: ") + title + QStringLiteral(" - ") + message);
    }
    void showChoiceAlert(const QString &message, const QString &informative, const QStringList &,
                         std::function<void(int)>) override
    {
        Log::line(QStringLiteral("Alert: ") + message + QStringLiteral(" - ") + informative);
    }
    void dismissCommonAlert(const QString &, const QString &) override {}
};

AlertPresenter *installed = nullptr;
} // namespace

AlertPresenter &AlertPresenter::shared()
{
    static LogAlertPresenter fallback;
    return installed ? *installed : fallback;
}

void AlertPresenter::setShared(AlertPresenter *presenter)
{
    installed = presenter;
}
