// Text as one word of a POSIX shell command line.
#pragma once

#include <string>
#include <string_view>

namespace qs {

// `text` in single quotes, each single quote inside written as quote, backslash, quote, quote
// ('it'\''s'): the shell reads it back byte for byte, whatever it holds.
std::string shellQuoted(std::string_view text);

// `text` as it is when it is non-empty and made only of letters, digits and . _ - / : @ (what a
// person would type), otherwise shellQuoted: for command lines a person reads.
std::string shellWord(std::string_view text);

}  // namespace qs
