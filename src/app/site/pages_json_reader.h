// The reading side of document decoding: one JSON object with its place in the document, so
// that every failure names the field at fault. Shared by the decoders of the document's parts.
#pragma once

#include "app/site/pages_enum_names.h"
#include "app/site/site_error.h"
#include "core/protocol/json_tree.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qs::pagesjson {

// Elements nest through `children`; deeper trees than this are refused rather than risking the
// stack of the decoder and of the renderers that walk them.
constexpr int kMaxDepth = 200;
// The JSON nesting the parser takes: an element is two levels (itself and its `children`), so
// this leaves room for the deepest element tree above, what its innermost element holds, and
// the same trees nested past the limit, so that those are refused naming the element.
constexpr int kMaxJsonDepth = 1024;

[[noreturn]] inline void fail(const std::string& at, const std::string& problem) {
  throw QSSiteException(siteError::DocumentUnreadable{(at.empty() ? "the document" : at) + " " + problem + "."});
}

// Where a value sits in the document ("pages[0].seo"): a chain of keys and list positions on
// the decoder's stack, spelled out only when something fails. A path must not outlive its parent.
class Path {
public:
  Path() = default;  // the document itself
  Path(const Path& parent, std::string_view key) : parent_(&parent), key_(key) {}
  Path(const Path& parent, std::size_t index) : parent_(&parent), index_(index), isIndex_(true) {}

  std::string text() const {
    if (!parent_) return {};
    std::string out = parent_->text();
    if (isIndex_) return out + "[" + std::to_string(index_) + "]";
    return out.empty() ? std::string(key_) : out + "." + std::string(key_);
  }

private:
  const Path* parent_ = nullptr;
  std::string_view key_;
  std::size_t index_ = 0;
  bool isIndex_ = false;
};

[[noreturn]] inline void fail(const Path& at, const std::string& problem) { fail(at.text(), problem); }

// One value of the parsed document.
class Value {
public:
  Value(const QSJsonTree& tree, std::uint32_t index) : tree_(&tree), index_(index) {}

  const QSJsonNode& node() const { return (*tree_)[index_]; }
  QSJsonNode::Kind kind() const { return node().kind; }

  // The value of the member `key` of an object, or nothing when it is absent or null. A key
  // given more than once has its last value, as in the DOM.
  std::optional<Value> member(std::string_view key) const {
    const QSJsonTree& tree = *tree_;
    std::uint32_t found = 0;
    for (std::uint32_t i = index_ + 1; i < node().end; i = tree[i + 1].end)
      if (tree[i].text == key) found = i + 1;
    if (found == 0 || tree[found].kind == QSJsonNode::Kind::null) return std::nullopt;
    return Value(tree, found);
  }

  // Calls `each(element, position)` for the elements of an array, in order.
  template <class F>
  void forEachElement(F&& each) const {
    std::size_t position = 0;
    for (std::uint32_t i = index_ + 1; i < node().end; i = (*tree_)[i].end) each(Value(*tree_, i), position++);
  }

private:
  const QSJsonTree* tree_;
  std::uint32_t index_;
};

// One JSON object being decoded and where it sits in the document. Not copied: the paths of
// the values read from it point at its own.
class Obj {
public:
  Obj(Value value, const Path& at, int depth = 0) : value_(value), at_(at), depth_(depth) {
    if (value_.kind() != QSJsonNode::Kind::object) fail(at_, "should be an object");
    if (depth_ > kMaxDepth) fail(at_, "is nested too deeply");
  }
  Obj(const Obj&) = delete;
  Obj& operator=(const Obj&) = delete;

  const Path& at() const { return at_; }
  std::string path(std::string_view key) const { return Path(at_, key).text(); }
  int depth() const { return depth_; }

  // The member, or nothing when it is absent or null.
  std::optional<Value> find(std::string_view key) const { return value_.member(key); }
  Value need(std::string_view key) const {
    std::optional<Value> found = find(key);
    if (!found) fail(Path(at_, key), "is missing");
    return *found;
  }
  Obj object(std::string_view key, int extraDepth = 0) const { return Obj(need(key), Path(at_, key), depth_ + extraDepth); }

