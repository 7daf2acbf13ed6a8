// The request log of one proxied connection: request heads seen going to the project are
// matched, in order, with response heads coming back, and each pair becomes a QSLogEntry.
//
// Each chunk is looked at on its own (its first 2 KiB): a head split across chunks is only
// recognised by its first chunk, and chunks that do not start a head (bodies) are ignored.
#pragma once

#include "core/models/log_entry.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace qs {

class QSProxyExchangeLog {
public:
  using Sink = std::function<void(QSLogEntry)>;
  // How much of each chunk is examined.
  static constexpr std::size_t peekLimit = 2048;
  // Requests awaiting a response beyond this many are dropped, oldest first, so that a client
  // that pipelines without reading cannot make the queue grow without bound.
  static constexpr std::size_t maxPending = 256;

  QSProxyExchangeLog(std::string hostname, QSUUID projectID, Sink record);

  // A chunk going to the project: a request line with a known method is remembered.
  void observeRequest(std::string_view chunk);
  // A chunk coming back: a status line completes the oldest remembered request.
  void observeResponse(std::string_view chunk);

  std::size_t pendingCount() const { return pending_.size(); }

private:
  struct PendingRequest {
    QSHTTPMethod method;
    std::string path;
    QSTimestamp timestamp;
    std::chrono::steady_clock::time_point start;
  };

  std::string hostname_;
  QSUUID projectID_;
  Sink record_;
  std::deque<PendingRequest> pending_;
};

}  // namespace qs
