#pragma once

#include "platform/ResolverBackend.h"

#include <QJsonObject>
#include <QList>

// Linux: NetworkManager through nmcli. Each active connection is a service: Ethernet shows as
// "Ethernet", Wi-Fi as "Wi-Fi", a bridge as "Thunderbolt Bridge"; others keep their own name
// with their type, so they never pass for a known service.
//
// Setting makes the filtering address the connection's only IPv4 resolver and ignores the
// DNS that DHCP or router advertisements hand out, for IPv4 and IPv6 alike, then applies the
// change to the live device. Before the first change of a connection its own DNS settings are
// remembered in a file, and clearing puts exactly those back.
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

    struct Connection {
        QString name;
        QString uuid;
        QString type;
        QString device;
    };
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

    QString m_stateFile;
};
