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
    }
    return {};
}

bool usesEverywhere(const ResolverServers &servers, const QHostAddress &address)
{
    if (servers.perConnection.isEmpty())
        return servers.addresses.contains(address);
    return std::all_of(servers.perConnection.begin(), servers.perConnection.end(),
                       [&](const QList<QHostAddress> &own) { return own.contains(address); });
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
