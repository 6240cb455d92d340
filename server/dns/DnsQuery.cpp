#include "DnsQuery.h"

#include <ldns/ldns.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace DnsQuery {

void PacketFree::operator()(ldns_pkt *packet) const
{
    ldns_pkt_free(packet);
}

namespace {
constexpr quint16 ourUdpSize = 1232;  // what we advertise: no fragmentation on common paths
constexpr quint16 edeBlocked = 15;     // Extended DNS Error "Blocked"
constexpr quint16 edeStale = 3;        // Extended DNS Error "Stale Answer"

struct Wire {
    uint8_t *data = nullptr;
    size_t size = 0;
    ~Wire() { std::free(data); }
};

QByteArray toWire(const ldns_pkt *packet)
{
    Wire wire;
    if (ldns_pkt2wire(&wire.data, packet, &wire.size) != LDNS_STATUS_OK)
        return {};
    return QByteArray(reinterpret_cast<const char *>(wire.data), qsizetype(wire.size));
}

// An answer carrying the query's id, flags and question.
Packet replyTo(const ldns_pkt *query, ldns_pkt_rcode rcode)
{
    Packet reply(ldns_pkt_new(), PacketFree());
    ldns_pkt_set_id(reply.get(), ldns_pkt_id(query));
    ldns_pkt_set_qr(reply.get(), true);
    ldns_pkt_set_opcode(reply.get(), ldns_pkt_get_opcode(query));
    ldns_pkt_set_rd(reply.get(), ldns_pkt_rd(query));
    ldns_pkt_set_cd(reply.get(), ldns_pkt_cd(query));
    ldns_pkt_set_ra(reply.get(), true);
    ldns_pkt_set_rcode(reply.get(), uint8_t(rcode));
    if (ldns_rr_list *question = ldns_pkt_question(query)) {
        for (size_t i = 0; i < ldns_rr_list_rr_count(question); ++i)
            ldns_pkt_push_rr(reply.get(), LDNS_SECTION_QUESTION, ldns_rr_clone(ldns_rr_list_rr(question, i)));
    }
    if (ldns_pkt_edns(query)) {
        ldns_pkt_set_edns_udp_size(reply.get(), ourUdpSize);
        ldns_pkt_set_edns_do(reply.get(), ldns_pkt_edns_do(query));
    }
    return reply;
}

void addExtendedError(ldns_pkt *reply, quint16 code)
{
    if (!ldns_pkt_edns(reply))
        return;
    const uint8_t info[2] = {uint8_t(code >> 8), uint8_t(code & 0xff)};
    ldns_edns_option_list *options = ldns_edns_option_list_new();
    ldns_edns_option_list_push(options, ldns_edns_new_from_data(LDNS_EDNS_EDE, sizeof info, info));
    ldns_pkt_set_edns_option_list(reply, options); // the packet owns the list from here on
}

// A header alone answers a message that could not be read: its id, the query's opcode.
QByteArray formatError(const char *data, qsizetype size)
{
    if (size < 12 || (quint8(data[2]) & 0x80))
        return {}; // no header to answer, or an answer: never reply to those
    Packet reply(ldns_pkt_new(), PacketFree());
    ldns_pkt_set_id(reply.get(), uint16_t((quint8(data[0]) << 8) | quint8(data[1])));
    ldns_pkt_set_qr(reply.get(), true);
    ldns_pkt_set_opcode(reply.get(), ldns_pkt_opcode((quint8(data[2]) >> 3) & 0x0f));
    ldns_pkt_set_rcode(reply.get(), LDNS_RCODE_FORMERR);
    return toWire(reply.get());
}

Outcome replied(const Packet &reply)
{
    Outcome out;
    out.reply = toWire(reply.get());
    out.kind = out.reply.isEmpty() ? Outcome::Kind::drop : Outcome::Kind::reply;
    return out;
}

// The name (lower case), type and class of the query's question.
QByteArray questionOf(const ldns_rr *question, const ldns_rdf *owner)
{
    const quint16 type = quint16(ldns_rr_get_type(question));
    const quint16 klass = quint16(ldns_rr_get_class(question));
    QByteArray out =
        QByteArray(reinterpret_cast<const char *>(ldns_rdf_data(owner)), qsizetype(ldns_rdf_size(owner))).toLower();
    out.append(char(type >> 8)).append(char(type)).append(char(klass >> 8)).append(char(klass));
    return out;
}

NameSuffixes suffixesOf(const char *bytes, size_t size)
{
    // The labels of a name ldns has read and checked (each at most 63 bytes, 255 in all).
    std::vector<std::string_view> labels;
    size_t at = 0;
    while (at < size) {
        const size_t length = quint8(bytes[at]);
        if (length == 0 || at + 1 + length > size)
            break;
        labels.emplace_back(bytes + at + 1, length);
        at += 1 + length;
    }
    return NameSuffixes::fromLabels(labels);
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}
} // namespace

