#include "DNSConfiguration.h"

#include "BuildConfig.h"
#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "FilterProbe.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QRegularExpression>

namespace {
std::unique_ptr<DNSConfiguration> &sharedSlot()
{
    static std::unique_ptr<DNSConfiguration> instance;
    return instance;
}

std::unique_ptr<ResolverBackend> &pendingBackend()
{
    static std::unique_ptr<ResolverBackend> backend;
    return backend;
}
} // namespace

DNSConfiguration::DNSConfiguration(std::unique_ptr<ResolverBackend> backend, QString address)
    : dnsIP(std::move(address))
    , m_backend(std::move(backend))
{
    bool ok = false;
    const uint port = qEnvironmentVariable("NIMBREL_FILTER_PORT").toUInt(&ok);
    if (ok && port > 0 && port < 65536)
        filterPort = quint16(port);
    discoverServices();
}

void DNSConfiguration::discoverServices()
{
    const QString listing = m_backend->listServices();
    // Logged when it changes, not at every watchdog tick.
    const bool changed = listing != availableServicesString;
    availableServicesString = listing;
    availableServices.clear();
    static const QRegularExpression newline(QStringLiteral("[\\n\\v\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    const QStringList lines = availableServicesString.split(newline, Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (changed)
            Log::line(line);
        // Exact match: the tool's heading line and disabled services ("*Wi-Fi") are not taken.
        if (line == QLatin1String("Ethernet"))
            availableServices.append(networkservices::Ethernet);
        else if (line == QLatin1String("Wi-Fi"))
            availableServices.append(networkservices::WiFi);
        else if (line == QLatin1String("Thunderbolt Bridge"))
            availableServices.append(networkservices::Thunderbolt);
        else if (changed)
            Log::line(QStringLiteral("This network does not have any services"));
    }
    // A service that went away leaves nothing behind to be judged on.
    for (networkservices service : {networkservices::Ethernet, networkservices::WiFi, networkservices::Thunderbolt}) {
        if (!availableServices.contains(service)) {
            statusString(service).clear();
            m_servers.remove(service);
        }
    }
}

DNSConfiguration &DNSConfiguration::shared()
{
    auto &slot = sharedSlot();
    if (!slot) {
        std::unique_ptr<ResolverBackend> backend = std::move(pendingBackend());
        slot = std::make_unique<DNSConfiguration>(backend ? std::move(backend) : makeResolverBackend());
    }
    return *slot;
}

void DNSConfiguration::resetShared(std::unique_ptr<ResolverBackend> backend)
{
    sharedSlot().reset();
    pendingBackend() = std::move(backend);
}

QString DNSConfiguration::defaultAddress()
{
    return QString::fromLatin1(BuildConfig::dnsIP);
}

QString &DNSConfiguration::statusString(networkservices service)
{
    return const_cast<QString &>(std::as_const(*this).statusString(service));
}

const QString &DNSConfiguration::statusString(networkservices service) const
{
    switch (service) {
    case networkservices::Ethernet:
        return ethernetStatusString;
    case networkservices::WiFi:
        return wifiStatusString;
    case networkservices::Thunderbolt:
        break;
    }
    return thunderboltStatusString;
}

void DNSConfiguration::refreshDnsStatus()
{
    for (networkservices service : std::as_const(availableServices)) {
        ResolverServers servers = m_backend->readServers(service);
        statusString(service) = servers.output;
        m_servers.insert(service, servers.addresses);
    }
}

// Judged on the services this computer has, so a machine without Ethernet can be protected
// and a service still using the filter cannot pass for cleared. Addresses are compared as
// addresses: 127.0.0.10 is not the filter at 127.0.0.1.
bool DNSConfiguration::listsAddressEverywhere() const
{
    if (availableServices.isEmpty())
        return false;
    const QHostAddress filter(dnsIP);
    return std::all_of(availableServices.begin(), availableServices.end(),
                       [&](networkservices s) { return m_servers.value(s).contains(filter); });
}

bool DNSConfiguration::listsAddressAnywhere() const
{
    const QHostAddress filter(dnsIP);
    return std::any_of(availableServices.begin(), availableServices.end(),
                       [&](networkservices s) { return m_servers.value(s).contains(filter); });
}

bool DNSConfiguration::isDnsConfigured()
{
    discoverServices();
    refreshDnsStatus();
    const bool configured = listsAddressEverywhere();
    emit dnsChecked(configured);
    return configured;
}

QStringList DNSConfiguration::currentDnsDescription()
{
    refreshDnsStatus();
    QStringList description{ethernetStatusString + QStringLiteral(" (Ethernet)"),
                            wifiStatusString + QStringLiteral(" (Wi-Fi)")};
    if (availableServices.contains(networkservices::Thunderbolt))
        description.append(thunderboltStatusString + QStringLiteral(" (Thunderbolt)"));
    return description;
}

bool DNSConfiguration::applyFilteringDns()
{
    discoverServices();
    if (listsAddressEverywhere()) {
        Log::line(QStringLiteral("already cinfigured"));
    } else {
        for (networkservices service : std::as_const(availableServices))
            Log::line(m_backend->setServers(service, dnsIP));
    }
    return isDnsConfigured();
}

bool DNSConfiguration::clearFilteringDns()
{
    discoverServices();
    for (networkservices service : std::as_const(availableServices)) {
        const QString output = m_backend->clearServers(service, dnsIP);
        if (service == networkservices::Ethernet)
            Log::line(output);
    }
    refreshDnsStatus();
    return !listsAddressAnywhere();
}

void DNSConfiguration::showFailureAlert(const QString &logLine)
{
    // Admin rights are not the reason on a system where nothing can change the settings.
    const QString message = m_backend->canChangeSettings()
        ? QStringLiteral("Requires admin privileges")
        : QStringLiteral("The network settings cannot be changed: neither NetworkManager nor systemd-resolved is available.");
    CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), messageText(message));
    Log::line(logLine);
}

