#include "AppDelegate.h"

#include "api/CommonWS.h"
#include "api/FocusState.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "pin/PinGate.h"
#include "platform/LaunchAgent.h"
#include "platform/NetworkChangeWatcher.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Workspace.h"
#include "protection/ApplicationBlocker.h"
#include "protection/BlockPagePresenter.h"
#include "protection/DNSConfiguration.h"
#include "protection/FilterProbe.h"
#include "protection/ProtectionAlerts.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/SingleInstance.h"
#include "ui/StartupPresenter.h"

#include <QCoreApplication>
#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
QString describe(const QStringList &description)
{
    return QLatin1Char('[') + description.join(QStringLiteral(", ")) + QLatin1Char(']');
}
} // namespace

AppDelegate::AppDelegate(std::unique_ptr<LaunchAgent> launchAgent, StartupPresenter *presenter, QObject *parent)
    : QObject(parent)
    , dnsLastStatus(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus))
    , systemLanguage(systemLanguageCode)
    , quitApplication([] {
        stopLoginUnit();
        QCoreApplication::quit();
    })
    , m_launchAgent(std::move(launchAgent))
    , m_presenter(presenter)
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    alignLanguage();
    installStatusItem();
    // Google tokens are never stored (no refresh token in the plain preferences file), so
    // there is never a previous Google session to restore.
    Log::line(QStringLiteral("No user"));
    if (singleInstance)
        connect(singleInstance, &SingleInstance::urlReceived, this, &AppDelegate::handleGetURLEvent);
    if (blocker) {
        blocker->migrateStoredNames();
        if (blocker->shared())
            connect(blocker->shared(), &Workspace::applicationActivated, this, &AppDelegate::printMe);
    }
    m_dotHost = PreferencesStore::shared().stringForKey(PrefKey::dotHost).value_or(QString());
    QPointer<AppDelegate> self(this);
    CommonWS::shared().setSyncObserver([self](const BaseModel<SyncURLModel> &record) {
        if (self)
            self->accountStatusAnswered(record);
    });

    if (PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus))
        dns().applyOnStartup();

    watchdogTimer = Clock::shared().schedule(watchdogIntervalMs, true, this, [this] { keepDNSON(); });
    // A newly joined network is protected within moments, not at the next minute.
    if (networkWatcher)
        connect(networkWatcher.get(), &NetworkChangeWatcher::networkChanged, this, &AppDelegate::keepDNSON);
    installLaunchAgentAndTakeOver();
}

void AppDelegate::alignLanguage()
{
    const QString system = systemLanguage ? systemLanguage() : QString();
    PreferencesStore &prefs = PreferencesStore::shared();
    const std::optional<QString> stored = prefs.stringForKey(PrefKey::CurrentLanguage);
    // The language chosen in Settings stays; the system's only fills a missing or unusable one.
    const bool usable = stored && (*stored == QLatin1String("en") || *stored == QLatin1String("fr"));
    if (!system.isEmpty() && !usable && stored != system)
        prefs.setString(PrefKey::CurrentLanguage, system);
}

void AppDelegate::installStatusItem()
{
    statusItem = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/moon-stars.svg")), this);
    statusItem->setObjectName(QStringLiteral("statusItem"));
    statusItem->setToolTip(QStringLiteral("icon"));
    connect(statusItem, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            showWindow();
    });

    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("statusMenu"));
    m_openAction = m_menu->addAction(QString(), this, &AppDelegate::showWindow);
    m_openAction->setObjectName(QStringLiteral("actionOpen"));
    m_stateAction = m_menu->addAction(QString());
    m_stateAction->setObjectName(QStringLiteral("actionState"));
    m_stateAction->setEnabled(false);
    m_focusAction = m_menu->addAction(QString());
    m_focusAction->setObjectName(QStringLiteral("actionFocus"));
    m_focusAction->setEnabled(false);
    m_menu->addSeparator();
    m_quitAction = m_menu->addAction(QString(), this, &AppDelegate::quitFromMenu);
    m_quitAction->setObjectName(QStringLiteral("actionQuit"));
    m_stayOnAction = m_menu->addAction(QString());
    m_stayOnAction->setObjectName(QStringLiteral("actionStaysOn"));
    m_stayOnAction->setEnabled(false);
    connect(m_menu.get(), &QMenu::aboutToShow, this, &AppDelegate::refreshStatusMenu);
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &) { refreshStatusMenu(); });
    if (focusState) {
        connect(focusState, &FocusState::changed, this, &AppDelegate::refreshStatusMenu);
        connect(focusState, &FocusState::ticked, this, &AppDelegate::refreshStatusMenu);
    }
    refreshStatusMenu();
    statusItem->setContextMenu(m_menu.get());
    statusItem->show();
}

