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
