// Regular expressions (RE2: linear time, safe on untrusted and very long input).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace qs {

// A compiled pattern. Construction with an invalid pattern throws std::invalid_argument
// (patterns are constants of the program, so that is a programming error).
class QSRegex {
public:
  struct Options {
    bool caseInsensitive = false;
    bool multiLine = false;  // ^ and $ match at line breaks
  };
  explicit QSRegex(std::string_view pattern);
  QSRegex(std::string_view pattern, Options options);
  ~QSRegex();
  QSRegex(QSRegex&&) noexcept;

  // Whether the pattern matches the whole text.
  bool fullMatch(std::string_view text) const;
  // Whether the pattern matches anywhere in the text.
  bool contains(std::string_view text) const;
  // The capture groups (1…n) of the first match anywhere; absent groups are empty text.
  std::optional<std::vector<std::string>> firstMatch(std::string_view text) const;
  // The capture groups of a whole-text match.
  std::optional<std::vector<std::string>> fullMatchGroups(std::string_view text) const;
  // Offset and length of the first match anywhere (the whole match).
  std::optional<std::pair<std::size_t, std::size_t>> firstMatchRange(std::string_view text) const;

private:
  std::unique_ptr<re2::RE2> re_;
};

}  // namespace qs
