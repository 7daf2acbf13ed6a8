// Text in other character sets, converted to UTF-8 through the C library's iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qs {

// `bytes` in the character set `charset` (an iconv name: "ISO-8859-2", "WINDOWS-1252",
// "UTF-16", ...) as UTF-8. Nothing when iconv does not know the name or the bytes are not valid
// in that character set (an invalid or incomplete sequence): callers then try another one.
std::optional<std::string> convertToUTF8(std::string_view bytes, const char* charset);

// Whether iconv converts from the character set `charset` (an iconv name) to UTF-8.
bool isKnownCharset(const char* charset);

// ISO Latin-1 bytes as UTF-8; every byte is a character, so this always succeeds.
std::string latin1ToUTF8(std::string_view bytes);

}  // namespace qs
