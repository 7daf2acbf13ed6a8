// The reading side of document decoding: one JSON object with its place in the document, so
// that every failure names the field at fault. Shared by the decoders of the document's parts.
#pragma once

#include "app/site/pages_enum_names.h"
#include "app/site/site_error.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace qs::pagesjson {

using json = nlohmann::json;

// Elements nest through `children`; deeper trees than this are refused rather than risking the
// stack of the decoder and of the renderers that walk them.
constexpr int kMaxDepth = 200;

[[noreturn]] inline void fail(const std::string& at, const std::string& problem) {
  throw QSSiteError::documentUnreadable((at.empty() ? "the document" : at) + " " + problem + ".");
}

// One JSON object being decoded and where it sits in the document ("pages[0].seo").
class Obj {
public:
  Obj(const json& value, std::string at, int depth = 0) : value_(value), at_(std::move(at)), depth_(depth) {
    if (!value_.is_object()) fail(at_, "should be an object");
    if (depth_ > kMaxDepth) fail(at_, "is nested too deeply");
  }

  std::string path(std::string_view key) const { return at_.empty() ? std::string(key) : at_ + "." + std::string(key); }
  int depth() const { return depth_; }

  // The member, or nothing when it is absent or null.
  const json* find(std::string_view key) const {
    auto it = value_.find(key);
    if (it == value_.end() || it->is_null()) return nullptr;
    return &*it;
  }
  const json& need(std::string_view key) const {
    const json* found = find(key);
    if (!found) fail(path(key), "is missing");
    return *found;
  }
  Obj object(std::string_view key, int extraDepth = 0) const { return Obj(need(key), path(key), depth_ + extraDepth); }

  std::string str(std::string_view key) const { return asString(need(key), path(key)); }
  std::optional<std::string> optStr(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asString(*v, path(key))) : std::nullopt;
  }
  double num(std::string_view key) const { return asNumber(need(key), path(key)); }
  std::optional<double> optNum(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asNumber(*v, path(key))) : std::nullopt;
  }
  std::int64_t integer(std::string_view key) const { return asInteger(need(key), path(key)); }
  std::optional<std::int64_t> optInteger(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asInteger(*v, path(key))) : std::nullopt;
  }
  bool boolean(std::string_view key) const { return asBool(need(key), path(key)); }
  std::optional<bool> optBool(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asBool(*v, path(key))) : std::nullopt;
  }
  QSUUID uuid(std::string_view key) const { return asUUID(need(key), path(key)); }
  std::optional<QSUUID> optUUID(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asUUID(*v, path(key))) : std::nullopt;
  }
  QSPagesColor color(std::string_view key) const { return asColor(need(key), path(key)); }
  std::optional<QSPagesColor> optColor(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asColor(*v, path(key))) : std::nullopt;
  }
  template <class E>
  E enumeration(std::string_view key) const {
    return asEnum<E>(need(key), path(key));
  }
  template <class E>
  std::optional<E> optEnum(std::string_view key) const {
    const json* v = find(key);
    return v ? std::optional(asEnum<E>(*v, path(key))) : std::nullopt;
  }

  // The list under `key`, each item decoded by `item(value, path)`.
  template <class T>
  std::vector<T> list(std::string_view key, const std::function<T(const json&, const std::string&)>& item) const {
    return asList<T>(need(key), path(key), item);
  }
  template <class T>
  std::optional<std::vector<T>> optList(std::string_view key,
                                        const std::function<T(const json&, const std::string&)>& item) const {
    const json* v = find(key);
    return v ? std::optional(asList<T>(*v, path(key), item)) : std::nullopt;
  }

  static std::string asString(const json& v, const std::string& at) {
    if (!v.is_string()) fail(at, "should be a string");
    return v.get<std::string>();
  }
  static double asNumber(const json& v, const std::string& at) {
    if (!v.is_number()) fail(at, "should be a number");
    return v.get<double>();
  }
  static std::int64_t asInteger(const json& v, const std::string& at) {
    if (v.is_number_integer()) return v.get<std::int64_t>();
    if (v.is_number_unsigned()) {
      auto u = v.get<std::uint64_t>();
      if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return static_cast<std::int64_t>(u);
    }
    if (v.is_number_float()) {
      double d = v.get<double>();
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e18) return static_cast<std::int64_t>(d);
    }
    fail(at, "should be a whole number");
  }
  static bool asBool(const json& v, const std::string& at) {
    if (!v.is_boolean()) fail(at, "should be true or false");
    return v.get<bool>();
  }
  static QSUUID asUUID(const json& v, const std::string& at) {
    auto parsed = QSUUID::parse(asString(v, at));
    if (!parsed) fail(at, "should be a UUID");
    return *parsed;
  }
  static QSPagesColor asColor(const json& v, const std::string& at) { return {Obj(v, at).str("hex")}; }
  template <class E>
  static E asEnum(const json& v, const std::string& at) {
    std::string text = asString(v, at);
    auto value = pagesEnumFromRaw<E>(text);
    if (!value) fail(at, "has the unknown value \u201c" + text + "\u201d");
    return *value;
  }
  template <class T>
  static std::vector<T> asList(const json& v, const std::string& at,
                               const std::function<T(const json&, const std::string&)>& item) {
    if (!v.is_array()) fail(at, "should be a list");
    std::vector<T> out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) out.push_back(item(v[i], at + "[" + std::to_string(i) + "]"));
    return out;
  }

private:
  const json& value_;
  std::string at_;
  int depth_;
};

inline std::string stringItem(const json& v, const std::string& at) { return Obj::asString(v, at); }
inline QSPagesColor colorItem(const json& v, const std::string& at) { return Obj::asColor(v, at); }


// The content object of an element kind that carries one (every kind but the three structural ones).
QSPagesElementKind::Content decodeKindContent(QSPagesElementKind::Type type, const Obj& value);

}  // namespace qs::pagesjson
