#include "DnsWire.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <ldns/ldns.h>

#define DNSWIRE_EXPORT extern "C" __attribute__((visibility("default")))

DNSWIRE_EXPORT int nimbrel_dnswire_txt_query(const char *name, std::uint16_t id, unsigned char *out, std::size_t *size)
{
    if (!name || !out || !size)
        return -1;
    ldns_rdf *owner = ldns_dname_new_frm_str(name);
    if (!owner)
        return -1;
    // The packet owns the name from here on.
    ldns_pkt *query = ldns_pkt_query_new(owner, LDNS_RR_TYPE_TXT, LDNS_RR_CLASS_IN, LDNS_RD);
    if (!query)
        return -1;
    ldns_pkt_set_id(query, id);
    uint8_t *wire = nullptr;
    std::size_t length = 0;
    int result = -1;
    if (ldns_pkt2wire(&wire, query, &length) == LDNS_STATUS_OK && length <= *size) {
        std::memcpy(out, wire, length);
        *size = length;
        result = 0;
    }
    std::free(wire);
    ldns_pkt_free(query);
    return result;
}

DNSWIRE_EXPORT int nimbrel_dnswire_answers_txt(const unsigned char *message, std::size_t size, const char *name,
                                               std::uint16_t id, const char *text, std::size_t textSize)
{
    if (!message || !name || !text)
        return 0;
    ldns_pkt *answer = nullptr;
    if (ldns_wire2pkt(&answer, message, size) != LDNS_STATUS_OK)
        return 0;
    int found = 0;
    ldns_rdf *owner = ldns_dname_new_frm_str(name);
    if (owner && ldns_pkt_id(answer) == id && ldns_pkt_qr(answer) && ldns_pkt_get_rcode(answer) == LDNS_RCODE_NOERROR) {
        ldns_rr_list *records = ldns_pkt_answer(answer);
        for (std::size_t i = 0; records && i < ldns_rr_list_rr_count(records) && !found; ++i) {
            ldns_rr *rr = ldns_rr_list_rr(records, i);
            if (ldns_rr_get_type(rr) != LDNS_RR_TYPE_TXT || ldns_dname_compare(ldns_rr_owner(rr), owner) != 0)
                continue;
            for (std::size_t j = 0; j < ldns_rr_rd_count(rr) && !found; ++j) {
                // A character-string: its length, then its bytes.
                const ldns_rdf *string = ldns_rr_rdf(rr, j);
                const std::size_t stored = ldns_rdf_size(string);
                const uint8_t *data = ldns_rdf_data(string);
                found = stored >= 1 && data[0] == textSize && stored >= 1 + textSize
                        && std::memcmp(data + 1, text, textSize) == 0;
            }
        }
    }
    ldns_rdf_deep_free(owner);
    ldns_pkt_free(answer);
    return found;
}

// Checked here, where both the declarations and the definitions are seen.
static_assert(std::is_same_v<decltype(&nimbrel_dnswire_txt_query), DnsWireTxtQueryFn>);
static_assert(std::is_same_v<decltype(&nimbrel_dnswire_answers_txt), DnsWireAnswersTxtFn>);
