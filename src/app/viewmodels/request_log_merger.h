// A project's request log as the Logs tab shows it: the requests the proxy reports, and the
// request lines the server prints, each exchange listed once.
#pragma once

#include "core/models/log_entry.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

namespace qs {

// Pure: the caller says what time it is, so the 2-second window is testable.
class QSRequestLogMerger {
public:
  // How far apart a console line and the proxy's report of the same request may be.
  static constexpr std::chrono::milliseconds matchWindow{2000};
  // How many of the newest entries a proxied request looks through for its console line.
  static constexpr std::size_t lookBack = 50;
  // The log keeps this many entries, dropping the oldest (the Logs tab shows them all).
  static constexpr std::size_t capacity = 5000;

  // A request line parsed from the console. Discarded when the proxy reported the same method
  // and path within the window (that entry is already listed, with status and timings);
  // otherwise appended. True when it was appended.
  bool addConsoleEntry(QSLogEntry entry, QSTimestamp now);
  // A request the proxy reports. Replaces, in place, a console entry of the same method and path
  // without a status logged less than the window apart; otherwise it is appended and remembered
  // so that the console line that may follow is not listed twice.
  void addProxyEntry(QSLogEntry entry, QSTimestamp now);

  const std::deque<QSLogEntry>& entries() const { return entries_; }
  void clear();

private:
  struct Unmatched {
    QSHTTPMethod method;
    std::string path;
    QSTimestamp recordedAt;
  };
  void dropExpired(QSTimestamp now);
  void append(QSLogEntry entry);

  std::deque<QSLogEntry> entries_;
  std::vector<Unmatched> unmatched_;
};

}  // namespace qs
