#pragma once

// A real nimbrel-server whose filter answers plain DNS and DNS over TLS on an address of the
// sandbox (ports 53 and 853), with a certificate from the test's own authority, which goes
// where the sandbox's systemd-resolved looks for the authorities it trusts. A real dnsmasq
// upstream answers 192.0.2.10 for every name under test. Two accounts, ada and bob, each with a
// device name, each blocking "<name>-blocked.test".

#include "DnsTestSupport.h"
#include "ServerProcess.h"
#include "TestCertificates.h"
#include "platform/ShellRunner.h"

#include <QTemporaryDir>

class DotFilter
{
public:
    struct Device {
        Account account;
        QString host, blocked;
    };

    // false (and why) when it cannot run; trusted: the sandbox's folder of authorities.
    bool start(const QString &address, const QString &trusted, QString *why)
    {
        const QDir certificates(m_dir.path());
        const QString zone = QStringLiteral("dot.nimbrel.test");
        if (!TestCertificates::make(certificates, zone, why))
            return false;
        // systemd-resolved looks its authorities up by subject hash.
        if (!QFile::copy(certificates.filePath(QStringLiteral("ca.pem")), trusted + QStringLiteral("/ca.pem"))
            || runProgram(QStringLiteral("openssl"), {QStringLiteral("rehash"), trusted}).exitCode != 0) {
            *why = QStringLiteral("cannot trust the test's authority in ") + trusted;
            return false;
        }
        if (!m_upstream.start(why))
            return false;
        m_server = std::make_unique<ServerProcess>(QStringLiteral(NIMBREL_SERVER_BINARY), m_dir.filePath(QStringLiteral("server")));
        if (!m_server->start({QStringLiteral("--dns-listen"), address, QStringLiteral("--dns-port"), QStringLiteral("53"),
                              QStringLiteral("--dns-upstream"), m_upstream.upstream(), QStringLiteral("--dot-port"),
                              QStringLiteral("853"), QStringLiteral("--dot-zone"), zone, QStringLiteral("--dot-cert"),
                              certificates.filePath(QStringLiteral("zone.pem")), QStringLiteral("--dot-key"),
                              certificates.filePath(QStringLiteral("zone.key"))})
            || !m_server->dnsPort()) {
            *why = m_server->output();
            return false;
        }
        m_client = std::make_unique<ServerClient>(m_server->apiBase());
        for (const QString &name : {QStringLiteral("ada"), QStringLiteral("bob")}) {
            Device device{signUp(*m_client, name + QStringLiteral("@example.org")), {}, name + QStringLiteral("-blocked.test")};
            const ServerAnswer status =
                m_client->post(QStringLiteral("sync-url"), {{"platform_unique_id", name}}, device.account.token);
            device.host = status.data()[QStringLiteral("dot_host")].toString();
            if (!device.host.endsWith(QLatin1Char('.') + zone)
                || !m_client->post(QStringLiteral("blockwesitebyuser"), {{"domain", device.blocked}}, device.account.token)
                        .accepted()) {
                *why = QString::fromUtf8(status.body);
                return false;
            }
            devices.append(device);
        }
        return true;
    }

    // Ends the device's session, and with it its name.
    bool logOut(const Device &device)
    {
        return m_client->post(QStringLiteral("logout"), {}, device.account.token).accepted();
    }

    QList<Device> devices;

private:
    QTemporaryDir m_dir;
    DnsTest::Dnsmasq m_upstream;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<ServerClient> m_client;
};

// systemd-resolved's answer for name (IPv4), asked afresh: the address, with " encrypted" when it
// came over an encrypted transport; "not found" for NXDOMAIN; or resolvectl's own words.
inline QString lookUp(const QString &name)
{
    const ProcessResult r = runProgram(QStringLiteral("resolvectl"),
                                       {QStringLiteral("query"), QStringLiteral("-4"), QStringLiteral("--cache=no"), name});
    if (r.exitCode == 0) {
        const QString address = r.output.section(QStringLiteral(": "), 1).section(QLatin1Char(' '), 0, 0);
        return r.output.contains(QLatin1String("encrypted transport: yes")) ? address + QStringLiteral(" encrypted")
                                                                            : address;
    }
    return r.output.contains(QLatin1String("not found")) ? QStringLiteral("not found") : r.output.trimmed();
}

// What systemd-resolved holds for a link ("dns", "domain", "dnsovertls"), asked by resolvectl itself.
inline QString resolvedSays(const QString &what, const QString &link)
{
    const ProcessResult r = runProgram(QStringLiteral("resolvectl"), {what, link});
    // simplified(): a long list goes on over indented lines.
    return r.exitCode == 0 ? r.output.simplified().section(QStringLiteral("): "), 1)
                           : QStringLiteral("resolvectl failed: ") + r.output;
}
