#include "DNSWorker.h"

#include <QRegularExpression>

namespace {
// Once stopped, every command is skipped and answers as if nothing were there: nothing is
// changed any more, and the outcome is never delivered.
class StoppableBackend : public ResolverBackend
{
public:
    StoppableBackend(std::unique_ptr<ResolverBackend> backend, const std::atomic<bool> &stopping)
        : m_backend(std::move(backend))
        , m_stopping(stopping)
    {
    }
    QString listServices() override { return m_stopping ? QString() : m_backend->listServices(); }
    QString setServers(networkservices service, const QString &address) override
    {
        return m_stopping ? QString() : m_backend->setServers(service, address);
    }
    QString clearServers(networkservices service, const QString &filteringAddress) override
    {
        return m_stopping ? QString() : m_backend->clearServers(service, filteringAddress);
    }
    ResolverServers readServers(networkservices service) override
    {
        return m_stopping ? ResolverServers{} : m_backend->readServers(service);
    }
    bool canChangeSettings() override { return m_backend->canChangeSettings(); }

private:
    std::unique_ptr<ResolverBackend> m_backend;
    const std::atomic<bool> &m_stopping;
};
} // namespace

DNSWorker::DNSWorker(std::unique_ptr<ResolverBackend> backend)
    : m_backend(std::make_unique<StoppableBackend>(std::move(backend), m_stopping))
{
}

void DNSWorker::discoverServices()
{
    const QString listing = m_backend->listServices();
    // Logged when it changes, not at every watchdog tick.
    const bool changed = listing != m_availableServicesString;
    m_availableServicesString = listing;
    m_availableServices.clear();
    static const QRegularExpression newline(QStringLiteral("[\\n\\v\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    const QStringList lines = m_availableServicesString.split(newline, Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (changed)
            m_log.append(line);
        // Exact match: the tool's heading line and disabled services ("*Wi-Fi") are not taken.
        if (line == QLatin1String("Ethernet"))
            m_availableServices.append(networkservices::Ethernet);
        else if (line == QLatin1String("Wi-Fi"))
            m_availableServices.append(networkservices::WiFi);
        else if (line == QLatin1String("Thunderbolt Bridge"))
            m_availableServices.append(networkservices::Thunderbolt);
        else if (changed)
            m_log.append(QStringLiteral("This network does not have any services"));
    }
    // A service that went away leaves nothing behind to be judged on.
    for (networkservices service : {networkservices::Ethernet, networkservices::WiFi, networkservices::Thunderbolt}) {
        if (!m_availableServices.contains(service)) {
            statusString(service).clear();
            m_servers.remove(service);
        }
    }
}

QString &DNSWorker::statusString(networkservices service)
{
    switch (service) {
    case networkservices::Ethernet:
        return m_ethernetStatus;
    case networkservices::WiFi:
        return m_wifiStatus;
    case networkservices::Thunderbolt:
        break;
    }
    return m_thunderboltStatus;
}

void DNSWorker::refreshDnsStatus()
{
    for (networkservices service : std::as_const(m_availableServices)) {
        ResolverServers servers = m_backend->readServers(service);
        statusString(service) = servers.output;
        m_servers.insert(service, servers);
    }
}

// Judged on the services this computer has, so a machine without Ethernet can be protected
// and a service still using the filter cannot pass for cleared; within a service, on each of
// its connections. Addresses are compared as addresses: 127.0.0.10 is not the filter at 127.0.0.1.
bool DNSWorker::listsAddressEverywhere(const QString &address) const
{
    if (m_availableServices.isEmpty())
        return false;
    const QHostAddress filter(address);
    return std::all_of(m_availableServices.begin(), m_availableServices.end(),
                       [&](networkservices s) { return usesEverywhere(m_servers.value(s), filter); });
}

bool DNSWorker::listsAddressAnywhere(const QString &address) const
{
    const QHostAddress filter(address);
    return std::any_of(m_availableServices.begin(), m_availableServices.end(),
                       [&](networkservices s) { return m_servers.value(s).addresses.contains(filter); });
}

bool DNSWorker::isDnsConfigured(const QString &address)
{
    discoverServices();
    refreshDnsStatus();
    const bool configured = listsAddressEverywhere(address);
    m_checks.append(configured);
    return configured;
}

QStringList DNSWorker::currentDnsDescription()
{
    refreshDnsStatus();
    QStringList description{m_ethernetStatus + QStringLiteral(" (Ethernet)"),
                            m_wifiStatus + QStringLiteral(" (Wi-Fi)")};
    if (m_availableServices.contains(networkservices::Thunderbolt))
        description.append(m_thunderboltStatus + QStringLiteral(" (Thunderbolt)"));
    return description;
}

bool DNSWorker::applyFilteringDns(const QString &address)
{
    discoverServices();
    if (listsAddressEverywhere(address)) {
        m_log.append(QStringLiteral("already cinfigured"));
    } else {
        for (networkservices service : std::as_const(m_availableServices))
            m_log.append(m_backend->setServers(service, address));
    }
    return isDnsConfigured(address);
}

bool DNSWorker::clearFilteringDns(const QString &address)
{
    discoverServices();
    for (networkservices service : std::as_const(m_availableServices)) {
        const QString output = m_backend->clearServers(service, address);
        if (service == networkservices::Ethernet)
            m_log.append(output);
    }
    refreshDnsStatus();
    return !listsAddressAnywhere(address);
}

WatchdogOutcome DNSWorker::watchdogTick(const QString &address)
{
    WatchdogOutcome outcome;
    outcome.configured = isDnsConfigured(address);
    outcome.before = currentDnsDescription();
    outcome.check = take();
    if (outcome.configured)
        return outcome;
    outcome.applied = applyFilteringDns(address);
    if (outcome.applied)
        outcome.after = currentDnsDescription();
    outcome.apply = take();
    return outcome;
}

DNSReport DNSWorker::take()
{
    DNSReport report;
    report.log = std::exchange(m_log, {});
    report.checks = std::exchange(m_checks, {});
    report.availableServicesString = m_availableServicesString;
    report.availableServices = m_availableServices;
    report.ethernetStatusString = m_ethernetStatus;
    report.wifiStatusString = m_wifiStatus;
    report.thunderboltStatusString = m_thunderboltStatus;
    report.canChangeSettings = m_backend->canChangeSettings();
    return report;
}
