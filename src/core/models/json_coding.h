// JSON coding shared by every record and message: the state file and the daemon protocol use the
// same shapes and differ only in how timestamps are written.
//
// A record describes its fields once, in one static function that every coding direction uses:
//
//   struct QSPortConflict {
//     static constexpr std::string_view recordName = "QSPortConflict";
//     int port = 0;
//     std::string heldBy;
//     template <class Self, class Fields>
//     static void fields(Self& self, Fields& f) { f.field("port", self.port).field("heldBy", self.heldBy); }
//   };
//
// Any other codable type T provides, in its own header and namespace qs:
//   void encodeJson(nlohmann::json& out, const T& value, const QSCoder& coder);
//   void decodeJson(const nlohmann::json& in, T& value, const QSCoder& coder);  // throws QSDecodingError
// Records are written with QSObjectWriter and read with QSObjectReader, which give the exact
// rules: absent optionals omitted, every required key present on input.
#pragma once

#include "core/platform/encoding.h"
#include "core/platform/timestamp.h"
#include "core/platform/uuid.h"

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

using nlohmann::json;

// How timestamps are written: ISO 8601 text in the state file, seconds since 2001-01-01 on the wire.
enum class QSDateCoding { iso8601, referenceSeconds };

struct QSCoder {
  QSDateCoding dates = QSDateCoding::referenceSeconds;
  static QSCoder stateFile() { return {QSDateCoding::iso8601}; }
  static QSCoder wire() { return {QSDateCoding::referenceSeconds}; }
};

// A value could not be decoded. `reason()` is the innermost message (for example
// "Invalid number of keys found, expected one."); `what()` prefixes where it happened:
// "QSProjectConfiguration.projects[0]: QSProject: missing required key 'createdAt'".
class QSDecodingError : public std::runtime_error {
public:
  explicit QSDecodingError(const std::string& reason) : std::runtime_error(reason), reason_(reason) {}
  QSDecodingError(const std::string& where, const QSDecodingError& inner)
      : std::runtime_error(where + ": " + inner.what()), reason_(inner.reason()) {}
  const std::string& reason() const { return reason_; }

private:
  std::string reason_;
};

// The path a coded file URL names, without trailing slashes; nothing for text that is not a
// file URL.
std::optional<std::filesystem::path> pathFromCodedURL(std::string_view url);

// Enumerations coded as their raw text. Specialise with a `cases` array of {value, "raw"} pairs,
// in declaration order, and a `typeName`.
template <class E>
struct QSRawEnum;

template <class E>
concept QSRawEnumeration = requires { QSRawEnum<E>::cases; };

template <QSRawEnumeration E>
std::string_view rawValue(E value) {
  for (const auto& [v, raw] : QSRawEnum<E>::cases)
    if (v == value) return raw;
  return "";
}

template <QSRawEnumeration E>
std::optional<E> fromRawValue(std::string_view raw) {
  for (const auto& [v, text] : QSRawEnum<E>::cases)
    if (text == raw) return v;
  return std::nullopt;
}

// Every case in declaration order.
template <QSRawEnumeration E>
std::vector<E> allCases() {
  std::vector<E> out;
  for (const auto& entry : QSRawEnum<E>::cases) out.push_back(entry.first);
  return out;
}

namespace detail {
// The byte order of object keys (as std::string's), deciding most pairs on their first byte
// without a call to memcmp.
inline bool keyLess(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a.front() != b.front())
    return static_cast<unsigned char>(a.front()) < static_cast<unsigned char>(b.front());
  return a < b;
}

// Lists and text-keyed maps, which every coding handles alike.
template <class>
inline constexpr bool isList = false;
template <class E>
inline constexpr bool isList<std::vector<E>> = true;
template <class>
inline constexpr bool isTextMap = false;
template <class V>
inline constexpr bool isTextMap<std::map<std::string, V>> = true;
}  // namespace detail

// Primitive values.
void encodeJson(json& out, const std::string& value, const QSCoder&);
void encodeJson(json& out, bool value, const QSCoder&);
void encodeJson(json& out, int value, const QSCoder&);
void encodeJson(json& out, std::int64_t value, const QSCoder&);
void encodeJson(json& out, double value, const QSCoder&);
void encodeJson(json& out, const QSUUID& value, const QSCoder&);
void encodeJson(json& out, const QSTimestamp& value, const QSCoder&);
void encodeJson(json& out, const QSBytes& value, const QSCoder&);           // Base64 text
void encodeJson(json& out, const std::filesystem::path& value, const QSCoder&);  // file URL text
void decodeJson(const json& in, std::string& value, const QSCoder&);
void decodeJson(const json& in, bool& value, const QSCoder&);
void decodeJson(const json& in, int& value, const QSCoder&);
void decodeJson(const json& in, std::int64_t& value, const QSCoder&);
void decodeJson(const json& in, double& value, const QSCoder&);
void decodeJson(const json& in, QSUUID& value, const QSCoder&);
void decodeJson(const json& in, QSTimestamp& value, const QSCoder&);
void decodeJson(const json& in, QSBytes& value, const QSCoder&);
void decodeJson(const json& in, std::filesystem::path& value, const QSCoder&);

