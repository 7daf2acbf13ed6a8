#include "core/daemon/server_peer.h"

#include <string>

namespace qs {

std::optional<QSUUID> QSServerPeer::subscriptionFor(const QSEvent& event) const {
  for (QSEventKind kind : {QSEventKind::all, event.kind()})
    if (auto found = subscriptions_.find(kind); found != subscriptions_.end() && matches(kind, event))
      return found->second;
  return std::nullopt;
}

bool QSServerPeer::skipLogLine(const QSServiceRef& source) {
  bool first = skippedLogLines_.empty();
  for (auto& [console, count] : skippedLogLines_) {
    if (console == source) {
      ++count;
      return first;
    }
  }
  skippedLogLines_.emplace_back(source, 1);
  return first;
}

std::vector<evt::LogLine> QSServerPeer::takeSkippedLogMarkers() {
  std::vector<evt::LogLine> markers;
  for (auto& [console, count] : skippedLogLines_) {
    markers.push_back({console, "[" + std::to_string(count) + (count == 1 ? " line" : " lines") +
                                    " not shown: this client fell behind the output]"});
  }
  skippedLogLines_.clear();
  return markers;
}

}  // namespace qs