qsizetype udpLimit(const ldns_pkt *query)
{
    if (!ldns_pkt_edns(query))
        return 512;
    return qBound<qsizetype>(512, ldns_pkt_edns_udp_size(query), ourUdpSize);
}

Outcome answer(const char *data, qsizetype size, const DnsPolicy &policy, const DnsClient &client,
               Transport transport)
{
    Q_UNUSED(transport); // what the policy answers alone fits any transport
    if (size < 12 || size > 65535)
        return {};
    ldns_pkt *parsed = nullptr;
    if (ldns_wire2pkt(&parsed, reinterpret_cast<const uint8_t *>(data), size_t(size)) != LDNS_STATUS_OK) {
        Outcome out;
        out.reply = formatError(data, size);
        out.kind = out.reply.isEmpty() ? Outcome::Kind::drop : Outcome::Kind::reply;
        return out;
    }
    Packet query(parsed, PacketFree());
    if (ldns_pkt_qr(parsed))
        return {};
    if (ldns_pkt_get_opcode(parsed) != LDNS_PACKET_QUERY)
        return replied(replyTo(parsed, LDNS_RCODE_NOTIMPL));
    if (ldns_pkt_qdcount(parsed) != 1 || ldns_rr_list_rr_count(ldns_pkt_question(parsed)) != 1)
        return replied(replyTo(parsed, LDNS_RCODE_FORMERR));

    const ldns_rr *question = ldns_rr_list_rr(ldns_pkt_question(parsed), 0);
    const ldns_rdf *owner = ldns_rr_owner(question);
    const ldns_rr_type type = ldns_rr_get_type(question);
    const ldns_rr_class klass = ldns_rr_get_class(question);
    if (!owner || ldns_rdf_get_type(owner) != LDNS_RDF_TYPE_DNAME)
        return replied(replyTo(parsed, LDNS_RCODE_FORMERR));

    const NameSuffixes suffixes =
        suffixesOf(reinterpret_cast<const char *>(ldns_rdf_data(owner)), ldns_rdf_size(owner));
    switch (policy.decide(client, suffixes)) {
    case DnsPolicy::Verdict::refuse:
        return replied(replyTo(parsed, LDNS_RCODE_REFUSED));
    case DnsPolicy::Verdict::block: {
        Packet reply = replyTo(parsed, LDNS_RCODE_NXDOMAIN);
        addExtendedError(reply.get(), edeBlocked);
        Outcome out = replied(reply);
        out.blocked = true;
        out.question = questionOf(question, owner);
        return out;
    }
    case DnsPolicy::Verdict::probe: {
        Packet reply = replyTo(parsed, LDNS_RCODE_NOERROR);
        ldns_pkt_set_aa(reply.get(), true);
        if (type == LDNS_RR_TYPE_TXT || type == LDNS_RR_TYPE_ANY) {
            ldns_rr *txt = ldns_rr_new();
            ldns_rr_set_type(txt, LDNS_RR_TYPE_TXT);
            ldns_rr_set_owner(txt, ldns_rdf_clone(owner));
            ldns_rr_set_class(txt, LDNS_RR_CLASS_IN);
            ldns_rr_set_ttl(txt, 0); // every probe must reach the filter itself
            ldns_rdf *text = nullptr;
            ldns_str2rdf_str(&text, probeText);
            ldns_rr_push_rdf(txt, text);
            ldns_pkt_push_rr(reply.get(), LDNS_SECTION_ANSWER, txt);
        }
        return replied(reply);
    }
    case DnsPolicy::Verdict::forward:
        break;
    }

    if (klass != LDNS_RR_CLASS_IN || type == LDNS_RR_TYPE_AXFR || type == LDNS_RR_TYPE_IXFR)
        return replied(replyTo(parsed, LDNS_RCODE_REFUSED));
    Outcome out;
    out.kind = Outcome::Kind::forward;
    out.query = query;
    out.type = int(type);
    out.klass = int(klass);
    out.question = questionOf(question, owner);
    return out;
}

