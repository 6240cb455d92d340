#pragma once

#include "platform/ResolverBackend.h"

#include <QList>

// Linux without NetworkManager: systemd-resolved through resolvectl. Each network link belongs
// to a service by its kind: "wl*" links to "Wi-Fi", "en*"/"eth*" links to "Ethernet", "br*"
// links to "Thunderbolt Bridge", every other one (tunnels, WireGuard, modems...) to
// "Other Connections".
//
// Setting gives the link the filtering address as its only DNS server and the routing domain
// "~.", so every look-up goes to it; clearing reverts the link to what the network gave it
// (only where the link visibly carries the filter). A normal user needs polkit's
// org.freedesktop.resolve1.set-dns-servers and set-domains (granted by the shipped rule).
// With a server name the link's server is "ADDRESS#name" and DNS over TLS is required on it
// (set-dns-over-tls); a systemd-resolved that refuses either gets the plain address.
class ResolvectlResolver : public ResolverBackend
{
public:
    QString listServices() override;
    QString setServers(networkservices service, const QString &address) override;
    QString clearServers(networkservices service, const QString &filteringAddress) override;
    ResolverServers readServers(networkservices service) override;
    std::optional<QString> refusal(const QString &output) const override;
    bool setEncryption(const QString &filterAddress, const QString &serverName) override;
    bool encrypted() const override { return m_encrypted; }

    // Whether systemd-resolved answers.
    static bool isRunning();
    // The links systemd-resolved knows that can carry look-ups, loopback left out.
    QStringList links();

    // For links another service configures (NetworkManager hands its DNS to systemd-resolved):
    // with a server name set, puts the filter at address on link under that name, DNS over TLS
    // required; *ok: the link took a setting, encrypted or, where refused, plain.
    QString encryptLink(const QString &link, const QString &address, bool *ok);
    // Whether link lists the filter under the name asked for; nullopt when it lists no filter.
    std::optional<bool> filterNamedAsAsked(const QString &link);

private:
    QStringList linksOf(networkservices service);
    // With namesAsAsked, the filter under another server name than the one asked for (or
    // under one when none is asked for) is listed as a null address: not the filter as wanted.
    QList<QHostAddress> serversOf(const QString &link, bool namesAsAsked = false);

    QHostAddress m_filter;
    QString m_serverName;
    bool m_encrypted = false;
    bool m_noDot = false; // this systemd-resolved refused DNS over TLS once
};
