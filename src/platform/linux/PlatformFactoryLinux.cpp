#include "NetworkManagerWatcher.h"
#include "LinuxWorkspace.h"
#include "NetlinkRouteMonitor.h"
#include "NmConnectivityMonitor.h"
#include "NmcliResolver.h"
#include "ResolvectlResolver.h"
#include "SystemdUserUnit.h"
#include "XdgAutostartAgent.h"
#include "platform/LaunchAgent.h"
#include "core/Log.h"
#include "platform/ResolverBackend.h"

#include <QCoreApplication>

namespace {
// NetworkManager where it runs, systemd-resolved where it does not, decided afresh at every
// listing of the services (which comes before every change and check), so a service that
// starts or stops while the application runs is followed.
class SystemResolverLinux : public ResolverBackend
{
public:
    QString listServices() override
    {
        if (NmcliResolver::isRunning())
            m_current = &m_nmcli;
        else if (ResolvectlResolver::isRunning())
            m_current = &m_resolved;
        else
            m_current = nullptr;
        if (m_firstListing || m_current != m_logged) {
            m_firstListing = false;
            m_logged = m_current;
            Log::line(m_current == &m_nmcli       ? QStringLiteral("DNS settings through NetworkManager")
                      : m_current == &m_resolved ? QStringLiteral("DNS settings through systemd-resolved")
                                                 : QStringLiteral("Neither NetworkManager nor systemd-resolved is running"));
        }
        return m_current ? m_current->listServices() : QString();
    }
    QString setServers(networkservices service, const QString &address) override
    {
        return m_current ? m_current->setServers(service, address) : QString();
    }
    QString clearServers(networkservices service, const QString &filteringAddress) override
    {
        return m_current ? m_current->clearServers(service, filteringAddress) : QString();
    }
    ResolverServers readServers(networkservices service) override
    {
        return m_current ? m_current->readServers(service) : ResolverServers{};
    }
    bool canChangeSettings() override { return m_current != nullptr; }
    // Both hear the name: the service in charge may change before the next change.
    bool setEncryption(const QString &filterAddress, const QString &serverName) override
    {
        const bool nmcli = m_nmcli.setEncryption(filterAddress, serverName);
        const bool resolved = m_resolved.setEncryption(filterAddress, serverName);
        return m_current == &m_nmcli ? nmcli : resolved;
    }
    bool encrypted() const override { return m_current && m_current->encrypted(); }
    std::optional<QString> refusal(const QString &output) const override
    {
        return m_current ? m_current->refusal(output) : std::nullopt;
    }

private:
    NmcliResolver m_nmcli{NmcliResolver::defaultStateFile()};
    ResolvectlResolver m_resolved;
    ResolverBackend *m_current = nullptr;
    ResolverBackend *m_logged = nullptr;
    bool m_firstListing = true;
};
} // namespace

std::unique_ptr<ResolverBackend> makeResolverBackend()
{
    return std::make_unique<SystemResolverLinux>();
}

std::unique_ptr<LaunchAgent> makeLaunchAgent()
{
    return std::make_unique<XdgAutostartAgent>(XdgAutostartAgent::defaultDestination(),
                                               QCoreApplication::applicationFilePath());
}

std::unique_ptr<LaunchAgent> makeLoginUnit()
{
    return std::make_unique<SystemdUserUnit>(SystemdUserUnit::defaultDestination(),
                                             QCoreApplication::applicationFilePath(), QDBusConnection::sessionBus());
}

bool handOverToLoginUnit(bool atLogin)
{
    return SystemdUserUnit(SystemdUserUnit::defaultDestination(), QCoreApplication::applicationFilePath(),
                           QDBusConnection::sessionBus())
        .handOver(atLogin);
}

void stopLoginUnit()
{
    SystemdUserUnit(SystemdUserUnit::defaultDestination(), QCoreApplication::applicationFilePath(),
                    QDBusConnection::sessionBus())
        .stopBeforeDeliberateEnd();
}

std::unique_ptr<NetworkChangeWatcher> makeNetworkChangeWatcher()
{
    return std::make_unique<NetworkManagerWatcher>(QDBusConnection::systemBus());
}

std::unique_ptr<ConnectivityMonitor> makeConnectivityMonitor()
{
    if (std::unique_ptr<ConnectivityMonitor> networkManager = NmConnectivityMonitor::open(QDBusConnection::systemBus()))
        return networkManager;
    return NetlinkRouteMonitor::open();
}

std::unique_ptr<Workspace> makeWorkspace(const QString &ownId)
{
    return std::make_unique<LinuxWorkspace>(ownId);
}
