#pragma once

#include "DnsPolicy.h"

#include <QByteArray>
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
    std::string name;    // Kind::forward: presentation form, "www.example.com."
    int type = 0;
    int klass = 0;
};

// Answers what the policy decides alone (blocked, probe, refused, malformed) and says what to
// resolve for the rest.
Outcome answer(const char *data, qsizetype size, const DnsPolicy &policy, const QHostAddress &client,
               Transport transport);

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
