#include "app/viewmodels/request_log_merger.h"

#include <algorithm>

namespace qs {

bool QSRequestLogMerger::addConsoleEntry(QSLogEntry entry, QSTimestamp now) {
  dropExpired(now);
  auto match = std::find_if(unmatched_.begin(), unmatched_.end(), [&](const Unmatched& u) {
    return u.method == entry.method && u.path == entry.path;
  });
  if (match != unmatched_.end()) {
    unmatched_.erase(match);
    return false;
  }
  append(std::move(entry));
  return true;
}

void QSRequestLogMerger::addProxyEntry(QSLogEntry entry, QSTimestamp now) {
  dropExpired(now);
  std::size_t looked = 0;
  for (auto it = entries_.rbegin(); it != entries_.rend() && looked < lookBack; ++it, ++looked) {
    bool fromConsole = it->source != QSLogSource::proxy;
    auto apart = it->timestamp > entry.timestamp ? it->timestamp - entry.timestamp : entry.timestamp - it->timestamp;
    if (fromConsole && it->statusCode == 0 && it->method == entry.method && it->path == entry.path &&
        apart < matchWindow) {
      *it = std::move(entry);
      return;
    }
  }
  unmatched_.push_back({entry.method, entry.path, now});
  append(std::move(entry));
}

void QSRequestLogMerger::clear() {
  entries_.clear();
  unmatched_.clear();
}

void QSRequestLogMerger::dropExpired(QSTimestamp now) {
  std::erase_if(unmatched_, [now](const Unmatched& u) { return now - u.recordedAt > matchWindow; });
}

void QSRequestLogMerger::append(QSLogEntry entry) {
  entries_.push_back(std::move(entry));
  if (entries_.size() > capacity) entries_.pop_front();
}

}  // namespace qs