  std::string str(std::string_view key) const { return asString(need(key), Path(at_, key)); }
  std::optional<std::string> optStr(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asString(*v, Path(at_, key))) : std::nullopt;
  }
  double num(std::string_view key) const { return asNumber(need(key), Path(at_, key)); }
  std::optional<double> optNum(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asNumber(*v, Path(at_, key))) : std::nullopt;
  }
  std::int64_t integer(std::string_view key) const { return asInteger(need(key), Path(at_, key)); }
  std::optional<std::int64_t> optInteger(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asInteger(*v, Path(at_, key))) : std::nullopt;
  }
  bool boolean(std::string_view key) const { return asBool(need(key), Path(at_, key)); }
  std::optional<bool> optBool(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asBool(*v, Path(at_, key))) : std::nullopt;
  }
  QSUUID uuid(std::string_view key) const { return asUUID(need(key), Path(at_, key)); }
  std::optional<QSUUID> optUUID(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asUUID(*v, Path(at_, key))) : std::nullopt;
  }
  QSPagesColor color(std::string_view key) const { return asColor(need(key), Path(at_, key)); }
  std::optional<QSPagesColor> optColor(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asColor(*v, Path(at_, key))) : std::nullopt;
  }
  template <class E>
  E enumeration(std::string_view key) const {
    return asEnum<E>(need(key), Path(at_, key));
  }
  template <class E>
  std::optional<E> optEnum(std::string_view key) const {
    auto v = find(key);
    return v ? std::optional(asEnum<E>(*v, Path(at_, key))) : std::nullopt;
  }

  // The list under `key`, each item decoded by `item(value, path)`.
  template <class T, class F>
  std::vector<T> list(std::string_view key, F&& item) const {
    return asList<T>(need(key), Path(at_, key), item);
  }
  template <class T, class F>
  std::optional<std::vector<T>> optList(std::string_view key, F&& item) const {
    auto v = find(key);
    return v ? std::optional(asList<T>(*v, Path(at_, key), item)) : std::nullopt;
  }

  static std::string asString(Value v, const Path& at) {
    if (v.kind() != QSJsonNode::Kind::string) fail(at, "should be a string");
    return std::string(v.node().text);
  }
  static double asNumber(Value v, const Path& at) {
    const QSJsonNode& n = v.node();
    if (n.kind == QSJsonNode::Kind::integer) return static_cast<double>(n.integer);
    if (n.kind != QSJsonNode::Kind::number) fail(at, "should be a number");
    return n.number;
  }
  static std::int64_t asInteger(Value v, const Path& at) {
    const QSJsonNode& n = v.node();
    if (n.kind == QSJsonNode::Kind::integer) return n.integer;
    if (n.kind == QSJsonNode::Kind::number) {
      double d = n.number;
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e18) return static_cast<std::int64_t>(d);
    }
    fail(at, "should be a whole number");
  }
  static bool asBool(Value v, const Path& at) {
    if (v.kind() != QSJsonNode::Kind::boolean) fail(at, "should be true or false");
    return v.node().boolean;
  }
  static QSUUID asUUID(Value v, const Path& at) {
    if (v.kind() != QSJsonNode::Kind::string) fail(at, "should be a string");
    auto parsed = QSUUID::parse(v.node().text);
    if (!parsed) fail(at, "should be a UUID");
    return *parsed;
  }
  static QSPagesColor asColor(Value v, const Path& at) { return {Obj(v, at).str("hex")}; }
  template <class E>
  static E asEnum(Value v, const Path& at) {
    if (v.kind() != QSJsonNode::Kind::string) fail(at, "should be a string");
    std::string_view text = v.node().text;
    auto value = pagesEnumFromRaw<E>(text);
    if (!value) fail(at, "has the unknown value \u201c" + std::string(text) + "\u201d");
    return *value;
  }
  template <class T, class F>
  static std::vector<T> asList(Value v, const Path& at, F&& item) {
    if (v.kind() != QSJsonNode::Kind::array) fail(at, "should be a list");
    std::vector<T> out;
    out.reserve(v.node().count);
    v.forEachElement([&](Value element, std::size_t position) { out.push_back(item(element, Path(at, position))); });
    return out;
  }

private:
  Value value_;
  Path at_;
  int depth_;
};

inline std::string stringItem(Value v, const Path& at) { return Obj::asString(v, at); }
inline QSPagesColor colorItem(Value v, const Path& at) { return Obj::asColor(v, at); }


// The content object of an element kind that carries one (every kind but the three structural ones).
QSPagesElementKind::Content decodeKindContent(QSPagesElementKind::Type type, const Obj& value);

}  // namespace qs::pagesjson
