#include "NetworkSetupResolver.h"

#include "platform/ShellRunner.h"

namespace {
QString argument(networkservices service)
{
    switch (service) {
    case networkservices::Ethernet:
        return QStringLiteral("Ethernet");
    case networkservices::WiFi:
        return QStringLiteral("Wi-Fi");
    case networkservices::Thunderbolt:
        return QStringLiteral("\"Thunderbolt Bridge\"");
    case networkservices::Other:
        break;
    }
    return {};
}
} // namespace

QString NetworkSetupResolver::setCommand(networkservices service)
{
    return QStringLiteral("networksetup -setdnsservers ") + argument(service) + QLatin1Char(' ');
}

QString NetworkSetupResolver::clearCommand(networkservices service)
{
    return QStringLiteral("networksetup -setdnsservers ") + argument(service) + QStringLiteral(" \"Empty\"");
}

QString NetworkSetupResolver::readCommand(networkservices service)
{
    return QStringLiteral("networksetup -getdnsservers ") + argument(service);
}

QString NetworkSetupResolver::listServices()
{
    return runShellCommand(QStringLiteral("networksetup -listallnetworkservices"));
}

QString NetworkSetupResolver::setServers(networkservices service, const QString &address)
{
    return runShellCommand(setCommand(service) + address);
}

QString NetworkSetupResolver::clearServers(networkservices service, const QString &)
{
    return runShellCommand(clearCommand(service));
}

ResolverServers NetworkSetupResolver::readServers(networkservices service)
{
    const QString output = runShellCommand(readCommand(service));
    return {addressesIn(output), output};
}
