#pragma once

#include "DnsPolicy.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <memory>
#include <string>

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
    QByteArray reply;    // Kind::reply
    Packet query;        // Kind::forward: the parsed query, for building the answer later
    int type = 0;        // Kind::forward
    int klass = 0;       // Kind::forward
    QByteArray question; // Kind::forward: the name (lower case), type and class, as a cache key
    QByteArray asked;    // Kind::forward: question plus what else shapes the answer (see AnswerMemo)
};

// Answers already built, for queries that differ only in their id and the letter case of their
// name: such a query gets a copy with those two patched, instead of a new answer built with
// ldns, which is most of the cost of answering. Keyed by Outcome::asked.
class AnswerMemo
{
public:
    // The answer for the query (its wire bytes), or empty. stamp must equal the stored one.
    QByteArray find(const QByteArray &asked, const char *query, qsizetype size, qint64 stamp = 0) const;
    void store(const QByteArray &asked, const QByteArray &answer, qint64 stamp = 0);

private:
    struct Entry {
        QByteArray answer;
        qint64 stamp = 0;
    };
    QHash<QByteArray, Entry> m_entries;
};

// Answers what the policy decides alone (blocked, probe, refused, malformed) and says what to
// resolve for the rest. Blocked answers come from the memo when it has them, and go into it.
Outcome answer(const char *data, qsizetype size, const DnsPolicy &policy, const QHostAddress &client,
               Transport transport, AnswerMemo *blocked = nullptr);
// The query's name in presentation form, "www.example.com.", for the resolver.
std::string nameText(const ldns_struct_pkt *query);

// The answer to the query from an upstream answer in wire format (nullptr: the resolution
// failed, answered SERVFAIL). Over UDP an answer larger than the client takes is truncated.
QByteArray fromUpstream(ldns_struct_pkt *query, const void *packet, int length, Transport transport);
// The same from an upstream answer already read (a cached one: every TTL less ageSeconds).
QByteArray fromAnswer(ldns_struct_pkt *query, const ldns_struct_pkt *upstream, quint32 ageSeconds,
                      Transport transport);
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
