#include "DNSWorker.h"

#include <QRegularExpression>
#include <QDeadlineTimer>
#include <QThread>

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
    bool setEncryption(const QString &filterAddress, const QString &serverName) override
    {
        return m_backend->setEncryption(filterAddress, serverName);
    }
    bool encrypted() const override { return m_backend->encrypted(); }
    std::optional<QString> refusal(const QString &output) const override { return m_backend->refusal(output); }

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
        else if (line == QLatin1String("Other Connections"))
            m_availableServices.append(networkservices::Other);
        else if (changed)
            m_log.append(QStringLiteral("This network does not have any services"));
    }
    // A service that went away leaves nothing behind to be judged on.
    for (networkservices service :
         {networkservices::Ethernet, networkservices::WiFi, networkservices::Thunderbolt, networkservices::Other}) {
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
        return m_thunderboltStatus;
    case networkservices::Other:
        break;
    }
    return m_otherStatus;
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
bool DNSWorker::listsOnlyAddressEverywhere(const QString &address) const
{
    if (m_availableServices.isEmpty())
        return false;
    const QHostAddress filter(address);
    return std::all_of(m_availableServices.begin(), m_availableServices.end(),
                       [&](networkservices s) { return usesOnly(m_servers.value(s), filter); });
}

bool DNSWorker::listsAddressAnywhere(const QString &address) const
{
    const QHostAddress filter(address);
    return std::any_of(m_availableServices.begin(), m_availableServices.end(), [&](networkservices s) {
        const ResolverServers &servers = m_servers.value(s);
        return servers.addresses.contains(filter)
            || std::any_of(servers.perConnection.begin(), servers.perConnection.end(),
                           [&](const QList<QHostAddress> &own) { return own.contains(filter); });
    });
}

DnsCheck DNSWorker::freshCheck(const QString &address)
{
    discoverServices();
    refreshDnsStatus();
    return m_availableServices.isEmpty()     ? DnsCheck::offline
        : listsOnlyAddressEverywhere(address) ? DnsCheck::configured
                                              : DnsCheck::notConfigured;
}

DnsCheck DNSWorker::isDnsConfigured(const QString &address)
{
    const DnsCheck state = freshCheck(address);
    m_checks.append(state);
    return state;
}

bool DNSWorker::settles(const std::function<bool()> &done)
{
    // NetworkManager updates a connection's live servers a moment after its reapply returns.
    constexpr int stepMs = 100;
    const QDeadlineTimer deadline(2000);
    while (!done()) {
        if (deadline.hasExpired() || m_stopping)
            return false;
        QThread::msleep(stepMs);
    }
    return true;
}

QStringList DNSWorker::currentDnsDescription()
{
    refreshDnsStatus();
    QStringList description{m_ethernetStatus + QStringLiteral(" (Ethernet)"),
                            m_wifiStatus + QStringLiteral(" (Wi-Fi)")};
    if (m_availableServices.contains(networkservices::Thunderbolt))
        description.append(m_thunderboltStatus + QStringLiteral(" (Thunderbolt)"));
    if (m_availableServices.contains(networkservices::Other))
        description.append(m_otherStatus + QStringLiteral(" (Other)"));
    return description;
}

DnsOutcome DNSWorker::failure(const QString &output) const
{
    if (!m_backend->canChangeSettings())
        return {DnsOutcome::noBackend};
    if (const std::optional<QString> refused = m_backend->refusal(output))
        return {DnsOutcome::refused, *refused};
    return {DnsOutcome::failed, output.trimmed()};
}

DnsOutcome DNSWorker::applyFilteringDns(const QString &address)
{
    discoverServices();
    if (!m_backend->canChangeSettings())
        return {DnsOutcome::noBackend};
    refreshDnsStatus();
    if (listsOnlyAddressEverywhere(address)) {
        m_log.append(QStringLiteral("already cinfigured"));
        m_checks.append(DnsCheck::configured);
        return {DnsOutcome::already};
    }
    QString output;
    const QList<networkservices> changed = m_availableServices;
    const auto set = [&] {
        for (networkservices service : changed) {
            const QString said = m_backend->setServers(service, address);
            m_log.append(said);
            output += said;
        }
    };
    set();
    // Judged on the services changed: one that comes up meanwhile has its own signal, and the
    // watchdog's tick that follows this work protects it.
    DnsCheck state = DnsCheck::notConfigured;
    const auto took = [&] {
        discoverServices();
        refreshDnsStatus();
        QList<networkservices> still;
        for (networkservices service : changed) {
            if (m_availableServices.contains(service))
                still.append(service);
        }
        const QHostAddress filter(address);
        state = still.isEmpty() ? DnsCheck::offline
            : std::all_of(still.begin(), still.end(), [&](networkservices s) { return usesOnly(m_servers.value(s), filter); })
            ? DnsCheck::configured
            : DnsCheck::notConfigured;
        return state != DnsCheck::notConfigured;
    };
    // A refusal changed nothing: no use waiting for it. Otherwise the change is made again now
    // and then while waiting: something else may have changed the settings after it.
    if (m_backend->refusal(output)) {
        took();
    } else {
        int reads = 0;
        settles([&] {
            if (took())
                return true;
            if (++reads % 5 == 0)
                set();
            return false;
        });
    }
    m_checks.append(state);
    switch (state) {
    case DnsCheck::configured:
        return {DnsOutcome::applied};
    case DnsCheck::offline:
        return {DnsOutcome::noConnection};
    case DnsCheck::notConfigured:
        break;
    }
    return failure(output);
}

DnsOutcome DNSWorker::clearFilteringDns(const QString &address)
{
    discoverServices();
    if (!m_backend->canChangeSettings())
        return {DnsOutcome::noBackend};
    if (m_availableServices.isEmpty())
        return {DnsOutcome::noConnection};
    QString output;
    for (networkservices service : std::as_const(m_availableServices)) {
        const QString said = m_backend->clearServers(service, address);
        if (service == networkservices::Ethernet)
            m_log.append(said);
        output += said;
    }
    const auto cleared = [&] {
        refreshDnsStatus();
        return !listsAddressAnywhere(address);
    };
    if (m_backend->refusal(output) ? cleared() : settles(cleared))
        return {DnsOutcome::cleared};
    return failure(output);
}

WatchdogOutcome DNSWorker::watchdogTick(const QString &address)
{
    WatchdogOutcome outcome;
    outcome.state = isDnsConfigured(address);
    outcome.before = currentDnsDescription();
    outcome.check = take();
    if (outcome.state != DnsCheck::notConfigured)
        return outcome;
    outcome.applied = applyFilteringDns(address);
    if (outcome.applied.ok())
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
    report.otherStatusString = m_otherStatus;
    report.encrypted = m_backend->encrypted();
    return report;
}
