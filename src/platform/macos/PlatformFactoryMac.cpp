#include "LaunchdAgent.h"
#include "MacWorkspace.h"
#include "NetworkSetupResolver.h"
#include "platform/LaunchAgent.h"

std::unique_ptr<ResolverBackend> makeResolverBackend()
{
    return std::make_unique<NetworkSetupResolver>();
}

std::unique_ptr<LaunchAgent> makeLaunchAgent()
{
    return std::make_unique<LaunchdAgent>(LaunchdAgent::defaultDestination());
}

std::unique_ptr<Workspace> makeWorkspace(const QString &)
{
    return std::make_unique<MacWorkspace>();
}
