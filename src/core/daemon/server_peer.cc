#include "core/daemon/server_peer.h"

namespace qs {

std::optional<QSUUID> QSServerPeer::subscriptionFor(const QSEvent& event) const {
  for (QSEventKind kind : {QSEventKind::all, event.kind()})
    if (auto found = subscriptions_.find(kind); found != subscriptions_.end()) return found->second;
  return std::nullopt;
}

}  // namespace qs
