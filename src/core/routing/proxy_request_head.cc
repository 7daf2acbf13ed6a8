#include "core/routing/proxy_request_head.h"

#include "core/routing/domain_names.h"
#include "core/routing/utf8_repair.h"

#include <vector>

namespace qs::QSProxyRequestHead {
namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (;;) {
    auto end = text.find("\r\n");
    if (end == std::string_view::npos) {
      lines.push_back(text);
      return lines;
    }
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
}

std::string_view trimmed(std::string_view text) {
  const char* blanks = " \t\r\n\v\f";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::optional<std::string> extractHost(std::string_view chunk) {
  std::string text = repairUTF8(chunk);
  auto lines = splitLines(text);
  if (lines.size() < 2) return std::nullopt;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) return std::nullopt;
    if (lowercased(lines[i].substr(0, 5)) != "host:") continue;
    std::string_view value = trimmed(lines[i].substr(5));
    if (auto colon = value.rfind(':'); colon != std::string_view::npos) value = value.substr(0, colon);
    return std::string(value);
  }
  return std::nullopt;
}

bool hasEnoughToRoute(std::string_view received) {
  if (received.size() >= routingLimit || received.find("\r\n\r\n") != std::string_view::npos) return true;
  // A Host line counts once its line break has arrived.
  for (std::size_t at = received.find("\r\n"); at != std::string_view::npos; at = received.find("\r\n", at + 2)) {
    std::string_view line = received.substr(at + 2);
    auto end = line.find("\r\n");
    if (end == std::string_view::npos) break;
    if (lowercased(line.substr(0, 5)) == "host:") return true;
  }
  return false;
}

}  // namespace qs::QSProxyRequestHead
