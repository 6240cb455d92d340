#include "NmcliResolver.h"

#include "core/Log.h"
#include "platform/ShellRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

namespace {
const QString nmcli = QStringLiteral("nmcli");
const QStringList dnsKeys = {QStringLiteral("ipv4.dns"), QStringLiteral("ipv4.ignore-auto-dns"),
                             QStringLiteral("ipv6.dns"), QStringLiteral("ipv6.ignore-auto-dns")};
// What NetworkManager's polkit policy must allow for a change of a connection's settings.
const QString modifyAction = QStringLiteral("org.freedesktop.NetworkManager.settings.modify.system");

// Splits a terse nmcli line at the separators that are not escaped, and unescapes the fields.
QStringList splitTerse(const QString &line)
{
    QStringList fields(1);
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            fields.last() += line.at(++i);
        } else if (c == QLatin1Char(':')) {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

// "key:value" of a multi-line terse listing; the value keeps any colons it contains.
std::pair<QString, QString> keyValue(const QString &line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {line, QString()};
    QString value = line.mid(colon + 1);
    value.replace(QLatin1String("\\:"), QLatin1String(":"));
    value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    return {line.left(colon), value};
}

QJsonObject automaticDns()
{
    return {{QStringLiteral("ipv4.dns"), QString()},
            {QStringLiteral("ipv4.ignore-auto-dns"), QStringLiteral("no")},
            {QStringLiteral("ipv6.dns"), QString()},
            {QStringLiteral("ipv6.ignore-auto-dns"), QStringLiteral("no")}};
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

NmcliResolver::NmcliResolver(QString stateFile)
    : m_stateFile(std::move(stateFile))
{
}

QString NmcliResolver::defaultStateFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QLatin1String("/nimbrel/saved-dns-settings.json");
}

bool NmcliResolver::isRunning()
{
    const ProcessResult r = runProgram(nmcli, {QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("RUNNING"),
                                               QStringLiteral("general")});
    return r.started && r.exitCode == 0 && r.output.trimmed() == QLatin1String("running");
}

QList<NmcliResolver::Connection> NmcliResolver::activeConnections()
{
    const ProcessResult r = runProgram(nmcli, {QStringLiteral("-t"), QStringLiteral("-f"),
                                               QStringLiteral("NAME,UUID,TYPE,DEVICE,STATE,SLAVE"), QStringLiteral("connection"),
                                               QStringLiteral("show"), QStringLiteral("--active")});
    if (!r.started || r.exitCode != 0) {
        if (r.started)
            Log::line(QStringLiteral("nmcli: ") + r.output.trimmed());
        return {};
    }
    QList<Connection> out;
    for (const QString &line : lines(r.output)) {
        const QStringList f = splitTerse(line);
        if (f.size() == 6 && !f.at(1).isEmpty())
            out.append({f.at(0), f.at(1), f.at(2), f.at(3), f.at(4), f.at(5)});
    }
    return out;
}

std::optional<networkservices> NmcliResolver::serviceOf(const Connection &c)
{
    static const QStringList noDns = {QStringLiteral("loopback"), QStringLiteral("tun")};
    if (c.device.isEmpty() || c.state != QLatin1String("activated") || !c.portOf.isEmpty() || noDns.contains(c.type))
        return std::nullopt;
    if (c.type == QLatin1String("802-3-ethernet"))
        return networkservices::Ethernet;
    if (c.type == QLatin1String("802-11-wireless"))
        return networkservices::WiFi;
    if (c.type == QLatin1String("bridge"))
        return networkservices::Thunderbolt;
    return networkservices::Other;
}

QList<NmcliResolver::Connection> NmcliResolver::connectionsOf(networkservices service)
{
    QList<Connection> out;
    for (const Connection &c : activeConnections()) {
        if (serviceOf(c) == service)
            out.append(c);
    }
    return out;
}

QString NmcliResolver::listServices()
{
    QStringList names;
    for (const Connection &c : activeConnections()) {
        const std::optional<networkservices> service = serviceOf(c);
        if (service && !names.contains(serviceName(*service)))
            names.append(serviceName(*service));
    }
    return names.isEmpty() ? QString() : names.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

std::optional<QString> NmcliResolver::refusal(const QString &output) const
{
    if (output.contains(QLatin1String("Insufficient privileges")) || output.contains(QLatin1String("Not authorized")))
        return modifyAction;
    return std::nullopt;
}

QJsonObject NmcliResolver::dnsSettings(const QString &uuid, QString *output)
{
    const ProcessResult r = runProgram(nmcli, {QStringLiteral("-t"), QStringLiteral("-f"), dnsKeys.join(QLatin1Char(',')),
                                               QStringLiteral("connection"), QStringLiteral("show"), uuid});
    *output += r.output;
    if (!r.started || r.exitCode != 0)
        return {};
    QJsonObject settings;
    for (const QString &line : lines(r.output)) {
        const auto [key, value] = keyValue(line);
        if (dnsKeys.contains(key))
            settings.insert(key, value);
    }
    return settings.size() == dnsKeys.size() ? settings : QJsonObject();
}

QString NmcliResolver::modifyAndApply(const Connection &c, const QStringList &properties, bool *refused, bool *ok)
{
    QStringList args = {QStringLiteral("connection"), QStringLiteral("modify"), c.uuid};
    args += properties;
    const ProcessResult modify = runProgram(nmcli, args);
    QString output = modify.output;
    // Only a failure nmcli reports itself proves the profile untouched; a killed nmcli may
    // still have had its change committed.
    *refused = modify.exitCode > 0;
    *ok = modify.exitCode == 0;
    if (*ok) {
        // The profile change alone waits for the next activation; reapply makes it live now. A
        // VPN is not a device of its own (its device is the one under it): it is activated
        // again, which asks its peer anew.
        const QStringList live = c.type == QLatin1String("vpn")
            ? QStringList{QStringLiteral("connection"), QStringLiteral("up"), c.uuid}
            : QStringList{QStringLiteral("device"), QStringLiteral("reapply"), c.device};
        const ProcessResult applied = runProgram(nmcli, live);
        output += applied.output;
        *ok = applied.exitCode == 0;
    }
    return output;
}

bool NmcliResolver::setEncryption(const QString &filterAddress, const QString &serverName)
{
    m_filter = QHostAddress(filterAddress);
    const bool can = m_resolved.setEncryption(filterAddress, serverName);
    m_serverName = can ? serverName : QString();
    m_encrypted = !m_serverName.isEmpty();
    return can;
}

bool NmcliResolver::dnsGoesToResolved()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/freedesktop/NetworkManager/DnsManager"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.NetworkManager.DnsManager") << QStringLiteral("Mode");
    const QDBusMessage reply = QDBusConnection::systemBus().call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString()
               == QLatin1String("systemd-resolved");
}

QString NmcliResolver::encryptDevice(const Connection &c, const QString &address)
{
    // NetworkManager hands the reapplied settings (the plain filter) to systemd-resolved a
    // moment later; a name put on before that hand-over would be taken off by it.
    const QDeadlineTimer handedOver(3000);
    std::optional<bool> named = m_resolved.filterNamedAsAsked(c.device);
    while (named != false && !handedOver.hasExpired()) {
        QThread::msleep(50);
        named = m_resolved.filterNamedAsAsked(c.device);
    }
    if (!named) {
        m_encrypted = false;
        return QStringLiteral("systemd-resolved did not get the filter for %1: plain DNS there\n").arg(c.device);
    }
    if (*named)
        return {};
    bool ok = false;
    const QString output = m_resolved.encryptLink(c.device, address, &ok);
    if (!ok || !m_resolved.encrypted()) {
        m_encrypted = false;
        m_serverName.clear(); // refused for good (no DNS over TLS here): plain from now on
    }
    return output;
}

QString NmcliResolver::setServers(networkservices service, const QString &address)
{
    QString output;
    QJsonObject saved = loadSaved();
    const bool encrypt = !m_serverName.isEmpty() && QHostAddress(address) == m_filter && dnsGoesToResolved();
    if (!encrypt)
        m_encrypted = false;
    for (const Connection &c : connectionsOf(service)) {
        const bool firstChange = !saved.contains(c.uuid);
        if (firstChange) {
            QJsonObject own = dnsSettings(c.uuid, &output);
            // Already pointing at the filter (the record was lost): automatic DNS is the way back.
            if (own.value(QStringLiteral("ipv4.dns")).toString().split(QLatin1Char(',')).contains(address))
                own = automaticDns();
            saved.insert(c.uuid, own);
            // Without the user's own settings on record, changing them could lose them for good.
            if (own.isEmpty() || !storeSaved(saved)) {
                output += QStringLiteral("Could not keep the DNS settings of %1; left unchanged\n").arg(c.name);
                saved.remove(c.uuid);
                continue;
            }
        }
        bool refused = false;
        bool ok = false;
        output += modifyAndApply(c,
                                 {QStringLiteral("ipv4.dns"), address, QStringLiteral("ipv4.ignore-auto-dns"),
                                  QStringLiteral("yes"), QStringLiteral("ipv6.dns"), QString(),
                                  QStringLiteral("ipv6.ignore-auto-dns"), QStringLiteral("yes")},
                                 &refused, &ok);
        // Nothing of ours is on the connection. A record kept now would go stale if the user
        // changed the settings before a later attempt succeeds, and clearing would then bring
        // back settings they had left.
        if (firstChange && refused) {
            saved.remove(c.uuid);
            storeSaved(saved);
        }
        if (ok && encrypt && canEncrypt(c))
            output += encryptDevice(c, address);
    }
    return output;
}

QString NmcliResolver::clearServers(networkservices service, const QString &filteringAddress)
{
    QString output;
    QJsonObject saved = loadSaved();
    for (const Connection &c : connectionsOf(service)) {
        QStringList properties;
        if (saved.contains(c.uuid)) {
            const QJsonObject own = saved.value(c.uuid).toObject();
            for (const QString &key : dnsKeys)
                properties << key << own.value(key).toString();
        } else {
            // Nothing remembered: only undo settings that are visibly ours, never the user's own.
            const QJsonObject current = dnsSettings(c.uuid, &output);
            const QStringList servers = current.value(QStringLiteral("ipv4.dns")).toString().split(QLatin1Char(','));
            if (!servers.contains(filteringAddress))
                continue;
            const QJsonObject automatic = automaticDns();
            for (const QString &key : dnsKeys)
                properties << key << automatic.value(key).toString();
        }
        bool refused = false;
        bool ok = false;
        output += modifyAndApply(c, properties, &refused, &ok);
        if (ok && saved.contains(c.uuid)) {
            saved.remove(c.uuid);
            storeSaved(saved);
        }
    }
    return output;
}

ResolverServers NmcliResolver::readServers(networkservices service)
{
    // The profile says what the next activation takes, the live part (IP4.DNS, IP6.DNS) what the
    // connection uses now: both count, so an edited profile is undone before it takes effect.
    static const QString fields = dnsKeys.join(QLatin1Char(',')) + QStringLiteral(",IP4.DNS,IP6.DNS");
    QStringList servers;
    QList<QList<QHostAddress>> perConnection;
    bool takesAutomatic = false;
    for (const Connection &c : connectionsOf(service)) {
        const ProcessResult r = runProgram(nmcli, {QStringLiteral("-t"), QStringLiteral("-f"), fields,
                                                   QStringLiteral("connection"), QStringLiteral("show"), c.uuid});
        if (r.exitCode != 0) {
            // Gone meanwhile (taken down): nothing to judge. Otherwise a connection that cannot
            // be read counts as not using the filter.
            const QList<Connection> now = activeConnections();
            if (std::any_of(now.begin(), now.end(), [&](const Connection &a) { return a.uuid == c.uuid && serviceOf(a); }))
                perConnection.append(QList<QHostAddress>());
            continue;
        }
        perConnection.append(QList<QHostAddress>());
        QList<QHostAddress> &own = perConnection.last();
        for (const QString &line : lines(r.output)) {
            const auto [key, value] = keyValue(line);
            if (key.endsWith(QLatin1String("ignore-auto-dns"))) {
                takesAutomatic = takesAutomatic || value != QLatin1String("yes");
                continue;
            }
            for (const QHostAddress &address : addressesIn(QString(value).replace(QLatin1Char(','), QLatin1Char('\n')))) {
                if (!own.contains(address))
                    own.append(address);
            }
            if (key.startsWith(QLatin1String("IP")) && !value.isEmpty() && !servers.contains(value))
                servers.append(value);
        }
        if (!own.contains(m_filter))
            continue;
        const std::optional<bool> named = canEncrypt(c) ? m_resolved.filterNamedAsAsked(c.device) : std::nullopt;
        // Handed to systemd-resolved without the device's name (NetworkManager handed its
        // settings over again): not the filter as wanted.
        if (named == false)
            own.append(QHostAddress());
        // Plain somewhere (NetworkManager's DNS not in systemd-resolved, a VPN): not encrypted.
        if (named != true)
            m_encrypted = false;
    }
    if (servers.isEmpty())
        return {{}, QStringLiteral("There aren't any DNS Servers set on %1.\n").arg(serviceName(service)), perConnection,
                takesAutomatic};
    const QString output = servers.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return {addressesIn(output), output, perConnection, takesAutomatic};
}

QJsonObject NmcliResolver::loadSaved() const
{
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool NmcliResolver::storeSaved(const QJsonObject &saved) const
{
    if (!QDir().mkpath(QFileInfo(m_stateFile).absolutePath()))
        return false;
    QSaveFile file(m_stateFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(saved).toJson());
    return file.commit();
}
