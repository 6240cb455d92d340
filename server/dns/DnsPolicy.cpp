#include "DnsPolicy.h"

#include <algorithm>

quint64 nameHash(std::string_view name)
{
    // FNV-1a, then a 64-bit finaliser so that near names spread over the whole range.
    quint64 h = 0xcbf29ce484222325ULL;
    for (const char c : name) {
        h ^= quint8(c);
        h *= 0x100000001b3ULL;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

NameSet::NameSet(std::vector<quint64> hashes)
    : m_hashes(std::move(hashes))
{
    std::sort(m_hashes.begin(), m_hashes.end());
    m_hashes.erase(std::unique(m_hashes.begin(), m_hashes.end()), m_hashes.end());
    m_hashes.shrink_to_fit();
}

NameSet NameSet::fromNames(const QStringList &names)
{
    std::vector<quint64> hashes;
    hashes.reserve(size_t(names.size()));
    for (const QString &name : names) {
        const QByteArray text = name.toLatin1();
        hashes.push_back(nameHash(std::string_view(text.constData(), size_t(text.size()))));
    }
    return NameSet(std::move(hashes));
}

bool NameSet::contains(quint64 hash) const
{
    return std::binary_search(m_hashes.begin(), m_hashes.end(), hash);
}

NameSet NameSet::united(const QList<const NameSet *> &sets)
{
    std::vector<quint64> all;
    for (const NameSet *set : sets)
        all.insert(all.end(), set->m_hashes.begin(), set->m_hashes.end());
    return NameSet(std::move(all));
}

NameSuffixes NameSuffixes::fromLabels(const std::vector<std::string_view> &labels)
{
    NameSuffixes out;
    // Lower-cased text of the whole name; the suffix of label i starts at starts[i].
    std::string text;
    std::array<size_t, maxLabels> starts{};
    size_t first = 0;
    const size_t n = std::min(labels.size(), size_t(maxLabels));
    for (size_t i = 0; i < n; ++i) {
        if (i > 0)
            text.push_back('.');
        starts[i] = text.size();
        for (const char c : labels[i]) {
            if (c == '.')
                first = i + 1;
            text.push_back(c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c);
        }
    }
    const std::string_view all(text);
    for (size_t i = first; i < n; ++i)
        out.hashes[size_t(out.count++)] = nameHash(all.substr(starts[i]));
    return out;
}

NameSuffixes NameSuffixes::fromText(std::string_view name)
{
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    std::vector<std::string_view> labels;
    while (!name.empty()) {
        const size_t dot = name.find('.');
        labels.push_back(name.substr(0, dot));
        if (dot == std::string_view::npos)
            break;
        name.remove_prefix(dot + 1);
    }
    return fromLabels(labels);
}

bool NameSuffixes::anyIn(const NameSet &set) const
{
    for (int i = 0; i < count; ++i) {
        if (set.contains(hashes[size_t(i)]))
            return true;
    }
    return false;
}

bool NameSuffixes::has(quint64 hash) const
{
    return std::find(hashes.begin(), hashes.begin() + count, hash) != hashes.begin() + count;
}

DnsPolicy::DnsPolicy(Data data)
    : m_data(std::move(data))
{
    const QByteArray probe = m_data.probeZone.toLower().toLatin1();
    m_probeHash = probe.isEmpty() ? 0 : nameHash(std::string_view(probe.constData(), size_t(probe.size())));
    if (!m_data.alwaysBlocked)
        m_data.alwaysBlocked = std::make_shared<NameSet>();
    if (!m_data.encryptedDns)
        m_data.encryptedDns = std::make_shared<NameSet>();
}

QHostAddress DnsPolicy::plainAddress(const QHostAddress &address)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return address; // as it is: no copy of its own for every query
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(ipv4);
    QHostAddress plain(address);
    plain.setScopeId(QString());
    return plain;
}

bool DnsPolicy::isLocalClient(const QHostAddress &client) const
{
    static const QList<QPair<QHostAddress, int>> local{
        QHostAddress::parseSubnet(QStringLiteral("127.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("169.254.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("100.64.0.0/10")),
        QHostAddress::parseSubnet(QStringLiteral("::1/128")),
        QHostAddress::parseSubnet(QStringLiteral("fc00::/7")),
        QHostAddress::parseSubnet(QStringLiteral("fe80::/10")),
    };
    for (const auto &range : local) {
        if (client.isInSubnet(range))
            return true;
    }
    for (const auto &range : m_data.allowedClients) {
        if (client.isInSubnet(range))
            return true;
    }
    return false;
}

const DnsUserLists *DnsPolicy::listsFor(const DnsClient &client, const QHostAddress &address) const
{
    qint64 userID = 0;
    if (!client.keyHash.isEmpty()) {
        userID = m_data.deviceKeys.value(client.keyHash);
    } else {
        const auto device = m_data.deviceUsers.constFind(address);
        if (device == m_data.deviceUsers.constEnd())
            return nullptr;
        userID = *device;
    }
    const auto user = m_data.users.constFind(userID);
    return user == m_data.users.constEnd() ? nullptr : user->get();
}

bool DnsPolicy::answers(const DnsClient &client) const
{
    const QHostAddress address = plainAddress(client.address);
    // A key that names nobody (revoked, made up) is refused wherever it comes from.
    if (!client.keyHash.isEmpty())
        return listsFor(client, address) != nullptr;
    return listsFor(client, address) || isLocalClient(address);
}

DnsPolicy::Verdict DnsPolicy::decide(const DnsClient &client, const NameSuffixes &name) const
{
    const QHostAddress address = plainAddress(client.address);
    const DnsUserLists *lists = listsFor(client, address);
    // Not an open resolver: strangers are refused.
    if (!lists && (!client.keyHash.isEmpty() || !isLocalClient(address)))
        return Verdict::refuse;
    if (name.anyIn(*m_data.alwaysBlocked))
        return Verdict::block;
    if (m_probeHash != 0 && name.has(m_probeHash))
        return Verdict::probe;
    if (lists) {
        if (name.anyIn(*m_data.encryptedDns) || name.anyIn(lists->sites))
            return Verdict::block;
        for (const auto &category : lists->categories) {
            if (name.anyIn(*category))
                return Verdict::block;
        }
    }
    return Verdict::forward;
}
