#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

// The network services whose resolver protection points at the filtering server. Other holds
// every other connection that carries DNS (VPN, WireGuard, mobile broadband, VLAN, bond...),
// so none of them routes look-ups around the filter.
enum class networkservices { Ethernet, WiFi, Thunderbolt, Other };

// Service name as the service list shows it: "Ethernet", "Wi-Fi", "Thunderbolt Bridge",
// "Other Connections".
QString serviceName(networkservices service);

// The servers a service uses now: the addresses to decide on, and the tool's text for the log.
struct ResolverServers {
    QList<QHostAddress> addresses;
    QString output;
    // A service made of several connections at once (two wired networks): the servers of each,
    // since one of them on the filter does not make the others so. Empty: one source only.
    QList<QList<QHostAddress>> perConnection = {};
    // Some connection of the service also takes the servers its network hands out (DHCP,
    // router advertisements, the VPN peer), now or at its next activation.
    bool takesAutomatic = false;
};

// Whether the address is the only server of every source of the service, which takes none
// from its network: a second server beside the filter is a way around it.
bool usesOnly(const ResolverServers &servers, const QHostAddress &address);

// The addresses among the lines of a tool's output; other lines are skipped.
QList<QHostAddress> addressesIn(const QString &text);

// What configures the system resolver. Changes return the tool's text output; success is
// judged by reading the servers back, never by an exit status.
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
    // The servers the service uses now.
    virtual ResolverServers readServers(networkservices service) = 0;
    // False when nothing on this system can change the resolver settings at all.
    virtual bool canChangeSettings() { return true; }
    // From the next setServers on, look-ups to the filter at filterAddress go encrypted (DNS over
    // TLS, required) to serverName, the name that tells the filter which device asks; an empty
    // name: plain DNS. The filter's address counts as set only under the name asked for. False
    // when this backend cannot encrypt (then everything stays plain).
    virtual bool setEncryption(const QString &filterAddress, const QString &serverName)
    {
        Q_UNUSED(filterAddress);
        Q_UNUSED(serverName);
        return false;
    }
    // Whether the latest setServers made the look-ups encrypted.
    virtual bool encrypted() const { return false; }
    // Whether a change's output says the system refused it: nullopt when it does not;
    // otherwise the permission refused (a polkit action), empty when the tool does not name one.
    virtual std::optional<QString> refusal(const QString &output) const;
};

// The backend of the system the application was built for.
std::unique_ptr<ResolverBackend> makeResolverBackend();
