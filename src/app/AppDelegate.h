#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>

class ApplicationBlocker;
class CustomWindow;
class LaunchAgent;
class QSystemTrayIcon;
class SingleInstance;
class StartupPresenter;

// Start-up and end of the application: language, tray icon, protection restore, the DNS
// watchdog, the login entry, and the hand-over between running copies.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    static constexpr int watchdogIntervalMs = 60 * 1000;

    AppDelegate(std::unique_ptr<LaunchAgent> launchAgent, StartupPresenter *presenter, QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void keepDNSON();
    // After the watchdog put the filtering DNS back.
    void watchdogDidApply();
    void showWindow();
    void handleGetURLEvent(const QUrl &url);
    // An application became active: a blocked one is stopped, signed in or not.
    void printMe(const QString &localizedName);

    QPointer<CustomWindow> mainWindow;
    QSystemTrayIcon *statusItem = nullptr;
    bool dnsLastStatus = false;
    SingleInstance *singleInstance = nullptr;
    ApplicationBlocker *blocker = nullptr;
    // The system's language code ("en", "fr", ...); empty when the system gives none.
    std::function<QString()> systemLanguage;
    int watchdogTimer = 0;

private:
    void alignLanguage();
    void installStatusItem();
    void installLaunchAgentAndTakeOver();

    std::unique_ptr<LaunchAgent> m_launchAgent;
    StartupPresenter *m_presenter;
};
