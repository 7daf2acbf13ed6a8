#include "core/platform/timestamp.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace qs::QSTime {
namespace {

using namespace std::chrono;

// 2001-01-01 00:00:00 UTC in Unix seconds.
constexpr sys_seconds kReferenceDate{seconds{978307200}};

std::string stamp(const std::tm& tm) {
  return fmt::format("{:04}{:02}{:02}-{:02}{:02}{:02}", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour, tm.tm_min, tm.tm_sec);
}

bool readDigits(std::string_view text, std::size_t at, std::size_t count, int& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

QSTimestamp now() { return time_point_cast<milliseconds>(system_clock::now()); }

std::string iso8601(QSTimestamp t) {
  auto day = floor<days>(t);
  year_month_day ymd{day};
  hh_mm_ss<milliseconds> time{t - day};
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", int(ymd.year()), unsigned(ymd.month()),
                     unsigned(ymd.day()), time.hours().count(), time.minutes().count(),
                     time.seconds().count(), time.subseconds().count());
}

std::optional<QSTimestamp> parseISO8601(std::string_view text) {
  int y, mo, d, h, mi, s;
  if (!readDigits(text, 0, 4, y) || text.size() < 19 || text[4] != '-' || !readDigits(text, 5, 2, mo) ||
      text[7] != '-' || !readDigits(text, 8, 2, d) || (text[10] != 'T' && text[10] != 't' && text[10] != ' ') ||
      !readDigits(text, 11, 2, h) || text[13] != ':' || !readDigits(text, 14, 2, mi) || text[16] != ':' ||
      !readDigits(text, 17, 2, s))
    return std::nullopt;
  year_month_day ymd{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
  if (!ymd.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
  std::size_t at = 19;
  milliseconds fraction{0};
  if (at < text.size() && text[at] == '.') {
    ++at;
    int scale = 100, ms = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      if (scale > 0) ms += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    fraction = milliseconds{ms};
  }
  minutes offset{0};
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int oh, om;
    if (!readDigits(text, at + 1, 2, oh) || at + 3 >= text.size() || text[at + 3] != ':' ||
        !readDigits(text, at + 4, 2, om))
      return std::nullopt;
    offset = minutes{(text[at] == '-' ? -1 : 1) * (oh * 60 + om)};
    at += 6;
  } else {
    return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  return sys_days{ymd} + hours{h} + minutes{mi} + seconds{s} + fraction - offset;
}

double referenceSeconds(QSTimestamp t) {
  return duration_cast<duration<double>>(t - kReferenceDate).count();
}

QSTimestamp fromReferenceSeconds(double value) {
  if (!std::isfinite(value)) value = 0;
  value = std::clamp(value, -1e12, 1e12);  // keeps the millisecond count in range
  return kReferenceDate + milliseconds{std::llround(value * 1000.0)};
}

std::string backupStampUTC(QSTimestamp t) {
  std::time_t seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(t));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  return stamp(tm);
}

std::string backupStampLocal(QSTimestamp t) {
  std::time_t seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(t));
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return stamp(tm);
}

std::string snapshotStampLocal(QSTimestamp t) {
  std::time_t seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(t));
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return fmt::format("{:04}-{:02}-{:02}-{:02}{:02}{:02}", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                     tm.tm_min, tm.tm_sec);
}

}  // namespace qs::QSTime
