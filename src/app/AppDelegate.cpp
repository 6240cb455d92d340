#include "AppDelegate.h"

#include "api/CommonWS.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "platform/LaunchAgent.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Workspace.h"
#include "protection/ApplicationBlocker.h"
#include "protection/DNSConfiguration.h"
#include "texts/LocalizedText.h"
#include "ui/MainWindowController.h"
#include "ui/SingleInstance.h"
#include "ui/StartupPresenter.h"

#include <QCoreApplication>
#include <QIcon>
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
    , m_launchAgent(std::move(launchAgent))
    , m_presenter(presenter)
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    alignLanguage();
    installStatusItem();
    // Google sessions come back with social sign-in; until then there is none to restore.
    Log::line(QStringLiteral("Google sign-in: no previous session to restore"));
    if (singleInstance)
        connect(singleInstance, &SingleInstance::urlReceived, this, &AppDelegate::handleGetURLEvent);
    if (blocker && blocker->shared())
        connect(blocker->shared(), &Workspace::applicationActivated, this, &AppDelegate::printMe);

    if (PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus))
        DNSConfiguration::shared().applyOnStartup();

    watchdogTimer = Clock::shared().schedule(watchdogIntervalMs, true, this, [this] { keepDNSON(); });
    installLaunchAgentAndTakeOver();
}

void AppDelegate::alignLanguage()
{
    const QString system = systemLanguage ? systemLanguage() : QString();
    PreferencesStore &prefs = PreferencesStore::shared();
    const std::optional<QString> stored = prefs.stringForKey(PrefKey::CurrentLanguage);
    if (!system.isEmpty() && stored && *stored != system)
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
    statusItem->show();
}

void AppDelegate::installLaunchAgentAndTakeOver()
{
    if (m_launchAgent) {
        m_launchAgent->install();
        Log::line(QStringLiteral("Load Plist - ") + m_launchAgent->load());
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
    DNSConfiguration &dns = DNSConfiguration::shared();
    const QString rule(71, QLatin1Char('='));
    if (!dns.isDnsConfigured()) {
        Log::line(rule);
        Log::line(QStringLiteral("Current DNS IP - ") + describe(dns.currentDnsDescription()));
        dns.applyFromWatchdog([this] { watchdogDidApply(); });
        return;
    }
    Log::line(rule);
    Log::line(QStringLiteral("NO CHANGE, Current DNS IP - ") + describe(dns.currentDnsDescription()));
}

void AppDelegate::watchdogDidApply()
{
    CommonWS::shared().syncURL({});
    Log::line(QStringLiteral("SET THE DNS IP - ") + describe(DNSConfiguration::shared().currentDnsDescription()));
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
        else if (mainWindow)
            m_presenter->showLogIn();
    });
}

void AppDelegate::handleGetURLEvent(const QUrl &url)
{
    // Nothing opens links into the app yet; note what arrived.
    Log::line(QStringLiteral("Received URL: ") + url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery));
}

void AppDelegate::printMe(const QString &localizedName)
{
    if (!blocker || localizedName.isEmpty())
        return;
    // Once per occurrence: a name stored twice is asked to quit twice.
    const QStringList blocked = PreferencesStore::shared().stringArrayForKey(PrefKey::blockedAppDetails);
    for (const QString &name : blocked) {
        if (name == localizedName)
            blocker->block(name);
    }
}
