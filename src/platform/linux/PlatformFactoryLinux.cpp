#include "LinuxWorkspace.h"
#include "NmcliResolver.h"
#include "XdgAutostartAgent.h"
#include "platform/LaunchAgent.h"
#include "platform/ResolverBackend.h"

#include <QCoreApplication>

std::unique_ptr<ResolverBackend> makeResolverBackend()
{
    return std::make_unique<NmcliResolver>(NmcliResolver::defaultStateFile());
}

std::unique_ptr<LaunchAgent> makeLaunchAgent()
{
    return std::make_unique<XdgAutostartAgent>(XdgAutostartAgent::defaultDestination(),
                                               QCoreApplication::applicationFilePath());
}

std::unique_ptr<Workspace> makeWorkspace(const QString &ownId)
{
    return std::make_unique<LinuxWorkspace>(ownId);
}
