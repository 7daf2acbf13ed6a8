#include "core/mail/mail_date.h"

#include "core/platform/regex.h"

#include <array>
#include <cctype>
#include <chrono>
#include <string>

namespace qs {
namespace {

constexpr std::array<std::string_view, 12> kMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                                   "jul", "aug", "sep", "oct", "nov", "dec"};

int monthNumber(std::string month) {
  for (char& c : month) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::size_t i = 0; i < kMonths.size(); ++i)
    if (kMonths[i] == month) return static_cast<int>(i) + 1;
  return 0;
}

// The zone's offset east of UTC in minutes.
std::optional<int> zoneOffset(const std::string& zone) {
  if (zone.front() != '+' && zone.front() != '-') return 0;  // GMT, UT, UTC
  int hours = std::stoi(zone.substr(1, 2));
  int minutes = std::stoi(zone.substr(3, 2));
  if (minutes > 59) return std::nullopt;
  int offset = hours * 60 + minutes;
  return zone.front() == '-' ? -offset : offset;
}

}  // namespace

std::optional<QSTimestamp> parseMailDate(std::string_view text) {
  static const QSRegex pattern(
      R"((?:(?:mon|tue|wed|thu|fri|sat|sun), )?(\d{1,2}) ([a-z]{3}) (\d{4}) (\d{2}):(\d{2}):(\d{2}) ([+-]\d{4}|gmt|ut|utc)(?:\s*\([^()]*\))?)",
      QSRegex::Options{.caseInsensitive = true});
  auto groups = pattern.fullMatchGroups(text);
  if (!groups) return std::nullopt;
  const auto& g = *groups;
  int month = monthNumber(g[1]);
  auto offset = zoneOffset(g[6]);
  if (month == 0 || !offset) return std::nullopt;
  using namespace std::chrono;
  year_month_day day{year(std::stoi(g[2])), std::chrono::month(static_cast<unsigned>(month)),
                     std::chrono::day(static_cast<unsigned>(std::stoi(g[0])))};
  int hour = std::stoi(g[3]), minute = std::stoi(g[4]), second = std::stoi(g[5]);
  if (!day.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  auto local = sys_days(day) + hours(hour) + minutes(minute) + seconds(second);
  return time_point_cast<milliseconds>(local - minutes(*offset));
}

}  // namespace qs
