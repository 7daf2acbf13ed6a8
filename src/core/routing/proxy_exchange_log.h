// The HTTP side of one proxied connection: both directions followed message by message
// (QSHTTPStream), requests matched in order with their final responses, and each pair logged as
// a QSLogEntry. Interim responses (100 Continue, 103 Early Hints) answer nothing; 101 Switching
// Protocols is logged and turns both directions into a plain tunnel.
//
// A request the relay cannot frame unambiguously, or one for another host, is not passed on:
// nothing from the client is from then on, and refusal() gives the page to answer with once the
// project has answered what came before.
#pragma once

#include "core/models/log_entry.h"
#include "core/routing/proxy_http_stream.h"

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

class QSProxyExchangeLog {
public:
  using Sink = std::function<void(QSLogEntry)>;
  // Requests awaiting a response beyond this many are dropped from the log, oldest first, so that
  // a client that pipelines without reading cannot make the queue grow without bound.
  static constexpr std::size_t maxPending = 256;

  struct Refusal {
    int status;
    std::string reason;
  };

  // `hostname` (lower case, no port) is the name the connection was routed by. Without a
  // `record` sink the connection is framed (and refused) all the same, but nothing is logged.
  QSProxyExchangeLog(std::string hostname, QSUUID projectID, Sink record);
  QSProxyExchangeLog(const QSProxyExchangeLog&) = delete;
  QSProxyExchangeLog& operator=(const QSProxyExchangeLog&) = delete;

  // Bytes from the client; returns what goes to the project now.
  std::string fromClient(std::string_view bytes);
  // Bytes from the project; returns what goes to the client now.
  std::string fromProject(std::string_view bytes);
  // When the project has ended its stream: whatever of its last bytes was still held back.
  std::string projectEnded() { return responses_.drain(); }

  // How many of the next bytes from the client (the project) pass on unexamined: body bytes,
  // or everything (QSHTTPStream::untilEnd) once tunnelled. The relay may move that many without
  // feeding them, then says how many it moved.
  std::uint64_t clientUnexamined() const { return requests_.unexamined(); }
  std::uint64_t projectUnexamined() const { return responses_.unexamined(); }
  void clientRelayed(std::uint64_t n) { requests_.skip(n); }
  void projectRelayed(std::uint64_t n) { responses_.skip(n); }

  // 400 Bad Request, 421 Misdirected Request or 431 Request Header Fields Too Large.
  std::optional<Refusal> refusal() const;
  std::size_t pendingCount() const { return pending_.size(); }

private:
  struct PendingRequest {
    std::string method;
    std::string path;
    QSTimestamp timestamp;
    std::chrono::steady_clock::time_point start;
  };

  QSHTTPBodyFraming onRequest(const QSHTTPHead& head);
  QSHTTPBodyFraming onResponse(const QSHTTPHead& head);

  std::string hostname_;
  QSUUID projectID_;
  Sink record_;
  std::deque<PendingRequest> pending_;
  QSHTTPStream requests_;
  QSHTTPStream responses_;
};

}  // namespace qs
