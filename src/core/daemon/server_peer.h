// One client connection of the daemon server and the event kinds it subscribed to.
#pragma once

#include "core/daemon/framed_connection.h"
#include "core/platform/uuid.h"
#include "core/protocol/event.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qs {

class QSServerPeer {
public:
  QSServerPeer(QSUUID id, std::shared_ptr<QSFramedConnection> connection)
      : id_(id), connection_(std::move(connection)) {}

  // Random, assigned at accept.
  const QSUUID& id() const { return id_; }
  QSFramedConnection& connection() { return *connection_; }

  // Records the subscribe request `requestID` for `kind`, replacing an earlier one of that kind.
  void subscribe(QSEventKind kind, const QSUUID& requestID) { subscriptions_[kind] = requestID; }
  void unsubscribe(QSEventKind kind) { subscriptions_.erase(kind); }

  // The id under which `event` is pushed to this peer: its "all" subscription when it has one
  // (so an event is pushed once even when the peer also subscribed to the event's own kind),
  // else the subscription of the event's kind; nothing when it is not subscribed. Nothing for a
  // `logLine` when the peer takes console lines in batches.
  std::optional<QSUUID> subscriptionFor(const QSEvent& event) const;
  // The `logBatches` subscription, when the peer takes console lines in batches.
  std::optional<QSUUID> batchSubscription() const;

  // Holds console lines for the next batch frame: `lines` is the comma-separated JSON strings
  // of `count` lines of the service whose JSON is `sourceText`. Runs of one service join.
  void holdLines(std::string_view sourceText, std::string_view lines, std::size_t count);
  // Bytes of lines held and not yet framed.
  std::size_t heldBytes() const { return heldBytes_; }
  // The frames of the lines held, in order, at most about `frameBytes` each, and forgets them.
  std::vector<QSBytes> takeHeldFrames(std::size_t frameBytes);

  // Counts `count` log lines of `source` that were not sent because the peer had fallen behind;
  // true for the first lines skipped since the markers were last taken.
  bool skipLogLine(const QSServiceRef& source, std::size_t count = 1);
  // Whether lines have been skipped since the markers were last taken.
  bool isSkippingLogLines() const { return !skippedLogLines_.empty(); }
  // One line per console that lost lines, saying how many, and forgets the counts.
  std::vector<evt::LogLine> takeSkippedLogMarkers();

private:
  QSUUID id_;
  std::shared_ptr<QSFramedConnection> connection_;
  std::map<QSEventKind, QSUUID> subscriptions_;
  std::vector<std::pair<QSServiceRef, std::size_t>> skippedLogLines_;  // few consoles: a list
  struct HeldRun {
    std::string sourceText;
    std::string lines;
  };
  std::vector<HeldRun> held_;
  std::size_t heldBytes_ = 0;
};

// The frame of a `logBatch` event under `subscription`: `sourceText` is the service's JSON,
// `lines` the comma-separated JSON strings of the lines. Assembled from the pieces, so that a
// line is escaped once however many subscribers get it.
QSBytes logBatchFrame(const QSUUID& subscription, std::string_view sourceText, std::string_view lines);

}  // namespace qs
