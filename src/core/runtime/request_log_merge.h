// One project's request log, from two sources that often report the same request: the reverse
// proxy (with status, duration and size) and the server's own console line (method and path, the
// status only when the app prints it). A request seen by both is kept once, as the proxy saw it.
//
// Pairing: a console entry without a status, at most 2 s from a proxied entry with the same
// method and path, is that request; a proxied entry that came first waits up to 2 s for its
// console line, which is then dropped.
#pragma once

#include "core/models/log_entry.h"

#include <cstddef>
#include <deque>
#include <vector>

namespace qs {

class QSRequestLogMerge {
public:
  static constexpr std::chrono::milliseconds pairingWindow{2000};
  // How many of the newest entries a proxied entry looks through for its console line.
  static constexpr std::size_t pairingDepth = 50;

  explicit QSRequestLogMerge(std::size_t capacity) : capacity_(capacity) {}

  // A request line from the console: appended (true), or dropped (false) because the proxy
  // already logged it.
  bool addConsoleEntry(const QSLogEntry& entry, QSTimestamp now);
  // A request the proxy relayed: replaces its console entry in place, else is appended.
  void addProxyEntry(const QSLogEntry& entry, QSTimestamp now);

  // Oldest first, at most `capacity` (the oldest go first).
  const std::deque<QSLogEntry>& entries() const { return entries_; }
  // Entries logged before every entry held (a log read back from the engine), oldest first: put
  // before them, the capacity kept.
  void prepend(const std::vector<QSLogEntry>& older);
  // Forgets every entry, and the proxied requests still waiting for their console line.
  void clear();

private:
  struct Unmatched {
    QSHTTPMethod method;
    std::string path;
    QSTimestamp recordedAt;
  };
  void dropStale(QSTimestamp now);
  void append(const QSLogEntry& entry);

  std::size_t capacity_;
  std::deque<QSLogEntry> entries_;
  std::vector<Unmatched> unmatched_;
};

}  // namespace qs
