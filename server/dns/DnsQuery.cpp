#include "DnsQuery.h"

#include <ldns/ldns.h>

#include <cstdlib>
#include <cstring>

namespace DnsQuery {

void PacketFree::operator()(ldns_pkt *packet) const
{
    ldns_pkt_free(packet);
}

namespace {
constexpr quint16 ourUdpSize = 1232;  // what we advertise: no fragmentation on common paths
constexpr quint16 edeBlocked = 15;     // Extended DNS Error "Blocked"

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

void addBlockedError(ldns_pkt *reply)
{
    if (!ldns_pkt_edns(reply))
        return;
    const uint8_t info[2] = {uint8_t(edeBlocked >> 8), uint8_t(edeBlocked & 0xff)};
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

// Everything an answer built for this query depends on besides its id and the letter case of its
// name: the question, the flags echoed back, EDNS and what the client takes.
void describe(const ldns_pkt *query, const ldns_rdf *owner, Transport transport, Outcome *out)
{
    const ldns_rr *question = ldns_rr_list_rr(ldns_pkt_question(query), 0);
    const quint16 type = quint16(ldns_rr_get_type(question));
    const quint16 klass = quint16(ldns_rr_get_class(question));
    out->question = QByteArray(reinterpret_cast<const char *>(ldns_rdf_data(owner)), qsizetype(ldns_rdf_size(owner)))
                        .toLower();
    out->question.append(char(type >> 8)).append(char(type)).append(char(klass >> 8)).append(char(klass));
    const char flags = char((ldns_pkt_rd(query) ? 1 : 0) | (ldns_pkt_cd(query) ? 2 : 0) |
                            (ldns_pkt_edns(query) ? 4 : 0) | (ldns_pkt_edns_do(query) ? 8 : 0) |
                            (transport == Transport::tcp ? 16 : 0));
    const quint16 limit = quint16(udpLimit(query));
    out->asked = out->question;
    out->asked.append(flags).append(char(limit >> 8)).append(char(limit));
}

NameSuffixes suffixesOf(const ldns_rdf *name)
{
    // The labels of a name ldns has read and checked (each at most 63 bytes, 255 in all).
    std::vector<std::string_view> labels;
    const auto *bytes = reinterpret_cast<const char *>(ldns_rdf_data(name));
    const size_t size = ldns_rdf_size(name);
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
} // namespace

qsizetype udpLimit(const ldns_pkt *query)
{
    if (!ldns_pkt_edns(query))
        return 512;
    return qBound<qsizetype>(512, ldns_pkt_edns_udp_size(query), ourUdpSize);
}

Outcome answer(const char *data, qsizetype size, const DnsPolicy &policy, const QHostAddress &client,
               Transport transport, AnswerMemo *blocked)
{
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

    const NameSuffixes suffixes = suffixesOf(owner);
    switch (policy.decide(client, suffixes)) {
    case DnsPolicy::Verdict::refuse:
        return replied(replyTo(parsed, LDNS_RCODE_REFUSED));
    case DnsPolicy::Verdict::block: {
        Outcome memo;
        if (blocked) {
            describe(parsed, owner, transport, &memo);
            memo.reply = blocked->find(memo.asked, data, size);
            if (!memo.reply.isEmpty()) {
                memo.kind = Outcome::Kind::reply;
                return memo;
            }
        }
        Packet reply = replyTo(parsed, LDNS_RCODE_NXDOMAIN);
        addBlockedError(reply.get());
        Outcome out = replied(reply);
        if (blocked && out.kind == Outcome::Kind::reply)
            blocked->store(memo.asked, out.reply);
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
    describe(parsed, owner, transport, &out);
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

QByteArray AnswerMemo::find(const QByteArray &asked, const char *query, qsizetype size, qint64 stamp) const
{
    const auto found = m_entries.constFind(asked);
    if (found == m_entries.constEnd() || found->stamp != stamp)
        return {};
    // The name as the client wrote it sits right after the header in both messages (the first
    // name of a message is never compressed); a query whose bytes there are not the name ldns
    // read is answered the long way.
    const qsizetype nameSize = asked.size() - 7;
    if (size < 12 + nameSize || found->answer.size() < 12 + nameSize ||
        QByteArray::fromRawData(query + 12, nameSize).toLower() != QByteArray::fromRawData(asked.constData(), nameSize))
        return {};
    QByteArray answer = found->answer;
    char *bytes = answer.data();
    bytes[0] = query[0];
    bytes[1] = query[1];
    std::memcpy(bytes + 12, query + 12, size_t(nameSize));
    return answer;
}

void AnswerMemo::store(const QByteArray &asked, const QByteArray &answer, qint64 stamp)
{
    constexpr qsizetype maxEntries = 100000; // when full, it starts again empty
    if (m_entries.size() >= maxEntries)
        m_entries.clear();
    m_entries.insert(asked, {answer, stamp});
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

QByteArray fromAnswer(ldns_pkt *query, const ldns_pkt *upstream, quint32 ageSeconds, Transport transport)
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
            ldns_rr_set_ttl(copy, ttl > ageSeconds ? ttl - ageSeconds : 0);
            ldns_pkt_push_rr(reply.get(), section, copy);
        }
    }
    QByteArray wire = toWire(reply.get());
    if (transport == Transport::udp && wire.size() > udpLimit(query)) {
        Packet truncated = replyTo(query, rcode);
        ldns_pkt_set_tc(truncated.get(), true);
        wire = toWire(truncated.get());
    }
    return wire;
}

} // namespace DnsQuery
