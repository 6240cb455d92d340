#pragma once

#include <cstddef>
#include <cstdint>

// What libnimbrel-dnswire exports, looked up by name when the module is loaded. Both sides
// include this header, so a changed signature fails to build instead of failing at run time.
extern "C" {
// Writes the wire form of a recursive TXT question for name (a fully qualified name, NUL
// terminated) with the given id into out, which holds *size bytes; sets *size to the length
// written. Returns 0 on success, -1 when the name cannot be encoded or out is too small.
using DnsWireTxtQueryFn = int (*)(const char *name, std::uint16_t id, unsigned char *out, std::size_t *size);
// 1 when the message (size bytes) answers the question (name, id) without error and holds a
// TXT record for that name whose first character-string is text (textSize bytes); else 0.
using DnsWireAnswersTxtFn = int (*)(const unsigned char *message, std::size_t size, const char *name,
                                    std::uint16_t id, const char *text, std::size_t textSize);
}

namespace DnsWire {
inline constexpr char fileBaseName[] = "nimbrel-dnswire";
inline constexpr char txtQuerySymbol[] = "nimbrel_dnswire_txt_query";
inline constexpr char answersTxtSymbol[] = "nimbrel_dnswire_answers_txt";
} // namespace DnsWire
