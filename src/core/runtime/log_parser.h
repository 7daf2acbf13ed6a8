// Turns the request lines that a project server prints into request-log entries.
#pragma once

#include "core/models/log_entry.h"

#include <optional>
#include <string_view>

namespace qs {

// Stateless; safe to share between threads.
class QSLogParser {
public:
  // The request that `line` reports, or nothing when it is not a request line. A request line
  // holds a bracketed level tag, an upper-case method and a path, optionally followed by a
  // three-digit status and a duration in milliseconds: "[ INFO ] GET /hello 200 (12.5ms)".
  // Text may precede the tag and follow the duration. A missing status or duration is 0.
  // The entry gets a fresh id, the current time, `projectID` and the source `console`.
  std::optional<QSLogEntry> parse(std::string_view line, const QSUUID& projectID) const;
  // False for a line parse() certainly turns down (no "]" followed by a method's first letter):
  // most console lines, told apart without the pattern.
  static bool mayBeRequest(std::string_view line);
};

}  // namespace qs
