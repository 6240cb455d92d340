#pragma once

#include "DnsPolicy.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <memory>
#include <string>
#include <vector>

struct ldns_struct_pkt;

// The query path without sockets: a message in, the answer (or what to ask upstream) out.
// Messages are read and written with ldns.
namespace DnsQuery {

struct PacketFree {
    void operator()(ldns_struct_pkt *packet) const;
};
using Packet = std::shared_ptr<ldns_struct_pkt>;

enum class Transport { udp, tcp };

struct Outcome {
    enum class Kind { drop, reply, forward } kind = Kind::drop;
    QByteArray reply;     // Kind::reply
    bool blocked = false; // Kind::reply: the policy blocked the name
    Packet query;         // Kind::forward: the parsed query, for building the answer later
    int type = 0;         // Kind::forward
    int klass = 0;        // Kind::forward
    QByteArray question;  // Kind::forward and blocked: the name (lower case), type and class
};

// Answers already built, for queries whose bytes differ only in their id and the letter case of
// their name: such a query gets a copy with those two patched, instead of being read and answered
// with ldns, which is most of the cost of answering. The whole message is the key, so everything
// that shapes an answer (flags, EDNS, the size the client takes) is in it; the transport too.
// An entry says which name it is for, but never whether that name is blocked for the client
// asking: the caller asks the policy each time and uses the entry only when the verdict matches.
class AnswerMemo
{
public:
    struct Entry {
        QByteArray query; // as asked, without its id; the name in lower case
        qsizetype nameSize = 0;
        std::vector<quint64> suffixes; // NameSuffixes of the name
        QByteArray answer;
        bool blocked = false;
        QByteArray source; // an allowed answer: the key of the cached answer it was built from,
        qint64 stamp = 0;  // and which one at which age

        NameSuffixes nameSuffixes() const;
        // The answer under the query's id and with its name as the client spelled it.
        QByteArray answerTo(const char *query) const;
    };

    // The entry for the query (its wire bytes), or null.
    const Entry *find(const char *query, qsizetype size, Transport transport) const;
    // question: Outcome::question of the query. Queries whose name is not right after the
    // header as it was read (a compressed one) are not kept.
    void store(const char *query, qsizetype size, Transport transport, const QByteArray &question,
               const QByteArray &answer, bool blocked, const QByteArray &source = {}, qint64 stamp = 0);

private:
    static constexpr qsizetype maxQuery = 512; // ordinary queries are far smaller; bounds what is kept
    static quint64 keyOf(const char *query, qsizetype size, Transport transport);
    QHash<quint64, Entry> m_entries;
};

// Answers what the policy decides alone (blocked, probe, refused, malformed) and says what to
// resolve for the rest.
Outcome answer(const char *data, qsizetype size, const DnsPolicy &policy, const DnsClient &client,
               Transport transport);
// The query's name in presentation form, "www.example.com.", for the resolver.
std::string nameText(const ldns_struct_pkt *query);

// The answer to the query from an upstream answer in wire format (nullptr: the resolution
// failed, answered SERVFAIL). Over UDP an answer larger than the client takes is truncated.
QByteArray fromUpstream(ldns_struct_pkt *query, const void *packet, int length, Transport transport);
// The same from an upstream answer already read (a cached one: every TTL less ageSeconds).
QByteArray fromAnswer(ldns_struct_pkt *query, const ldns_struct_pkt *upstream, quint32 ageSeconds,
                      Transport transport);
// A cached answer past its TTL, given while the upstream does not answer: TTLs of at most
// staleTtl, marked with the Extended DNS Error "Stale Answer" (3) when the query has EDNS.
QByteArray fromStaleAnswer(ldns_struct_pkt *query, const ldns_struct_pkt *upstream, Transport transport);
constexpr quint32 staleTtl = 30;
// An upstream answer read with ldns; null when unreadable.
Packet readUpstream(const void *packet, int length);
// How long an upstream answer may be reused: its smallest TTL, at most maxCacheSeconds; 0 for
// failures and answers without records.
quint32 cacheSeconds(const ldns_struct_pkt *upstream);
constexpr quint32 maxCacheSeconds = 3600;

// Largest UDP answer the client accepts.
qsizetype udpLimit(const ldns_struct_pkt *query);

constexpr char probeText[] = "nimbrel-filter";

} // namespace DnsQuery
