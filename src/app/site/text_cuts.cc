#include "app/site/text_cuts.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace qs::QSTextCuts {
namespace {

// A decoded code point and the bytes it took; a malformed byte decodes as itself, one byte long.
struct CodePoint {
  char32_t value;
  std::size_t length;
};

CodePoint decode(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead < 0x80            ? 1
                       : (lead >> 5) == 0x6   ? 2
                       : (lead >> 4) == 0xE   ? 3
                       : (lead >> 3) == 0x1E  ? 4
                                              : 0;
  if (length <= 1 || at + length > text.size()) return {lead, 1};
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {lead, 1};
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  return {value, length};
}

// Code points that never start a character of their own: combining marks of the common scripts,
// variation selectors, skin-tone modifiers, the zero-width non-joiner and emoji tags.
bool extends(char32_t c) {
  static constexpr std::pair<char32_t, char32_t> kRanges[] = {
      {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05C7}, {0x0610, 0x061A},
      {0x064B, 0x065F}, {0x0670, 0x0670}, {0x06D6, 0x06ED}, {0x0900, 0x0903}, {0x093A, 0x094F},
      {0x0951, 0x0957}, {0x0962, 0x0963}, {0x0981, 0x0983}, {0x09BC, 0x09D7}, {0x0E31, 0x0E31},
      {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200C, 0x200C},
      {0x20D0, 0x20FF}, {0x302A, 0x302F}, {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
      {0x1F3FB, 0x1F3FF}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF}};
  return std::any_of(std::begin(kRanges), std::end(kRanges),
                     [c](const auto& range) { return c >= range.first && c <= range.second; });
}

bool isRegionalIndicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }

// The byte length of the character that starts at `at`.
std::size_t characterLength(std::string_view text, std::size_t at) {
  CodePoint first = decode(text, at);
  std::size_t end = at + first.length;
  if (isRegionalIndicator(first.value) && end < text.size() && isRegionalIndicator(decode(text, end).value))
    end += decode(text, end).length;
  while (end < text.size()) {
    CodePoint next = decode(text, end);
    if (next.value == 0x200D) {  // a joiner takes the code point after it along
      end += next.length;
      if (end < text.size()) end += decode(text, end).length;
    } else if (extends(next.value)) {
      end += next.length;
    } else {
      break;
    }
  }
  return end - at;
}

}  // namespace

std::string firstCharacter(std::string_view text) {
  if (text.empty()) return "";
  return std::string(text.substr(0, characterLength(text, 0)));
}

std::string prefix(std::string_view text, std::size_t maxBytes) {
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t length = characterLength(text, end);
    if (end + length > maxBytes) break;
    end += length;
  }
  return std::string(text.substr(0, end));
}

}  // namespace qs::QSTextCuts
