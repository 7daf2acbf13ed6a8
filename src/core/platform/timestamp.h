// Wall-clock instants, kept to the millisecond, and their text and number forms.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

using QSTimestamp = std::chrono::sys_time<std::chrono::milliseconds>;

namespace QSTime {

QSTimestamp now();

// ISO 8601 in UTC with milliseconds: "2026-12-06T09:45:20.123Z".
std::string iso8601(QSTimestamp t);
// Reads what iso8601 writes, plus the forms without fraction and with a "+hh:mm" offset.
std::optional<QSTimestamp> parseISO8601(std::string_view text);

// Seconds (with fraction) since 2001-01-01 00:00:00 UTC, as the daemon protocol carries them.
double referenceSeconds(QSTimestamp t);
QSTimestamp fromReferenceSeconds(double seconds);

// "yyyyMMdd-HHmmss" as used in backup file names, in UTC or in the local time zone.
std::string backupStampUTC(QSTimestamp t);
std::string backupStampLocal(QSTimestamp t);
// "yyyy-MM-dd-HHmmss" in the local time zone (database snapshot names), whatever the locale.
std::string snapshotStampLocal(QSTimestamp t);

}  // namespace QSTime
}  // namespace qs
