#include "core/routing/proxy_request_head.h"

#include "core/platform/text.h"
#include "core/routing/domain_names.h"

#include <algorithm>
#include <charconv>

namespace qs {

std::optional<std::string_view> QSHTTPHead::field(std::string_view name) const {
  for (const auto& [key, value] : fields)
    if (key == name) return value;
  return std::nullopt;
}

std::size_t QSHTTPHead::count(std::string_view name) const {
  return static_cast<std::size_t>(std::count_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; }));
}

namespace QSProxyRequestHead {
namespace {

using Parsed = std::variant<QSHTTPHead, QSHTTPFault>;

bool isTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar); }

// The lines of a head without their line ends (the blank last line dropped).
std::vector<std::string_view> lines(std::string_view head, bool strict) {
  std::vector<std::string_view> out;
  while (!head.empty()) {
    auto end = head.find('\n');
    std::string_view line = head.substr(0, end);
    if (!strict && line.ends_with('\r')) line.remove_suffix(1);
    if (strict) line.remove_suffix(1);  // every LF follows a CR there (checked before)
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
    if (line.empty()) break;
    out.push_back(line);
  }
  return out;
}

// Every CR followed by LF and every LF preceded by CR.
bool hasOnlyCRLF(std::string_view head) {
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (head[i] == '\r' && (i + 1 == head.size() || head[i + 1] != '\n')) return false;
    if (head[i] == '\n' && (i == 0 || head[i - 1] != '\r')) return false;
  }
  return true;
}

bool hasControlCharacter(std::string_view value) {
  return std::any_of(value.begin(), value.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
  });
}

// The comma-separated items of a field's values, trimmed.
std::vector<std::string_view> listItems(const QSHTTPHead& head, std::string_view name) {
  std::vector<std::string_view> items;
  for (const auto& [key, value] : head.fields) {
    if (key != name) continue;
    std::string_view rest = value;
    for (;;) {
      auto comma = rest.find(',');
      items.push_back(trimmed(rest.substr(0, comma), kBlanks));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return items;
}

std::optional<std::uint64_t> decimal(std::string_view text) {
  if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The one length all Content-Length items agree on; nothing when there are none, or they differ
// or are not numbers (`valid` false then).
std::optional<std::uint64_t> agreedLength(const QSHTTPHead& head, bool& valid) {
  valid = true;
  std::optional<std::uint64_t> length;
  for (auto item : listItems(head, "content-length")) {
    auto value = decimal(item);
    if (!value || (length && *length != *value)) {
      valid = false;
      return std::nullopt;
    }
    length = value;
  }
  return length;
}

// Whether the last transfer coding is chunked (and chunked is not applied twice).
bool endsChunked(const QSHTTPHead& head) {
  auto codings = listItems(head, "transfer-encoding");
  auto isChunked = [](std::string_view coding) { return asciiLowercased(coding) == "chunked"; };
  return !codings.empty() && isChunked(codings.back()) && std::count_if(codings.begin(), codings.end(), isChunked) == 1;
}

bool readFields(const std::vector<std::string_view>& lines, QSHTTPHead& head, bool strict) {
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    auto colon = line.find(':');
    bool folded = line.front() == ' ' || line.front() == '\t';
    if (folded || colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
      if (strict) return false;
      continue;
    }
    std::string_view value = trimmed(line.substr(colon + 1), kBlanks);
    if (strict && hasControlCharacter(value)) return false;
    head.fields.emplace_back(asciiLowercased(line.substr(0, colon)), std::string(value));
  }
  return true;
}

}  // namespace

std::optional<std::size_t> headLength(std::string_view bytes) {
  for (auto lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n', lf + 1)) {
    std::size_t next = lf + 1;
    if (next < bytes.size() && bytes[next] == '\n') return next + 1;
    if (next + 1 < bytes.size() && bytes[next] == '\r' && bytes[next + 1] == '\n') return next + 2;
  }
  return std::nullopt;
}

Parsed parseRequest(std::string_view text) {
  if (!hasOnlyCRLF(text)) return QSHTTPFault::malformed;
  auto all = lines(text, true);
  if (all.empty()) return QSHTTPFault::malformed;
  QSHTTPHead head;
  std::string_view start = all[0];
  auto first = start.find(' '), last = start.rfind(' ');
  if (first == std::string_view::npos || first == last) return QSHTTPFault::malformed;
  std::string_view method = start.substr(0, first), target = start.substr(first + 1, last - first - 1);
  std::string_view version = start.substr(last + 1);
  if (!isToken(method) || target.empty() || target.find_first_of(" \t") != std::string_view::npos ||
      (version != "HTTP/1.1" && version != "HTTP/1.0"))
    return QSHTTPFault::malformed;
  head.method = method;
  head.target = target;
  if (!readFields(all, head, true)) return QSHTTPFault::malformed;
  auto host = head.field("host");
  if (head.count("host") != 1 || hostName(*host).empty()) return QSHTTPFault::malformed;
  bool lengthValid = true;
  auto length = agreedLength(head, lengthValid);
  if (!lengthValid) return QSHTTPFault::malformed;
  if (head.count("transfer-encoding") > 0 && (length || head.count("content-length") > 0 || version == "HTTP/1.0" ||
                                              !endsChunked(head)))
    return QSHTTPFault::malformed;
  return head;
}

QSHTTPBodyFraming requestBody(const QSHTTPHead& request) {
  if (request.count("transfer-encoding") > 0) return {QSHTTPBodyFraming::chunked};
  bool valid = true;
  auto length = agreedLength(request, valid);
  if (!length || *length == 0) return {};
  return {QSHTTPBodyFraming::counted, *length};
}

std::optional<QSHTTPHead> parseResponse(std::string_view text) {
  auto all = lines(text, false);
  if (all.empty()) return std::nullopt;
  std::string_view start = all[0];
  if (!start.starts_with("HTTP/1.") || start.size() < 12 || start[8] != ' ' || (start.size() > 12 && start[12] != ' '))
    return std::nullopt;
  auto code = start.substr(9, 3);
  if (!std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }) || code[0] == '0')
    return std::nullopt;
  QSHTTPHead head;
  head.status = static_cast<int>(*decimal(code));
  readFields(all, head, false);
  return head;
}

QSHTTPBodyFraming responseBody(const QSHTTPHead& response, std::string_view method) {
  int status = response.status;
  if (status == 101 || (method == "CONNECT" && status / 100 == 2)) return {QSHTTPBodyFraming::tunnel};
  if (status / 100 == 1 || status == 204 || status == 304 || method == "HEAD") return {};
  if (response.count("transfer-encoding") > 0)
    return {endsChunked(response) ? QSHTTPBodyFraming::chunked : QSHTTPBodyFraming::untilClose};
  bool valid = true;
  auto length = agreedLength(response, valid);
  if (!valid || !length) return {QSHTTPBodyFraming::untilClose};
  if (*length == 0) return {};
  return {QSHTTPBodyFraming::counted, *length};
}

std::string hostName(std::string_view hostField) {
  std::string_view host = trimmed(hostField, kBlanks);
  auto colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) host = host.substr(0, colon);
  return std::string(host);
}

}  // namespace QSProxyRequestHead
}  // namespace qs
