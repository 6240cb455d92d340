#pragma once

#include "records/Records.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

class ApplicationBlocker;
class BlockPagePresenter;
class CustomWindow;
class LaunchAgent;
class NetworkChangeWatcher;
class PinGate;
class QAction;
class QMenu;
class DNSConfiguration;
class FocusState;
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
    // The watchdog: checks the DNS off the window's thread and puts the filter back if it is gone.
    void keepDNSON();
    // After the watchdog put the filtering DNS back; description: the servers read then.
    void watchdogDidApply(const QStringList &description);
    // The system's own resolver asked after a tick found every connection on the filter:
    // through says whether its answer came from the filter. Look-ups that go around it some
    // other way (a hand-edited resolv.conf, a local resolver, dns=none) show in the tray, with
    // one desktop notification until they come through again.
    void lookupsAnswered(bool through);
    bool lookupsGoAround() const { return m_lookupsGoAround; }
    void showWindow();
    // The tray menu's Quit: through the PIN gate when PIN protection is on, since quitting
    // stops the watchdog.
    void quitFromMenu();
    void handleGetURLEvent(const QUrl &url);
    // An application became active: a blocked one is stopped, signed in or not.
    void printMe(const QString &appID, const QString &localizedName);
    // Every account status answer: what the account keeps protecting comes back here.
    void accountStatusAnswered(const BaseModel<SyncURLModel> &record);

    QPointer<CustomWindow> mainWindow;
    QSystemTrayIcon *statusItem = nullptr;
    bool dnsLastStatus = false;
    SingleInstance *singleInstance = nullptr;
    ApplicationBlocker *blocker = nullptr;
    // The system's language code ("en", "fr", ...); empty when the system gives none.
    std::function<QString()> systemLanguage;
    int watchdogTimer = 0;
    // A change of network runs the watchdog at once (set before launching).
    std::unique_ptr<NetworkChangeWatcher> networkWatcher;
    // The session's service unit, written and enabled next to the login entry.
    std::unique_ptr<LaunchAgent> loginUnit;
    // The gate Quit asks; without one Quit goes straight on.
    QPointer<PinGate> pinGate;
    // The account's focus lock: its time left shows in the tray menu and tooltip.
    QPointer<FocusState> focusState;
    // Ends the application on purpose, the login unit first (tests replace it).
    std::function<void()> quitApplication;
    QMenu *statusMenu() const { return m_menu.get(); }
    // What shows the blocker's work: made when an application is first blocked.
    BlockPagePresenter *blockPage() const { return m_blockPage.get(); }

private:
    void alignLanguage();
    void installStatusItem();
    void installLaunchAgentAndTakeOver();
    void refreshStatusMenu();
    void refreshToolTip();
    // The configurator, made on first use (a computer with protection off runs no resolver
    // command at start), with what its background work runs into shown to the user.
    DNSConfiguration &dns();

    std::unique_ptr<LaunchAgent> m_launchAgent;
    QPointer<DNSConfiguration> m_alertsFor;
    bool m_lookupsGoAround = false;
    // The name the account gave this device for encrypted DNS, as protection last heard it.
    QString m_dotHost;
    StartupPresenter *m_presenter;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<BlockPagePresenter> m_blockPage;
    QAction *m_openAction = nullptr;
    QAction *m_stateAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_stayOnAction = nullptr;
    QAction *m_focusAction = nullptr;
};
