#include "core/routing/dns_query.h"

#include "core/platform/text.h"
#include "core/routing/domain_names.h"
#include "core/platform/utf8.h"

namespace qs::QSDNSQuery {
namespace {

constexpr std::uint16_t kTypeA = 1;
constexpr std::uint16_t kTypeOPT = 41;
constexpr std::uint16_t kClassIN = 1;
constexpr std::uint8_t kResponseBit = 0x80;     // QR, in the third header byte
constexpr std::uint8_t kOpcodeBits = 0x78;      // OPCODE, ibid.; 0 is a standard query
constexpr std::uint8_t kRecursionDesired = 0x01;  // RD, ibid.
// The longest name the protocol allows, in its encoded form (length bytes and the root).
constexpr std::size_t kMaxEncodedName = 255;

enum Rcode : std::uint8_t { noError = 0, formatError = 1, refused = 5 };

std::uint16_t read16(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
}

void put16(QSDNSMessage& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value & 0xff));
}

void put32(QSDNSMessage& out, std::uint32_t value) {
  put16(out, static_cast<std::uint16_t>(value >> 16));
  put16(out, static_cast<std::uint16_t>(value & 0xffff));
}

// ID, flags (response, recursion desired copied from the query, never authoritative, never
// recursion available: nothing is ever looked up elsewhere), four counts.
QSDNSMessage header(std::span<const std::uint8_t> query, Rcode rcode, std::uint16_t qd, std::uint16_t an,
                    std::uint16_t ar) {
  QSDNSMessage out;
  out.reserve(128);  // a usual answer whole, without growing on the way
  out.push_back(query.size() >= 2 ? query[0] : 0);
  out.push_back(query.size() >= 2 ? query[1] : 0);
  out.push_back(static_cast<std::uint8_t>(0x80 | (query.size() >= 3 ? query[2] & kRecursionDesired : 0)));
  out.push_back(rcode);
  put16(out, qd);
  put16(out, an);
  put16(out, 0);
  put16(out, ar);
  return out;
}

QSDNSMessage formatErrorResponse(std::span<const std::uint8_t> query) { return header(query, formatError, 0, 0, 0); }

bool isUnderTest(const std::string& name) {
  std::string lower = asciiLowercased(name);
  return lower == "test" || (lower.size() > 5 && lower.ends_with(".test"));
}

// The class (requester's payload size) of an OPT record right after the question, when the
// query's additional section starts with one.
std::optional<std::uint16_t> ednsPayloadSize(std::span<const std::uint8_t> query, std::size_t afterQuestion) {
  if (read16(query, 10) == 0) return std::nullopt;
  // Root name, TYPE, CLASS, TTL, RDLENGTH.
  if (query.size() < afterQuestion + 11 || query[afterQuestion] != 0) return std::nullopt;
  if (read16(query, afterQuestion + 1) != kTypeOPT) return std::nullopt;
  return read16(query, afterQuestion + 3);
}

// An OPT record of our own: the requester's payload size, no extended flags or options.
void putOPT(QSDNSMessage& out, std::uint16_t payloadSize) {
  out.push_back(0);
  put16(out, kTypeOPT);
  put16(out, payloadSize);
  put32(out, 0);
  put16(out, 0);
}

std::size_t encodedLength(const std::vector<std::string>& labels) {
  std::size_t length = 1;
  for (const auto& label : labels) length += 1 + label.size();
  return length;
}

void putEncodedName(QSDNSMessage& out, const std::vector<std::string>& labels) {
  for (const auto& label : labels) {
    out.push_back(static_cast<std::uint8_t>(label.size()));
    out.insert(out.end(), label.begin(), label.end());
  }
  out.push_back(0);
}

}  // namespace

std::optional<ParsedName> parseName(std::span<const std::uint8_t> data, std::size_t offset) {
  ParsedName name;
  std::size_t at = offset;
  for (;;) {
    if (at >= data.size()) return std::nullopt;
    std::uint8_t length = data[at];
    if (length == 0) {
      name.end = at + 1;
      break;
    }
    if ((length & 0xC0) == 0xC0) {
      if (at + 1 >= data.size()) return std::nullopt;
      name.end = at + 2;
      break;
    }
    if (at + 1 + length > data.size()) return std::nullopt;
    name.labels.emplace_back(reinterpret_cast<const char*>(data.data() + at + 1), length);
    at += 1 + length;
  }
  for (std::size_t i = 0; i < name.labels.size(); ++i)
    name.text += (i ? "." : "") + replacingInvalidUTF8(name.labels[i]);
  return name;
}

QSDNSMessage processQuery(std::span<const std::uint8_t> query) {
  if (query.size() < headerSize) return formatErrorResponse(query);
  // Answering a response would let one forged packet bounce between two responders forever.
  if (query[2] & (kResponseBit | kOpcodeBits)) return {};
  auto name = parseName(query, headerSize);
  if (!name || query.size() < name->end + 4 || encodedLength(name->labels) > kMaxEncodedName)
    return formatErrorResponse(query);
  std::uint16_t type = read16(query, name->end);
  std::uint16_t klass = read16(query, name->end + 2);
  std::size_t questionEnd = name->end + 4;
  std::span<const std::uint8_t> question = query.subspan(headerSize, questionEnd - headerSize);
  auto edns = ednsPayloadSize(query, questionEnd);
  std::uint16_t additional = edns ? 1 : 0;

  bool local = isUnderTest(name->text);
  bool answered = local && type == kTypeA && klass == kClassIN;
  QSDNSMessage out = header(query, local ? noError : refused, 1, answered ? 1 : 0, additional);
  out.insert(out.end(), question.begin(), question.end());
  if (answered) {
    putEncodedName(out, name->labels);
    put16(out, kTypeA);
    put16(out, kClassIN);
    put32(out, answerTTL);
    put16(out, 4);
    for (std::uint8_t byte : {127, 0, 0, 1}) out.push_back(byte);
  }
  if (edns) putOPT(out, *edns);
  return out;
}

}  // namespace qs::QSDNSQuery
