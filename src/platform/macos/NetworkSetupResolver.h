#pragma once

#include "platform/ResolverBackend.h"

// macOS: the networksetup command-line tool, through the shell, with its exact command lines.
// It uses nothing but the shell runner, so it is built and tested on every system.
class NetworkSetupResolver : public ResolverBackend
{
public:
    QString listServices() override;
    QString setServers(networkservices service, const QString &address) override;
    QString clearServers(networkservices service, const QString &filteringAddress) override;
    ResolverServers readServers(networkservices service) override;

    static QString setCommand(networkservices service);
    static QString clearCommand(networkservices service);
    static QString readCommand(networkservices service);
};
