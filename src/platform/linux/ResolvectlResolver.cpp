#include "ResolvectlResolver.h"

#include "platform/ShellRunner.h"

#include <QRegularExpression>

namespace {
const QString resolvectl = QStringLiteral("resolvectl");

// "Link 2 (eth0): 192.168.1.1 fd00::1" -> the link's name and the rest of the line.
const QRegularExpression &linkLine()
{
    static const QRegularExpression line(QStringLiteral("^Link \\d+ \\(([^)]+)\\):\\s*(.*)$"));
    return line;
}

networkservices kindOf(const QString &link)
{
    if (link.startsWith(QLatin1String("wl")))
        return networkservices::WiFi;
    if (link.startsWith(QLatin1String("en")) || link.startsWith(QLatin1String("eth")))
        return networkservices::Ethernet;
    if (link.startsWith(QLatin1String("br")))
        return networkservices::Thunderbolt;
    // VPN tunnels, WireGuard, mobile broadband, VLANs...: a link with DNS of its own is a way
    // around the filter like any other.
    return networkservices::Other;
}

// polkit's refusal, in the words resolvectl prints it.
bool refused(const ProcessResult &r)
{
    return r.exitCode != 0
        && (r.output.contains(QLatin1String("Access denied")) || r.output.contains(QLatin1String("authentication required"))
            || r.output.contains(QLatin1String("not authorized"), Qt::CaseInsensitive));
}

QString describe(const ProcessResult &r, const QString &link)
{
    if (refused(r))
        return QStringLiteral("systemd-resolved refused to change %1: administrator rights are needed\n").arg(link);
    return r.output;
}
} // namespace

std::optional<QString> ResolvectlResolver::refusal(const QString &output) const
{
    if (output.contains(QLatin1String("administrator rights are needed")))
        return QStringLiteral("org.freedesktop.resolve1.set-dns-servers");
    return std::nullopt;
}

bool ResolvectlResolver::isRunning()
{
    const ProcessResult r = runProgram(resolvectl, {QStringLiteral("dns")});
    return r.started && r.exitCode == 0;
}

QStringList ResolvectlResolver::links()
{
    const ProcessResult r = runProgram(resolvectl, {QStringLiteral("dns")});
    if (!r.started || r.exitCode != 0)
        return {};
    QStringList out;
    for (const QString &line : r.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = linkLine().match(line.trimmed());
        if (!m.hasMatch() || m.captured(1) == QLatin1String("lo"))
            continue;
        // A link of another kind without DNS servers carries no look-ups (a tunnel's far end,
        // a bridge's port); one with servers does, and is protected like any other.
        if (kindOf(m.captured(1)) == networkservices::Other && m.captured(2).trimmed().isEmpty())
            continue;
        out.append(m.captured(1));
    }
    return out;
}

QStringList ResolvectlResolver::linksOf(networkservices service)
{
    QStringList out;
    for (const QString &link : links()) {
        if (kindOf(link) == service)
            out.append(link);
    }
    return out;
}

