#include "ResolverBackend.h"

#include <algorithm>

QString serviceName(networkservices service)
{
    switch (service) {
    case networkservices::Ethernet:
        return QStringLiteral("Ethernet");
    case networkservices::WiFi:
        return QStringLiteral("Wi-Fi");
    case networkservices::Thunderbolt:
        return QStringLiteral("Thunderbolt Bridge");
    case networkservices::Other:
        return QStringLiteral("Other Connections");
    }
    return {};
}

bool usesOnly(const ResolverServers &servers, const QHostAddress &address)
{
    const QList<QHostAddress> only{address};
    if (servers.takesAutomatic)
        return false;
    if (servers.perConnection.isEmpty())
        return servers.addresses == only;
    return std::all_of(servers.perConnection.begin(), servers.perConnection.end(),
                       [&](const QList<QHostAddress> &own) { return own == only; });
}

std::optional<QString> ResolverBackend::refusal(const QString &output) const
{
    // The wording of tools that want an administrator (networksetup and the like).
    if (output.contains(QLatin1String("run this tool as root")) || output.contains(QLatin1String("requires admin")))
        return QString();
    return std::nullopt;
}

QList<QHostAddress> addressesIn(const QString &text)
{
    QList<QHostAddress> addresses;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QHostAddress address(line.trimmed());
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    return addresses;
}
