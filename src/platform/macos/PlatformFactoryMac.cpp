#include "LaunchdAgent.h"
#include "MacWorkspace.h"
#include "NetworkSetupResolver.h"
#include "platform/LaunchAgent.h"
#include "platform/Connectivity.h"
#include "platform/NetworkChangeWatcher.h"

std::unique_ptr<ResolverBackend> makeResolverBackend()
{
    return std::make_unique<NetworkSetupResolver>();
}

std::unique_ptr<LaunchAgent> makeLaunchAgent()
{
    return std::make_unique<LaunchdAgent>(LaunchdAgent::defaultDestination());
}

// launchd's agent already keeps the app running; there is no second entry to manage.
std::unique_ptr<LaunchAgent> makeLoginUnit()
{
    return nullptr;
}

bool handOverToLoginUnit(bool)
{
    return false;
}

void stopLoginUnit() {}

std::unique_ptr<NetworkChangeWatcher> makeNetworkChangeWatcher()
{
    // The watchdog's minute is all on this system for now.
    return std::make_unique<NetworkChangeWatcher>();
}

std::unique_ptr<ConnectivityMonitor> makeConnectivityMonitor()
{
    // The system's own network information reports reachability here.
    return nullptr;
}

std::unique_ptr<Workspace> makeWorkspace(const QString &)
{
    return std::make_unique<MacWorkspace>();
}