QString ResolvectlResolver::listServices()
{
    QStringList names;
    for (const QString &link : links()) {
        const QString name = serviceName(kindOf(link));
        if (!names.contains(name))
            names.append(name);
    }
    return names.isEmpty() ? QString() : names.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool ResolvectlResolver::setEncryption(const QString &filterAddress, const QString &serverName)
{
    m_filter = QHostAddress(filterAddress);
    m_serverName = m_noDot ? QString() : serverName;
    m_encrypted = !m_serverName.isEmpty();
    return !m_noDot;
}

QList<QHostAddress> ResolvectlResolver::serversOf(const QString &link, bool namesAsAsked)
{
    const ProcessResult r = runProgram(resolvectl, {QStringLiteral("dns"), link});
    if (r.exitCode != 0)
        return {};
    // A long list goes on over indented lines, as wide as the terminal (80 columns without one).
    const QRegularExpressionMatch m = linkLine().match(r.output.simplified());
    QList<QHostAddress> servers;
    if (!m.hasMatch())
        return servers;
    for (const QString &word : m.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        // A server may carry a port or an interface ("1.1.1.1:53", "fe80::1%2"); the address decides.
        QHostAddress address(word.section(QLatin1Char('#'), 0, 0));
        if (address.isNull())
            address = QHostAddress(word.section(QLatin1Char('%'), 0, 0));
        if (namesAsAsked && !m_filter.isNull() && address == m_filter &&
            word.section(QLatin1Char('#'), 1).compare(m_serverName, Qt::CaseInsensitive) != 0)
            address = QHostAddress();
        if ((!address.isNull() || namesAsAsked) && !servers.contains(address))
            servers.append(address);
    }
    return servers;
}

QString ResolvectlResolver::encryptLink(const QString &link, const QString &address, bool *ok)
{
    // Required, not opportunistic: a path that strips TLS gets no answers rather than clear-text
    // ones under another device's lists.
    ProcessResult dns = runProgram(resolvectl, {QStringLiteral("dns"), link, address + QLatin1Char('#') + m_serverName});
    const ProcessResult tls =
        dns.exitCode == 0 ? runProgram(resolvectl, {QStringLiteral("dnsovertls"), link, QStringLiteral("yes")}) : dns;
    QString output;
    if (refused(tls)) {
        dns = tls;
    } else if (tls.exitCode != 0) {
        // A systemd-resolved without DNS over TLS: plain DNS, as before, from now on.
        output += describe(tls, link);
        m_encrypted = false;
        m_noDot = true;
        m_serverName.clear();
        dns = runProgram(resolvectl, {QStringLiteral("dns"), link, address});
    }
    *ok = dns.exitCode == 0;
    return output + describe(dns, link);
}

std::optional<bool> ResolvectlResolver::filterNamedAsAsked(const QString &link)
{
    const QList<QHostAddress> asked = serversOf(link, true);
    if (serversOf(link).contains(m_filter))
        return asked.contains(m_filter);
    return std::nullopt;
}

QString ResolvectlResolver::setServers(networkservices service, const QString &address)
{
    QString output;
    const bool toFilter = QHostAddress(address) == m_filter;
    if (!toFilter)
        m_encrypted = false;
    for (const QString &link : linksOf(service)) {
        bool ok = false;
        if (toFilter && !m_serverName.isEmpty()) {
            output += encryptLink(link, address, &ok);
        } else {
            const ProcessResult dns = runProgram(resolvectl, {QStringLiteral("dns"), link, address});
            output += describe(dns, link);
            ok = dns.exitCode == 0;
        }
        if (!ok)
            continue;
        // "~." routes every name to this link's servers, not only its own search domains.
        const ProcessResult domain = runProgram(resolvectl, {QStringLiteral("domain"), link, QStringLiteral("~.")});
        output += describe(domain, link);
    }
    return output;
}

QString ResolvectlResolver::clearServers(networkservices service, const QString &filteringAddress)
{
    QString output;
    for (const QString &link : linksOf(service)) {
        // Only settings that are visibly ours are undone, never the user's own.
        if (!serversOf(link).contains(QHostAddress(filteringAddress)))
            continue;
        output += describe(runProgram(resolvectl, {QStringLiteral("revert"), link}), link);
    }
    return output;
}

ResolverServers ResolvectlResolver::readServers(networkservices service)
{
    QList<QHostAddress> servers;
    QList<QList<QHostAddress>> perLink;
    for (const QString &link : linksOf(service)) {
        perLink.append(serversOf(link, true));
        for (const QHostAddress &address : std::as_const(perLink.last())) {
            if (!servers.contains(address))
                servers.append(address);
        }
    }
    if (servers.isEmpty())
        return {{}, QStringLiteral("There aren't any DNS Servers set on %1.\n").arg(serviceName(service)), perLink};
    QStringList text;
    for (const QHostAddress &address : std::as_const(servers))
        text.append(address.toString());
    return {servers, text.join(QLatin1Char('\n')) + QLatin1Char('\n'), perLink};
}
