// Answering one DNS query for the .test domain, without a socket.
//
// The responder is authoritative-style and tiny: it reads the header and the first question only.
// An A/IN question for "test" or any name under it is answered with 127.0.0.1 (TTL 60). Because
// systemd-resolved sends every query to every global DNS server and takes the first good answer,
// names outside "test" are REFUSED (so the real upstream answer wins), and other question types
// under ".test" get NOERROR with no answer (a name error would make browsers treat the name as
// missing for A too). An EDNS0 OPT record in the query is echoed. Malformed queries, and names
// longer than the protocol's 255 bytes, get a format error. Responses and anything but a standard
// query get no answer at all. Nothing here throws.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

using QSDNSMessage = std::vector<std::uint8_t>;

namespace QSDNSQuery {

inline constexpr std::size_t headerSize = 12;
inline constexpr std::uint32_t answerTTL = 60;

// The response to `query` (ID and RD copied, RA never set). Shorter than 12 bytes gives a 12-byte
// format error whose ID is the query's first two bytes when present, else 0; the receiver sends
// no answer for it. Empty when `query` must get no answer: it is itself a response (QR set), or
// its opcode is not QUERY.
QSDNSMessage processQuery(std::span<const std::uint8_t> query);

// A question section's name as read by the responder: labels joined by "." (invalid UTF-8
// replaced), the raw label bytes, and the offset just past the name. A compression pointer ends
// the name without being followed. Nothing when a label or pointer runs past the end.
struct ParsedName {
  std::string text;
  std::vector<std::string> labels;
  std::size_t end = 0;
};
std::optional<ParsedName> parseName(std::span<const std::uint8_t> data, std::size_t offset);

}  // namespace QSDNSQuery
}  // namespace qs
