#include "core/routing/proxy_exchange_log.h"

#include "core/routing/domain_names.h"

#include <charconv>
#include <optional>

namespace qs {
namespace {

// The space-separated words of the first line of `head`.
std::vector<std::string_view> firstLineWords(std::string_view head) {
  std::string_view line = head.substr(0, head.find("\r\n"));
  std::vector<std::string_view> words;
  while (!line.empty()) {
    auto space = line.find(' ');
    if (space != 0) words.push_back(line.substr(0, space));
    if (space == std::string_view::npos) break;
    line.remove_prefix(space + 1);
  }
  return words;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data() || value < 0) return std::nullopt;
  return value;
}

// The Content-Length of a response head (within what was looked at).
std::optional<std::int64_t> contentLength(std::string_view head) {
  for (std::size_t at = head.find("\r\n"); at != std::string_view::npos; at = head.find("\r\n", at + 2)) {
    std::string_view line = head.substr(at + 2, head.find("\r\n", at + 2) - (at + 2));
    if (line.empty()) break;
    if (lowercased(line.substr(0, 15)) == "content-length:") return parseInteger(line.substr(15));
  }
  return std::nullopt;
}

}  // namespace

QSProxyExchangeLog::QSProxyExchangeLog(std::string hostname, QSUUID projectID, Sink record)
    : hostname_(std::move(hostname)), projectID_(projectID), record_(std::move(record)) {}

void QSProxyExchangeLog::observeRequest(std::string_view chunk) {
  auto words = firstLineWords(chunk.substr(0, peekLimit));
  if (words.size() < 2) return;
  auto method = fromRawValue<QSHTTPMethod>(words[0]);
  if (!method) return;
  if (pending_.size() >= maxPending) pending_.pop_front();
  pending_.push_back({*method, std::string(words[1]), QSTime::now(), std::chrono::steady_clock::now()});
}

void QSProxyExchangeLog::observeResponse(std::string_view chunk) {
  std::string_view head = chunk.substr(0, peekLimit);
  if (!head.starts_with("HTTP/")) return;
  auto words = firstLineWords(head);
  if (words.size() < 2 || pending_.empty()) return;
  PendingRequest request = std::move(pending_.front());
  pending_.pop_front();
  QSLogEntry entry;
  entry.timestamp = request.timestamp;
  entry.method = request.method;
  entry.path = std::move(request.path);
  entry.statusCode = static_cast<int>(parseInteger(words[1]).value_or(0));
  entry.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - request.start).count();
  entry.projectID = projectID_;
  entry.requestHeaders = std::map<std::string, std::string>{{"Host", hostname_}};
  entry.responseSize = contentLength(head);
  entry.source = QSLogSource::proxy;
  if (record_) record_(std::move(entry));
}

}  // namespace qs
