#include "core/routing/proxy_exchange_log.h"

#include "core/platform/text.h"
#include "core/routing/domain_names.h"

#include <charconv>

namespace qs {
namespace {

// The Content-Length a response head declares, when it is a number.
std::optional<std::int64_t> declaredLength(const QSHTTPHead& head) {
  auto text = head.field("content-length");
  if (!text) return std::nullopt;
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end != text->data() + text->size() || value < 0) return std::nullopt;
  return value;
}

}  // namespace

QSProxyExchangeLog::QSProxyExchangeLog(std::string hostname, QSUUID projectID, Sink record)
    : hostname_(std::move(hostname)),
      projectID_(projectID),
      record_(std::move(record)),
      requests_(QSHTTPStream::Direction::requests, [this](const QSHTTPHead& head) { return onRequest(head); }),
      responses_(QSHTTPStream::Direction::responses, [this](const QSHTTPHead& head) { return onResponse(head); }) {}

std::string QSProxyExchangeLog::fromClient(std::string_view bytes) { return requests_.feed(bytes); }

std::string QSProxyExchangeLog::fromProject(std::string_view bytes) { return responses_.feed(bytes); }

std::optional<QSProxyExchangeLog::Refusal> QSProxyExchangeLog::refusal() const {
  auto fault = requests_.fault();
  if (!fault) return std::nullopt;
  switch (*fault) {
    case QSHTTPFault::malformed:
      break;
    case QSHTTPFault::tooLarge:
      return Refusal{431, "Request Header Fields Too Large"};
    case QSHTTPFault::misdirected:
      return Refusal{421, "Misdirected Request"};
  }
  return Refusal{400, "Bad Request"};
}

// Every request on the connection must be for the name it was routed by: another name would
// reach this project's server though it belongs to another project (or none).
QSHTTPBodyFraming QSProxyExchangeLog::onRequest(const QSHTTPHead& head) {
  if (asciiLowercased(QSProxyRequestHead::hostName(*head.field("host"))) != hostname_) {
    requests_.refuse(QSHTTPFault::misdirected);
    return {};
  }
  if (pending_.size() >= maxPending) pending_.pop_front();
  pending_.push_back({head.method, head.target, QSTime::now(), std::chrono::steady_clock::now()});
  return QSProxyRequestHead::requestBody(head);
}

// A final response completes the oldest request; an interim one (1xx but 101) leaves it waiting.
QSHTTPBodyFraming QSProxyExchangeLog::onResponse(const QSHTTPHead& head) {
  std::string method = pending_.empty() ? std::string() : pending_.front().method;
  auto framing = QSProxyRequestHead::responseBody(head, method);
  if (framing.kind == QSHTTPBodyFraming::tunnel) requests_.tunnel();
  if (head.status / 100 == 1 && head.status != 101) return framing;
  if (pending_.empty()) return framing;
  PendingRequest request = std::move(pending_.front());
  pending_.pop_front();
  auto known = fromRawValue<QSHTTPMethod>(request.method);
  if (!record_ || !known) return framing;
  QSLogEntry entry;
  entry.timestamp = request.timestamp;
  entry.method = *known;
  entry.path = std::move(request.path);
  entry.statusCode = head.status;
  entry.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - request.start).count();
  entry.projectID = projectID_;
  entry.requestHeaders = std::map<std::string, std::string>{{"Host", hostname_}};
  entry.responseSize = declaredLength(head);
  entry.source = QSLogSource::proxy;
  record_(std::move(entry));
  return framing;
}

}  // namespace qs
