#include "core/runtime/request_log_merge.h"

#include <algorithm>

namespace qs {
namespace {

bool within(QSTimestamp a, QSTimestamp b, std::chrono::milliseconds window) {
  auto difference = a > b ? a - b : b - a;
  return difference < window;
}

}  // namespace

void QSRequestLogMerge::dropStale(QSTimestamp now) {
  std::erase_if(unmatched_, [&](const Unmatched& u) { return now - u.recordedAt > pairingWindow; });
}

void QSRequestLogMerge::append(const QSLogEntry& entry) {
  entries_.push_back(entry);
  while (entries_.size() > capacity_) entries_.pop_front();
}

bool QSRequestLogMerge::addConsoleEntry(const QSLogEntry& entry, QSTimestamp now) {
  dropStale(now);
  auto same = std::find_if(unmatched_.begin(), unmatched_.end(),
                           [&](const Unmatched& u) { return u.method == entry.method && u.path == entry.path; });
  if (same != unmatched_.end()) {
    unmatched_.erase(same);
    return false;
  }
  append(entry);
  return true;
}

void QSRequestLogMerge::addProxyEntry(const QSLogEntry& entry, QSTimestamp now) {
  dropStale(now);
  std::size_t looked = 0;
  for (auto it = entries_.rbegin(); it != entries_.rend() && looked < pairingDepth; ++it, ++looked) {
    if (it->source == QSLogSource::proxy || it->statusCode != 0 || it->method != entry.method ||
        it->path != entry.path || !within(it->timestamp, entry.timestamp, pairingWindow))
      continue;
    *it = entry;
    return;
  }
  append(entry);
  unmatched_.push_back({entry.method, entry.path, now});
}

void QSRequestLogMerge::prepend(const std::vector<QSLogEntry>& older) {
  entries_.insert(entries_.begin(), older.begin(), older.end());
  while (entries_.size() > capacity_) entries_.pop_front();
}

void QSRequestLogMerge::clear() {
  entries_.clear();
  unmatched_.clear();
}

}  // namespace qs
