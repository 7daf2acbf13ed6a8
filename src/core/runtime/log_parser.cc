#include "core/runtime/log_parser.h"

#include "core/platform/regex.h"

#include <charconv>

namespace qs {
namespace {

const QSRegex& requestLinePattern() {
  static const QSRegex pattern(
      R"(\[\s*\w+\s*\]\s*(GET|POST|PUT|PATCH|DELETE|HEAD|OPTIONS)\s+(\S+)(?:\s+(\d{3})\b)?\s*(?:\((\d+(?:\.\d+)?)ms\))?)");
  return pattern;
}

// from_chars rather than stod: no locale, no exceptions, and an overflowing number is simply
// "unparsable", which the request log shows as 0.
template <class Number>
Number parsedOrZero(const std::string& text) {
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return Number{};
  return value;
}

}  // namespace

bool QSLogParser::mayBeRequest(std::string_view line) {
  for (std::size_t at = line.find(']'); at != std::string_view::npos; at = line.find(']', at + 1)) {
    std::size_t next = line.find_first_not_of(" \t\n\v\f\r", at + 1);
    if (next == std::string_view::npos) return false;
    switch (line[next]) {
      case 'G': case 'P': case 'D': case 'H': case 'O':
        return true;
      default:
        break;
    }
  }
  return false;
}

std::optional<QSLogEntry> QSLogParser::parse(std::string_view line, const QSUUID& projectID) const {
  if (!mayBeRequest(line)) return std::nullopt;
  auto groups = requestLinePattern().firstMatch(line);
  if (!groups) return std::nullopt;
  auto method = fromRawValue<QSHTTPMethod>((*groups)[0]);
  if (!method) return std::nullopt;

  QSLogEntry entry;
  entry.id = QSUUID::random();
  entry.timestamp = QSTime::now();
  entry.method = *method;
  entry.path = (*groups)[1];
  entry.statusCode = (*groups)[2].empty() ? 0 : parsedOrZero<int>((*groups)[2]);
  entry.duration = (*groups)[3].empty() ? 0 : parsedOrZero<double>((*groups)[3]) / 1000;
  entry.projectID = projectID;
  entry.source = QSLogSource::console;
  return entry;
}

}  // namespace qs