void AppDelegate::refreshStatusMenu()
{
    const bool on = PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus);
    m_openAction->setText(localizedText(QStringLiteral("Open Nimbrel")));
    m_stateAction->setText(localizedText(!on                 ? QStringLiteral("Protection is off")
                                             : m_lookupsGoAround ? QStringLiteral("Look-ups go around the filter")
                                                                 : QStringLiteral("Protection is on")));
    m_quitAction->setText(localizedText(QStringLiteral("Quit Nimbrel")));
    // The system keeps pointing at the filter; only the watchdog stops.
    m_stayOnAction->setText(localizedText(QStringLiteral("Protection stays on after quitting")));
    m_stayOnAction->setVisible(on);
    const qint64 held = focusState ? focusState->lockSecondsLeft() : 0;
    m_focusAction->setVisible(held > 0);
    if (held > 0)
        m_focusAction->setText(localizedText(QStringLiteral("Blocks held for %1")).arg(FocusState::countdown(held)));
    refreshToolTip();
}

void AppDelegate::refreshToolTip()
{
    if (!statusItem)
        return;
    const qint64 held = focusState ? focusState->lockSecondsLeft() : 0;
    if (held > 0)
        statusItem->setToolTip(localizedText(QStringLiteral("Blocks held for %1")).arg(FocusState::countdown(held)));
    else if (m_lookupsGoAround)
        statusItem->setToolTip(localizedText(QStringLiteral("Look-ups go around the filter")));
    else
        statusItem->setToolTip(QStringLiteral("icon"));
}

void AppDelegate::quitFromMenu()
{
    auto quit = [this](PinGate::Finish finish) {
        finish(true);
        Log::line(QStringLiteral("Quit from the tray menu"));
        quitApplication();
    };
    if (pinGate) {
        // The gate's PIN dialog is a sheet on the main window: a window left in the tray shows
        // first, or Quit would seem to do nothing.
        if (mainWindow && PreferencesStore::shared().boolForKey(PrefKey::isPinEnable)) {
            mainWindow->show();
            mainWindow->raise();
            mainWindow->activateWindow();
        }
        pinGate->ask(PinAction::Quit, quit);
    } else {
        quit([](bool) {});
    }
}

void AppDelegate::installLaunchAgentAndTakeOver()
{
    if (m_launchAgent) {
        m_launchAgent->install();
        Log::line(QStringLiteral("Load Plist - ") + m_launchAgent->load());
    }
    if (loginUnit) {
        loginUnit->install();
        Log::line(QStringLiteral("Login unit - ") + loginUnit->load());
    }
    if (singleInstance) {
        connect(singleInstance, &SingleInstance::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        singleInstance->takeOver();
    }
}

void AppDelegate::applicationWillTerminate()
{
    Log::line(QStringLiteral("applicationWillTerminate"));
    if (m_launchAgent)
        Log::line(QStringLiteral("Load Plist - ") + m_launchAgent->load());
}

void AppDelegate::keepDNSON()
{
    if (!PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus))
        return;
    QPointer<AppDelegate> self(this);
    dns().checkFromWatchdog(
        [self](bool configured, const QStringList &description) {
            Log::line(QString(71, QLatin1Char('=')));
            Log::line((configured ? QStringLiteral("NO CHANGE, Current DNS IP - ") : QStringLiteral("Current DNS IP - "))
                      + describe(description));
            // Every connection set: whether look-ups really reach the filter is the system's own say.
            if (configured && self)
                FilterProbe::askSystemResolver(self, [self](bool through) {
                    if (self)
                        self->lookupsAnswered(through);
                });
        },
        [self](const QStringList &description) {
            if (self)
                self->watchdogDidApply(description);
        });
}

