#include "DNSConfiguration.h"

#include "BuildConfig.h"
#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
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
    availableServicesString = m_backend->listServices();
    static const QRegularExpression newline(QStringLiteral("[\\n\\v\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    const QStringList lines = availableServicesString.split(newline, Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        Log::line(line);
        // Exact match: the tool's heading line and disabled services ("*Wi-Fi") are not taken.
        if (line == QLatin1String("Ethernet"))
            availableServices.append(networkservices::Ethernet);
        else if (line == QLatin1String("Wi-Fi"))
            availableServices.append(networkservices::WiFi);
        else if (line == QLatin1String("Thunderbolt Bridge"))
            availableServices.append(networkservices::Thunderbolt);
        else
            Log::line(QStringLiteral("This network does not have any services"));
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
    for (networkservices service : std::as_const(availableServices))
        statusString(service) = m_backend->readServers(service);
}

// Judged on the services this computer has, so a machine without Ethernet can be protected
// and a service still using the filter cannot pass for cleared.
bool DNSConfiguration::listsAddressEverywhere() const
{
    if (availableServices.isEmpty())
        return false;
    return std::all_of(availableServices.begin(), availableServices.end(),
                       [this](networkservices s) { return statusString(s).contains(dnsIP); });
}

bool DNSConfiguration::listsAddressAnywhere() const
{
    return std::any_of(availableServices.begin(), availableServices.end(),
                       [this](networkservices s) { return statusString(s).contains(dnsIP); });
}

bool DNSConfiguration::isDnsConfigured()
{
    refreshDnsStatus();
    return listsAddressEverywhere();
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
    CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), messageText(QStringLiteral("Requires admin privileges")));
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

void DNSConfiguration::applyFromSwitch(const std::function<void()> &setScreenOn)
{
    if (!applyFilteringDns()) {
        showFailureAlert(QStringLiteral("found error in starting protaction"));
        return;
    }
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

void DNSConfiguration::clearForUninstall(const std::function<void()> &setScreenOff, std::function<void()> afterLogout)
{
    if (!clearFilteringDns()) {
        showFailureAlert(QStringLiteral("found error in close protaction"));
        return;
    }
    setScreenOff();
    CommonWS::shared().signOut(std::move(afterLogout));
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
