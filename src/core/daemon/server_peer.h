// One client connection of the daemon server and the event kinds it subscribed to.
#pragma once

#include "core/daemon/framed_connection.h"
#include "core/platform/uuid.h"
#include "core/protocol/event.h"

#include <map>
#include <memory>
#include <optional>

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

private:
  QSUUID id_;
  std::shared_ptr<QSFramedConnection> connection_;
  std::map<QSEventKind, QSUUID> subscriptions_;
};

}  // namespace qs
