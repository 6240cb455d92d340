#include "ResolverBackend.h"

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