void AppDelegate::lookupsAnswered(bool through)
{
    if (through != m_lookupsGoAround)
        return;
    m_lookupsGoAround = !through;
    refreshStatusMenu();
    if (!statusItem)
        return;
    if (through) {
        Log::line(QStringLiteral("Look-ups reach the filter again"));
        statusItem->setIcon(QIcon(QStringLiteral(":/icons/moon-stars.svg")));
        refreshToolTip();
        return;
    }
    Log::line(QStringLiteral("Look-ups go around the filter although every connection is set to it"));
    const QString message = localizedText(QStringLiteral(
        "Every connection is set to the filter, but look-ups go elsewhere: something on this computer routes them "
        "around it (an edited /etc/resolv.conf, a local resolver, or NetworkManager not managing DNS)."));
    statusItem->setIcon(QIcon(QStringLiteral(":/icons/protectionOff.svg")));
    refreshToolTip();
    statusItem->showMessage(QStringLiteral("Nimbrel"), message, QSystemTrayIcon::Warning);
}

DNSConfiguration &AppDelegate::dns()
{
    DNSConfiguration &shared = DNSConfiguration::shared();
    // What background work runs into is shown, and taken away once fixed.
    if (m_alertsFor != &shared) {
        m_alertsFor = &shared;
        new ProtectionAlerts(shared, &shared);
    }
    return shared;
}

void AppDelegate::watchdogDidApply(const QStringList &description)
{
    CommonWS::shared().syncURL({});
    Log::line(QStringLiteral("SET THE DNS IP - ") + describe(description));
}

void AppDelegate::showWindow()
{
    if (mainWindow) {
        mainWindow->show();
        mainWindow->raise();
        mainWindow->activateWindow();
    }
    QTimer::singleShot(0, this, [this] {
        PreferencesStore &prefs = PreferencesStore::shared();
        NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"),
                                                 prefs.boolForKey(PrefKey::isPinSeted));
        if (m_presenter->verifyingPinOnStart() ||
            (prefs.boolForKey(PrefKey::isPinSeted) && !prefs.boolForKey(PrefKey::isLoggedOut)))
            m_presenter->showVerifyPinOnStart();
        else if (prefs.boolForKey(PrefKey::isLogin))
            m_presenter->openMainContent(QSize());
        else if (mainWindow && !m_presenter->signInShown())
            m_presenter->showLogIn();
    });
}

void AppDelegate::handleGetURLEvent(const QUrl &url)
{
    // Nothing opens links into the app; note what arrived. Query and fragment may carry a
    // token (fb<app id>://authorize#access_token=...), so they never reach the log.
    Log::line(QStringLiteral("Received URL: ") +
              url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment));
}

void AppDelegate::printMe(const QString &appID, const QString &localizedName)
{
    if (!blocker || appID.isEmpty())
        return;
    // Once per occurrence: an id stored twice is asked to quit twice.
    const QStringList blocked = blocker->blockedIDs();
    for (const QString &id : blocked) {
        if (id != appID)
            continue;
        if (!m_blockPage)
            m_blockPage = std::make_unique<BlockPagePresenter>(CommmonFunction::shared().blockPageRequest());
        m_blockPage->present(blocker->block(id, localizedName));
    }
}

void AppDelegate::accountStatusAnswered(const BaseModel<SyncURLModel> &record)
{
    // A new name for this device (or none, after a sign-out) is used now, not at the watchdog's
    // next minute: a name the filter no longer knows gets no answers.
    const QString dotHost = PreferencesStore::shared().stringForKey(PrefKey::dotHost).value_or(QString());
    if (dotHost != m_dotHost) {
        m_dotHost = dotHost;
        keepDNSON();
    }
    if (!record.data)
        return;
    const bool signedIn = record.status && CommonWS::signedIn();
    // The account keeps this device protected: whatever the preferences say, protection
    // comes back, watchdog included.
    if (record.data->deviceProtected.value_or(false)
        && !PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus)) {
        Log::line(QStringLiteral("The account keeps this device protected: turning protection on"));
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
        dns().applyOnStartup();
        refreshStatusMenu();
    }
    if (blocker)
        blocker->takeAccountList(record.data->blockedApps, signedIn);
}
