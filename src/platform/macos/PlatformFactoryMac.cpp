#include "LaunchdAgent.h"
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