std::string nameText(const ldns_pkt *query)
{
    const ldns_rr *question = ldns_rr_list_rr(ldns_pkt_question(query), 0);
    char *text = question ? ldns_rdf2str(ldns_rr_owner(question)) : nullptr;
    if (!text)
        return {};
    std::string name = text;
    std::free(text);
    return name;
}

quint64 AnswerMemo::keyOf(const char *query, qsizetype size, Transport transport)
{
    // FNV-1a over the message after its id, letters folded (a match is then checked byte by
    // byte: folding outside the name only costs a miss).
    quint64 h = 0xcbf29ce484222325ULL ^ quint64(transport == Transport::tcp ? 1 : 0);
    for (qsizetype i = 2; i < size; ++i) {
        h ^= quint8(lower(query[i]));
        h *= 0x100000001b3ULL;
    }
    return h;
}

const AnswerMemo::Entry *AnswerMemo::find(const char *query, qsizetype size, Transport transport) const
{
    if (size < 12 || size > maxQuery)
        return nullptr;
    const auto found = m_entries.constFind(keyOf(query, size, transport));
    if (found == m_entries.constEnd())
        return nullptr;
    const Entry &entry = *found;
    const char *stored = entry.query.constData();
    if (entry.query.size() != size - 2 + 1 || stored[size - 2] != char(transport == Transport::tcp))
        return nullptr;
    const qsizetype nameEnd = 10 + entry.nameSize; // in stored, which lacks the id
    for (qsizetype i = 0; i < size - 2; ++i) {
        const char c = query[i + 2];
        if ((i >= 10 && i < nameEnd ? lower(c) : c) != stored[i])
            return nullptr;
    }
    return &entry;
}

void AnswerMemo::store(const char *query, qsizetype size, Transport transport, const QByteArray &question,
                       const QByteArray &answer, bool blocked, const QByteArray &source, qint64 stamp)
{
    // The name as the client wrote it sits right after the header in the query and in the answer
    // (the first name of a message is never compressed, by us or by a well-behaved client); a
    // query whose bytes there are not the name ldns read is not kept.
    const qsizetype nameSize = question.size() - 4;
    if (size > maxQuery || nameSize <= 0 || size < 12 + nameSize || answer.size() < 12 + nameSize)
        return;
    Entry entry;
    entry.query.reserve(size - 2 + 1);
    for (qsizetype i = 2; i < size; ++i)
        entry.query.append(i >= 12 && i < 12 + nameSize ? lower(query[i]) : query[i]);
    entry.query.append(char(transport == Transport::tcp));
    if (QByteArrayView(entry.query).sliced(10, nameSize) != QByteArrayView(question).first(nameSize))
        return;
    const NameSuffixes suffixes = suffixesOf(question.constData(), size_t(nameSize));
    entry.suffixes.assign(suffixes.hashes.begin(), suffixes.hashes.begin() + suffixes.count);
    entry.nameSize = nameSize;
    entry.answer = answer;
    entry.blocked = blocked;
    entry.source = source;
    entry.stamp = stamp;
    constexpr qsizetype maxEntries = 100000; // when full, it starts again empty
    if (m_entries.size() >= maxEntries)
        m_entries.clear();
    m_entries.insert(keyOf(query, size, transport), std::move(entry));
}

NameSuffixes AnswerMemo::Entry::nameSuffixes() const
{
    NameSuffixes out;
    out.count = int(suffixes.size());
    std::copy(suffixes.begin(), suffixes.end(), out.hashes.begin());
    return out;
}

