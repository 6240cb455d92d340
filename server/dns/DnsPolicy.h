#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

// 64-bit hash of a name as text, lower case, without the trailing dot ("www.example.com").
quint64 nameHash(std::string_view name);

// A set of names as a sorted array of their hashes: 8 bytes a name, so category lists of
// millions of names fit. A false match needs a 64-bit collision.
class NameSet
{
public:
    NameSet() = default;
    explicit NameSet(std::vector<quint64> hashes); // any order, duplicates allowed
    static NameSet fromNames(const QStringList &names);

    bool contains(quint64 hash) const;
    qsizetype size() const { return qsizetype(m_hashes.size()); }
    // Every name of any of the sets.
    static NameSet united(const QList<const NameSet *> &sets);

private:
    std::vector<quint64> m_hashes;
};

// The hashes of every suffix of a query name that whole labels make: "a.b.example.com" gives
// a.b.example.com, b.example.com, example.com and com.
struct NameSuffixes {
    static constexpr int maxLabels = 128;
    std::array<quint64, maxLabels> hashes{};
    int count = 0;

    // From the labels of a name, lower-cased here. A label holding a '.' byte cannot be part
    // of any listed name; only the suffixes to its right are kept.
    static NameSuffixes fromLabels(const std::vector<std::string_view> &labels);
    static NameSuffixes fromText(std::string_view name); // "www.example.com", for tests and lists
    bool anyIn(const NameSet &set) const;
    bool has(quint64 hash) const;
};

// What one user's devices may not resolve.
struct DnsUserLists {
    NameSet sites;
    QList<std::shared_ptr<const NameSet>> categories; // shared by every user who blocks them
};

// Who asks: a device that named itself with its key (DNS over TLS or HTTPS), wherever it is, or
// else the address a query comes from.
struct DnsClient {
    DnsClient(const QHostAddress &address, const QByteArray &keyHash = {})
        : address(address)
        , keyHash(keyHash)
    {
    }
    QHostAddress address;
    QByteArray keyHash; // DeviceKey::hash of the key presented; empty: plain DNS
};

// One immutable picture of who is filtered how. The policy builder makes a new one on every
// change; the DNS threads swap their pointer and never lock.
class DnsPolicy
{
public:
    enum class Verdict { refuse, block, probe, forward };

    struct Data {
        // The address of each user's latest status call. An address several users called from
        // lately has a negative id: its lists are theirs united, so that nobody behind it gets
        // fewer blocks than they asked for.
        QHash<QHostAddress, qint64> deviceUsers;
        QHash<QByteArray, qint64> deviceKeys; // hash of a device's key: its user
        QHash<qint64, std::shared_ptr<const DnsUserLists>> users;
        std::shared_ptr<const NameSet> alwaysBlocked;   // for every client
        std::shared_ptr<const NameSet> encryptedDns;    // for users' devices
        QString probeZone;                              // answered with a TXT record
        QList<QPair<QHostAddress, int>> allowedClients; // besides loopback and private ranges
    };

    explicit DnsPolicy(Data data);

    Verdict decide(const DnsClient &client, const NameSuffixes &name) const;
    // False when every query of this client is refused, whatever the name.
    bool answers(const DnsClient &client) const;
    // Whether this key names a device the policy knows.
    bool knowsKey(const QByteArray &keyHash) const { return m_data.deviceKeys.contains(keyHash); }
    // Loopback, private, link-local or one of the allowed ranges.
    bool isLocalClient(const QHostAddress &client) const;
    const Data &data() const { return m_data; }

    // IPv4-mapped IPv6 addresses as plain IPv4, so both forms find the same device.
    static QHostAddress plainAddress(const QHostAddress &address);

private:
    // The lists that apply to the client; null for a stranger.
    const DnsUserLists *listsFor(const DnsClient &client, const QHostAddress &address) const;

    Data m_data;
    quint64 m_probeHash = 0;
};
