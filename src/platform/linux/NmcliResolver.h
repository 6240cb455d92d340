#pragma once

#include "ResolvectlResolver.h"
#include "platform/ResolverBackend.h"

#include <QJsonObject>
#include <QList>

// Linux: NetworkManager through nmcli. Each activated connection that can carry DNS belongs to
// a service: Ethernet to "Ethernet", Wi-Fi to "Wi-Fi", a bridge to "Thunderbolt Bridge", every
// other kind (VPN, WireGuard, mobile broadband, VLAN, bond, ...) to "Other Connections". The
// loopback, tun devices and ports of a bridge or bond carry none. A connection still activating
// is left to the signal of its activation: its device does not take a change yet.
//
// Setting makes the filtering address the connection's only resolver and ignores the DNS that
// DHCP, router advertisements or the VPN peer hand out, for IPv4 and IPv6 alike, then applies
// the change to the live connection. Before the first change of a connection its own DNS
// settings are remembered in a file, and clearing puts exactly those back.
//
// Where NetworkManager hands its DNS to systemd-resolved, a server name puts the filter on the
// device's link in systemd-resolved as "ADDRESS#name" with DNS over TLS required, once
// NetworkManager has handed the change over (NetworkManager 1.42 cannot name a server itself).
// A later hand-over takes the name off again; the check sees that and the change is made anew.
class NmcliResolver : public ResolverBackend
{
public:
    explicit NmcliResolver(QString stateFile);

    static QString defaultStateFile();
    // Whether nmcli is there and NetworkManager runs.
    static bool isRunning();

    QString listServices() override;
    QString setServers(networkservices service, const QString &address) override;
    QString clearServers(networkservices service, const QString &filteringAddress) override;
    ResolverServers readServers(networkservices service) override;
    std::optional<QString> refusal(const QString &output) const override;
    bool setEncryption(const QString &filterAddress, const QString &serverName) override;
    bool encrypted() const override { return m_encrypted; }

    struct Connection {
        QString name;
        QString uuid;
        QString type;
        QString device;
        QString state;
        // The kind of connection this one is a port of ("bridge", "bond"); empty for most.
        QString portOf;
    };
    // The service a connection belongs to; nullopt for one that carries no DNS of its own.
    static std::optional<networkservices> serviceOf(const Connection &c);
    // The active connections, empty when nmcli is missing or NetworkManager is not running.
    QList<Connection> activeConnections();

private:
    QList<Connection> connectionsOf(networkservices service);
    // The connection's own DNS settings (keys as nmcli names them); empty when unreadable.
    QJsonObject dnsSettings(const QString &uuid, QString *output);
    QJsonObject loadSaved() const;
    bool storeSaved(const QJsonObject &saved) const;
    // *ok: the profile and the live device both took the change; *refused: nmcli reported that
    // the profile did not change.
    QString modifyAndApply(const Connection &c, const QStringList &properties, bool *refused, bool *ok);

    // Whether NetworkManager's DNS goes to systemd-resolved (its DNS manager's mode).
    static bool dnsGoesToResolved();
    // After c's change went live: the filter under the device's name on its systemd-resolved link.
    QString encryptDevice(const Connection &c, const QString &address);
    bool canEncrypt(const Connection &c) const
    {
        return !m_serverName.isEmpty() && !c.device.isEmpty() && c.type != QLatin1String("vpn");
    }

    QString m_stateFile;
    ResolvectlResolver m_resolved;
    QHostAddress m_filter;
    QString m_serverName;
    bool m_encrypted = false;
};
