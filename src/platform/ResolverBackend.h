#pragma once

#include <QString>
#include <memory>

// The three network services whose resolver protection points at the filtering server.
enum class networkservices { Ethernet, WiFi, Thunderbolt };

// Service name as the service list shows it: "Ethernet", "Wi-Fi", "Thunderbolt Bridge".
QString serviceName(networkservices service);

// What configures the system resolver. Every operation returns the tool's text output;
// success is judged by reading the servers back, never by an exit status.
class ResolverBackend
{
public:
    virtual ~ResolverBackend() = default;
    // One service name a line; lines that are not a known service name are ignored by callers.
    virtual QString listServices() = 0;
    virtual QString setServers(networkservices service, const QString &address) = 0;
    // Gives the service back its own resolver configuration. The filtering address tells a
    // backend that cannot return to a remembered state which settings are ours to undo.
    virtual QString clearServers(networkservices service, const QString &filteringAddress) = 0;
    // The servers the service uses now, one address a line.
    virtual QString readServers(networkservices service) = 0;
};

// The backend of the system the application was built for.
std::unique_ptr<ResolverBackend> makeResolverBackend();