QByteArray AnswerMemo::Entry::answerTo(const char *query) const
{
    QByteArray out = answer;
    char *bytes = out.data();
    bytes[0] = query[0];
    bytes[1] = query[1];
    std::memcpy(bytes + 12, query + 12, size_t(nameSize));
    return out;
}

Packet readUpstream(const void *packet, int length)
{
    ldns_pkt *parsed = nullptr;
    if (!packet || length <= 0 ||
        ldns_wire2pkt(&parsed, static_cast<const uint8_t *>(packet), size_t(length)) != LDNS_STATUS_OK)
        return {};
    return Packet(parsed, PacketFree());
}

quint32 cacheSeconds(const ldns_pkt *upstream)
{
    const ldns_pkt_rcode rcode = ldns_pkt_get_rcode(upstream);
    if (rcode != LDNS_RCODE_NOERROR && rcode != LDNS_RCODE_NXDOMAIN)
        return 0;
    quint32 seconds = maxCacheSeconds;
    bool any = false;
    for (const ldns_rr_list *records : {ldns_pkt_answer(upstream), ldns_pkt_authority(upstream)}) {
        for (size_t i = 0; records && i < ldns_rr_list_rr_count(records); ++i) {
            const ldns_rr *record = ldns_rr_list_rr(records, i);
            seconds = qMin(seconds, quint32(ldns_rr_ttl(record)));
            any = true;
        }
    }
    return any ? seconds : 0;
}

QByteArray fromUpstream(ldns_pkt *query, const void *packet, int length, Transport transport)
{
    const Packet upstream = readUpstream(packet, length);
    return fromAnswer(query, upstream.get(), 0, transport);
}

namespace {
QByteArray answerFrom(ldns_pkt *query, const ldns_pkt *upstream, quint32 ageSeconds, std::optional<quint32> fixedTtl,
                      Transport transport)
{
    if (!upstream)
        return toWire(replyTo(query, LDNS_RCODE_SERVFAIL).get());

    // The upstream's records under the query's id, flags, question (with its letter case) and
    // EDNS.
    const ldns_pkt_rcode rcode = ldns_pkt_get_rcode(upstream);
    Packet reply = replyTo(query, rcode);
    ldns_pkt_set_ad(reply.get(), ldns_pkt_ad(upstream));
    const std::pair<ldns_pkt_section, const ldns_rr_list *> sections[] = {
        {LDNS_SECTION_ANSWER, ldns_pkt_answer(upstream)},
        {LDNS_SECTION_AUTHORITY, ldns_pkt_authority(upstream)},
        {LDNS_SECTION_ADDITIONAL, ldns_pkt_additional(upstream)}};
    for (const auto &[section, records] : sections) {
        for (size_t i = 0; records && i < ldns_rr_list_rr_count(records); ++i) {
            const ldns_rr *record = ldns_rr_list_rr(records, i);
            if (ldns_rr_get_type(record) == LDNS_RR_TYPE_OPT)
                continue;
            ldns_rr *copy = ldns_rr_clone(record);
            const quint32 ttl = ldns_rr_ttl(copy);
            ldns_rr_set_ttl(copy, fixedTtl ? qMin(ttl, *fixedTtl) : ttl > ageSeconds ? ttl - ageSeconds : 0);
            ldns_pkt_push_rr(reply.get(), section, copy);
        }
    }
    if (fixedTtl) // only stale answers have one
        addExtendedError(reply.get(), edeStale);
    QByteArray wire = toWire(reply.get());
    if (transport == Transport::udp && wire.size() > udpLimit(query)) {
        Packet truncated = replyTo(query, rcode);
        ldns_pkt_set_tc(truncated.get(), true);
        wire = toWire(truncated.get());
    }
    return wire;
}

} // namespace

QByteArray fromAnswer(ldns_pkt *query, const ldns_pkt *upstream, quint32 ageSeconds, Transport transport)
{
    return answerFrom(query, upstream, ageSeconds, std::nullopt, transport);
}

QByteArray fromStaleAnswer(ldns_pkt *query, const ldns_pkt *upstream, Transport transport)
{
    return answerFrom(query, upstream, 0, staleTtl, transport);
}

} // namespace DnsQuery
