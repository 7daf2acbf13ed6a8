// Dates of mail headers.
#pragma once

#include "core/platform/timestamp.h"

#include <optional>
#include <string_view>

namespace qs {

// "Mon, 7 Dec 2026 09:45:20 +0100" or "7 Dec 2026 09:45:20 +0100" (English day and month
// names in any letter case, a one- or two-digit day, a four-digit year, a numeric zone or
// GMT/UT/UTC), optionally followed by a comment naming the zone ("-0400 (EDT)"), as an
// instant; nothing for any other text or a date that does not exist.
std::optional<QSTimestamp> parseMailDate(std::string_view text);

}  // namespace qs
