#include "core/platform/utf8.h"

#include <cstdint>

namespace qs {
namespace {

// What a lead byte allows: the sequence's length (0 when the byte cannot start one) and the
// range of the second byte, which depends on the lead (RFC 3629, table 3-7).
struct LeadRule {
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;
};

LeadRule ruleFor(std::uint8_t lead) {
  if (lead < 0x80) return {1};
  if (lead >= 0xC2 && lead <= 0xDF) return {2};
  if (lead == 0xE0) return {3, 0xA0};
  if (lead >= 0xE1 && lead <= 0xEC) return {3};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xEE && lead <= 0xEF) return {3};
  if (lead == 0xF0) return {4, 0x90};
  if (lead >= 0xF1 && lead <= 0xF3) return {4};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {};
}

// Whether the bytes after the lead are what `rule` allows (as many as there are).
bool followsRule(std::string_view bytes, const LeadRule& rule) {
  for (std::size_t k = 1; k < bytes.size(); ++k) {
    auto byte = static_cast<std::uint8_t>(bytes[k]);
    if (k == 1 ? (byte < rule.low || byte > rule.high) : (byte < 0x80 || byte > 0xBF)) return false;
  }
  return true;
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  LeadRule rule = ruleFor(static_cast<std::uint8_t>(text[at]));
  if (rule.length == 0 || rule.length > text.size() - at) return 0;
  return followsRule(text.substr(at, rule.length), rule) ? rule.length : 0;
}

bool isUTF8Prefix(std::string_view partial) {
  if (partial.empty()) return false;
  LeadRule rule = ruleFor(static_cast<std::uint8_t>(partial[0]));
  return rule.length > partial.size() && followsRule(partial, rule);
}

bool isValidUTF8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<std::uint8_t>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string replacingInvalidUTF8(std::string_view text) {
  if (isValidUTF8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

}  // namespace qs
