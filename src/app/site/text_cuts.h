// Cutting document text without splitting a character: the exporter shortens names and takes
// initials, and a cut in the middle of a UTF-8 sequence or between a letter and its accent would
// write invalid or wrong text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qs::QSTextCuts {

// The first user-perceived character of `text`: one code point with the combining marks,
// variation selectors, skin-tone modifiers and joined code points (ZWJ sequences, flag pairs,
// tag sequences) that belong to it. Empty for empty text; a malformed byte counts as a character.
std::string firstCharacter(std::string_view text);

// The longest start of `text` that is at most `maxBytes` long and ends between two characters
// (as firstCharacter counts them).
std::string prefix(std::string_view text, std::size_t maxBytes);

}  // namespace qs::QSTextCuts
