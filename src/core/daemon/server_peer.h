// One client connection of the daemon server and the event kinds it subscribed to.
#pragma once

#include "core/daemon/framed_connection.h"
#include "core/platform/uuid.h"
#include "core/protocol/event.h"

#include <map>
#include <memory>
#include <optional>
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
  // else the subscription of the event's kind; nothing when it is not subscribed.
  std::optional<QSUUID> subscriptionFor(const QSEvent& event) const;

  // Counts a log line of `source` that was not sent because the peer had fallen behind; true
  // for the first line skipped since the markers were last taken.
  bool skipLogLine(const QSServiceRef& source);
  // Whether lines have been skipped since the markers were last taken.
  bool isSkippingLogLines() const { return !skippedLogLines_.empty(); }
  // One line per console that lost lines, saying how many, and forgets the counts.
  std::vector<evt::LogLine> takeSkippedLogMarkers();

private:
  QSUUID id_;
  std::shared_ptr<QSFramedConnection> connection_;
  std::map<QSEventKind, QSUUID> subscriptions_;
  std::vector<std::pair<QSServiceRef, std::size_t>> skippedLogLines_;  // few consoles: a list
};

}  // namespace qs
