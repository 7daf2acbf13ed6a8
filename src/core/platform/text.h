// Small text operations the whole code base shares: trimming and ASCII case. Protocols and file
// formats compare their keywords byte for byte in ASCII, whatever the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace qs {

// Spaces and tabs: what separates words on a line.
inline constexpr std::string_view kBlanks = " \t";
// Every ASCII white-space character, line ends included.
inline constexpr std::string_view kWhitespace = " \t\r\n\v\f";

// `text` without the `characters` at its start and end.
std::string_view trimmed(std::string_view text, std::string_view characters = kWhitespace);
// `text` without the `characters` at its end.
std::string_view trimmedEnd(std::string_view text, std::string_view characters = kWhitespace);

// `text` with A–Z as a–z (and the other way round); every other byte unchanged.
std::string asciiLowercased(std::string_view text);
std::string asciiUppercased(std::string_view text);

}  // namespace qs
