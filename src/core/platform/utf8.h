// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF. The one
// place that decides where a character starts and ends; everything that checks or repairs text
// asks here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qs {

// The length of the well-formed sequence that starts at `at`, or 0 when none does there.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// Whether `partial` is the beginning of a well-formed sequence that has not all arrived yet
// (a character split between two reads).
bool isUTF8Prefix(std::string_view partial);

bool isValidUTF8(std::string_view text);

// `text` with every byte that does not start a well-formed sequence replaced by U+FFFD.
std::string replacingInvalidUTF8(std::string_view text);

}  // namespace qs
