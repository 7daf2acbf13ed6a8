#include "core/models/connection_url.h"

#include "core/platform/encoding.h"

#include <cctype>

namespace qs {
namespace {

bool isSchemeCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

std::optional<std::string> schemeOf(std::string_view text) {
  std::size_t colon = text.find(':');
  if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
  if (!std::isalpha(static_cast<unsigned char>(text[0]))) return std::nullopt;
  std::string scheme;
  for (char c : text.substr(0, colon)) {
    if (!isSchemeCharacter(c)) return std::nullopt;
    scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return scheme;
}

// Passwords are often pasted unencoded; a stray `%` should not lose the whole reference.
std::string decoded(std::string_view text) {
  auto out = percentDecode(text);
  return out ? *out : std::string(text);
}

std::optional<int> parsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port > 65535) return std::nullopt;
  return port;
}

// "host", "host:port", "[v6]" or "[v6]:port"; false when malformed.
bool parseHostAndPort(std::string_view text, QSConnectionURL& url) {
  std::string_view host = text;
  std::string_view port;
  bool hasPort = false;
  if (text.starts_with('[')) {
    std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(1, close - 1);
    std::string_view after = text.substr(close + 1);
    if (!after.empty() && after.front() != ':') return false;
    hasPort = !after.empty();
    if (hasPort) port = after.substr(1);
  } else if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    hasPort = true;
  }
  url.host = decoded(host);
  if (!hasPort || port.empty()) return true;
  url.port = parsePort(port);
  return url.port.has_value();
}

void parseUserInfo(std::string_view text, QSConnectionURL& url) {
  std::size_t colon = text.find(':');
  url.user = decoded(text.substr(0, colon));
  if (colon != std::string_view::npos) url.password = decoded(text.substr(colon + 1));
}

}  // namespace

std::optional<QSConnectionURL> QSConnectionURL::parse(std::string_view text) {
  auto scheme = schemeOf(text);
  if (!scheme) return std::nullopt;
  QSConnectionURL url;
  url.scheme = std::move(*scheme);
  std::string_view rest = text.substr(url.scheme.size() + 1);
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
      parseUserInfo(authority.substr(0, at), url);
      authority.remove_prefix(at + 1);
    }
    if (!parseHostAndPort(authority, url)) return std::nullopt;
  }
  url.path = decoded(rest);
  return url;
}

}  // namespace qs
