// A parsed JSON document held as one flat list of nodes, for decoding frames without a DOM.
//
// The parser is at least as strict as the DOM parser: whatever it accepts, the DOM parser
// accepts with the same values. It gives up (returns nothing) on anything unusual (a byte order
// mark, integers outside the signed 64-bit range, numbers out of range, nesting deeper than 128
// levels) and on every error; callers then fall back to the DOM, which decides and words the
// error.
#pragma once

#include "core/models/json_coding.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

struct QSJsonNode {
  enum class Kind : std::uint8_t { null, boolean, integer, number, string, array, object };
  Kind kind = Kind::null;
  bool boolean = false;
  std::int64_t integer = 0;
  double number = 0;
  std::string_view text;   // a string's value, or a member's key
  std::uint32_t end = 0;   // index just past this node and everything inside it
  std::uint32_t count = 0; // elements of an array, members of an object
};

// Nodes in document order. An object's members follow it as pairs: a string node for the key,
// then the value and everything inside it.
class QSJsonTree {
public:
  // The tree of `text`, or nothing when the parser gives up. `text` must outlive the tree:
  // strings without escapes point into it.
  static std::optional<QSJsonTree> parse(std::string_view text);

  // The tree of a whole document read from a file, taken as the DOM parser takes it: a byte
  // order mark skipped, the text ending at a NUL byte, whole numbers beyond the signed 64-bit
  // range and numbers too small to hold kept as floating values (the value the DOM gives when
  // such a number is read as a double). It still gives up on whatever the DOM parser refuses,
  // and on nesting deeper than `maxDepth` levels.
  static std::optional<QSJsonTree> parseDocument(std::string_view text, int maxDepth);

  const QSJsonNode& operator[](std::uint32_t index) const { return nodes_[index]; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(nodes_.size()); }

  // The subtree at `index` as a DOM value.
  json dom(std::uint32_t index) const;

private:
  friend class QSJsonTreeParser;
  static std::optional<QSJsonTree> parse(std::string_view text, int maxDepth, bool wideNumbers,
                                         std::size_t expectedNodes);
  std::vector<QSJsonNode> nodes_;
  // Strings that had escapes, decoded. Reserved up front and never grown, so views into it stay
  // valid, also when the tree is moved.
  std::vector<char> unescaped_;
};

}  // namespace qs