void DNSConfiguration::applyOnStartup()
{
    if (applyFilteringDns())
        CommonWS::shared().syncURL({});
    else
        showFailureAlert(QStringLiteral("found error in starting protaction"));
}

void DNSConfiguration::applyFromWatchdog(const std::function<void()> &onSuccess)
{
    if (applyFilteringDns())
        onSuccess();
    else
        showFailureAlert(QStringLiteral("found error in starting protaction"));
}

void DNSConfiguration::applyFromSwitch(std::function<void()> setScreenOn, std::function<void()> finished)
{
    // Pointing the system at a filter that does not answer would leave it without names.
    FilterProbe::askFilter(QHostAddress(dnsIP), filterPort, this,
                           [this, setScreenOn = std::move(setScreenOn), finished = std::move(finished)](bool answers) {
        applySwitchAfterProbe(answers, setScreenOn);
        if (finished)
            finished();
    });
}

void DNSConfiguration::applySwitchAfterProbe(bool answers, const std::function<void()> &setScreenOn)
{
    if (!answers) {
        Log::line(QStringLiteral("The filtering DNS at %1 port %2 did not answer; protection not turned on").arg(dnsIP).arg(filterPort));
        CommmonFunction::showCommonAlert(
            messageText(QStringLiteral("Ooops")),
            messageText(QStringLiteral("The filtering service cannot be reached, so protection was not turned on.")));
        return;
    }
    if (!applyFilteringDns()) {
        showFailureAlert(QStringLiteral("found error in starting protaction"));
        return;
    }
    if (setScreenOn)
        setScreenOn();
    PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
    CommonWS::shared().syncURL({});
}

void DNSConfiguration::clearFromSwitch(const std::function<void()> &setScreenOff)
{
    if (!clearFilteringDns()) {
        showFailureAlert(QStringLiteral("found error in close protaction"));
        return;
    }
    setScreenOff();
    PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, false);
}

void DNSConfiguration::clearForUninstall(const std::function<void()> &setScreenOff, const std::function<void()> &afterClear)
{
    if (!clearFilteringDns()) {
        showFailureAlert(QStringLiteral("found error in close protaction"));
        return;
    }
    setScreenOff();
    // Protection is off for good: the watchdog must not put it back while the files go.
    PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, false);
    afterClear();
}

void DNSConfiguration::clearForVerifiedSignOut(std::function<void()> afterLogout)
{
    if (clearFilteringDns())
        CommonWS::shared().signOut(std::move(afterLogout));
}

void DNSConfiguration::clearForVerifiedTurnOff(const std::function<void(bool)> &completion)
{
    if (clearFilteringDns())
        completion(true);
    else
        showFailureAlert(QStringLiteral("found error in close protaction"));
}
