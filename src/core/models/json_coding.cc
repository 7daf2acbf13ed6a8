#include "core/models/json_coding.h"

#include <cmath>
#include <limits>

namespace qs {
namespace {

template <class Int>
Int readInteger(const json& in) {
  if (in.is_number_integer() || in.is_number_unsigned()) {
    if (in.is_number_unsigned()) {
      auto v = in.get<std::uint64_t>();
      if (v <= static_cast<std::uint64_t>(std::numeric_limits<Int>::max())) return static_cast<Int>(v);
    } else {
      auto v = in.get<std::int64_t>();
      if (v >= std::numeric_limits<Int>::min() && v <= std::numeric_limits<Int>::max()) return static_cast<Int>(v);
    }
    throw QSDecodingError("number " + in.dump() + " does not fit");
  }
  if (in.is_number_float()) {
    double d = in.get<double>();
    // The upper bound is exclusive and written as -min: max() of a 64-bit type is not a double, and
    // rounding it up would let 2^63 through to an overflowing conversion.
    if (std::isfinite(d) && std::trunc(d) == d && d >= static_cast<double>(std::numeric_limits<Int>::min()) &&
        d < -static_cast<double>(std::numeric_limits<Int>::min()))
      return static_cast<Int>(d);
    throw QSDecodingError("number " + in.dump() + " is not a whole number");
  }
  throw QSDecodingError("expected a whole number");
}

const std::string& readString(const json& in, const char* what) {
  if (!in.is_string()) throw QSDecodingError(std::string("expected ") + what);
  return in.get_ref<const std::string&>();
}

}  // namespace

void encodeJson(json& out, const std::string& value, const QSCoder&) { out = value; }
void encodeJson(json& out, bool value, const QSCoder&) { out = value; }
void encodeJson(json& out, int value, const QSCoder&) { out = value; }
void encodeJson(json& out, std::int64_t value, const QSCoder&) { out = value; }
void encodeJson(json& out, double value, const QSCoder&) { out = value; }
void encodeJson(json& out, const QSUUID& value, const QSCoder&) { out = value.string(); }
void encodeJson(json& out, const QSBytes& value, const QSCoder&) { out = base64Encode(value); }
void encodeJson(json& out, const std::filesystem::path& value, const QSCoder&) { out = fileURLString(value); }

void encodeJson(json& out, const QSTimestamp& value, const QSCoder& coder) {
  if (coder.dates == QSDateCoding::iso8601)
    out = QSTime::iso8601(value);
  else
    out = QSTime::referenceSeconds(value);
}

void decodeJson(const json& in, std::string& value, const QSCoder&) { value = readString(in, "text"); }

void decodeJson(const json& in, bool& value, const QSCoder&) {
  if (!in.is_boolean()) throw QSDecodingError("expected true or false");
  value = in.get<bool>();
}

void decodeJson(const json& in, int& value, const QSCoder&) { value = readInteger<int>(in); }
void decodeJson(const json& in, std::int64_t& value, const QSCoder&) { value = readInteger<std::int64_t>(in); }

void decodeJson(const json& in, double& value, const QSCoder&) {
  if (!in.is_number()) throw QSDecodingError("expected a number");
  value = in.get<double>();
}

void decodeJson(const json& in, QSUUID& value, const QSCoder&) {
  auto parsed = QSUUID::parse(readString(in, "a UUID"));
  if (!parsed) throw QSDecodingError("invalid UUID '" + in.get<std::string>() + "'");
  value = *parsed;
}

void decodeJson(const json& in, QSTimestamp& value, const QSCoder& coder) {
  if (coder.dates == QSDateCoding::iso8601) {
    auto parsed = QSTime::parseISO8601(readString(in, "an ISO 8601 date"));
    if (!parsed) throw QSDecodingError("invalid ISO 8601 date '" + in.get<std::string>() + "'");
    value = *parsed;
  } else {
    if (!in.is_number()) throw QSDecodingError("expected a date as seconds since 2001-01-01");
    value = QSTime::fromReferenceSeconds(in.get<double>());
  }
}

void decodeJson(const json& in, QSBytes& value, const QSCoder&) {
  auto parsed = base64Decode(readString(in, "Base64 text"));
  if (!parsed) throw QSDecodingError("invalid Base64 data");
  value = std::move(*parsed);
}

std::optional<std::filesystem::path> pathFromCodedURL(std::string_view url) {
  auto parsed = pathFromFileURL(url);
  if (!parsed) return std::nullopt;
  std::string text = parsed->string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

void decodeJson(const json& in, std::filesystem::path& value, const QSCoder&) {
  auto parsed = pathFromCodedURL(readString(in, "a file URL"));
  if (!parsed) throw QSDecodingError("invalid file URL '" + in.get<std::string>() + "'");
  value = std::move(*parsed);
}

QSObjectReader::QSObjectReader(const json& in, std::string_view record, const QSCoder& coder)
    : in_(in), record_(record), coder_(coder) {
  if (!in.is_object()) throw QSDecodingError(record_ + ": expected an object");
}

}  // namespace qs