template <QSRawEnumeration E>
void encodeJson(json& out, E value, const QSCoder&) {
  out = std::string(rawValue(value));
}

template <QSRawEnumeration E>
void decodeJson(const json& in, E& value, const QSCoder&) {
  if (!in.is_string()) throw QSDecodingError(std::string(QSRawEnum<E>::typeName) + ": expected text");
  auto parsed = fromRawValue<E>(in.get_ref<const std::string&>());
  if (!parsed)
    throw QSDecodingError(std::string(QSRawEnum<E>::typeName) + ": unknown value '" +
                          in.get<std::string>() + "'");
  value = *parsed;
}

template <class T>
void encodeJson(json& out, const std::vector<T>& values, const QSCoder& coder) {
  out = json::array();
  for (const auto& v : values) encodeJson(out.emplace_back(), v, coder);
}

template <class T>
void decodeJson(const json& in, std::vector<T>& values, const QSCoder& coder) {
  if (!in.is_array()) throw QSDecodingError("expected a list");
  values.clear();
  values.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    try {
      decodeJson(in[i], values.emplace_back(), coder);
    } catch (const QSDecodingError& e) {
      throw QSDecodingError("[" + std::to_string(i) + "]", e);
    }
  }
}

template <class T>
void encodeJson(json& out, const std::map<std::string, T>& values, const QSCoder& coder) {
  out = json::object();
  for (const auto& [k, v] : values) encodeJson(out[k], v, coder);
}

template <class T>
void decodeJson(const json& in, std::map<std::string, T>& values, const QSCoder& coder) {
  if (!in.is_object()) throw QSDecodingError("expected an object");
  values.clear();
  for (const auto& [k, v] : in.items()) {
    try {
      decodeJson(v, values[k], coder);
    } catch (const QSDecodingError& e) {
      throw QSDecodingError("[" + k + "]", e);
    }
  }
}

// Whole-value helpers.
template <class T>
json toJson(const T& value, const QSCoder& coder) {
  json out;
  encodeJson(out, value, coder);
  return out;
}

template <class T>
T fromJson(const json& in, const QSCoder& coder) {
  T value{};
  decodeJson(in, value, coder);
  return value;
}

// Writes a record as an object, one key per field; absent optionals are left out.
class QSObjectWriter {
public:
  QSObjectWriter(json& out, const QSCoder& coder) : out_(out), coder_(coder) { out_ = json::object(); }

  template <class T>
  QSObjectWriter& field(const char* key, const T& value) {
    encodeJson(out_[key], value, coder_);
    return *this;
  }
  template <class T>
  QSObjectWriter& field(const char* key, const std::optional<T>& value) {
    if (value) encodeJson(out_[key], *value, coder_);
    return *this;
  }

private:
  json& out_;
  const QSCoder& coder_;
};

// Reads a record's fields; a missing required key fails the whole record with a message that
// names the record and the key.
class QSObjectReader {
public:
  QSObjectReader(const json& in, std::string_view record, const QSCoder& coder);

  template <class T>
  QSObjectReader& field(const char* key, T& value) {
    auto it = in_.find(key);
    if (it == in_.end()) throw QSDecodingError(record_ + ": missing required key '" + key + "'");
    decodeField(*it, key, value);
    return *this;
  }
  // Optional fields: missing or null reads as absent.
  template <class T>
  QSObjectReader& field(const char* key, std::optional<T>& value) {
    auto it = in_.find(key);
    if (it == in_.end() || it->is_null()) {
      value.reset();
      return *this;
    }
    decodeField(*it, key, value.emplace());
    return *this;
  }

private:
  template <class T>
  void decodeField(const json& in, const char* key, T& value) {
    try {
      decodeJson(in, value, coder_);
    } catch (const QSDecodingError& e) {
      throw QSDecodingError(record_ + "." + key, e);
    }
  }

  const json& in_;
  std::string record_;
  const QSCoder& coder_;
};

// A record whose fields are described once by `fields`.
template <class T>
concept QSReflectedRecord = requires(T& value, const T& constValue, QSObjectWriter& writer,
                                     QSObjectReader& reader) {
  { T::recordName } -> std::convertible_to<std::string_view>;
  T::fields(constValue, writer);
  T::fields(value, reader);
};

template <QSReflectedRecord T>
void encodeJson(json& out, const T& value, const QSCoder& coder) {
  QSObjectWriter writer(out, coder);
  T::fields(value, writer);
}

template <QSReflectedRecord T>
void decodeJson(const json& in, T& value, const QSCoder& coder) {
  QSObjectReader reader(in, T::recordName, coder);
  T::fields(value, reader);
}

}  // namespace qs
