#include "core/platform/utf8.h"
#include "core/protocol/json_text_writer.h"

#include <nlohmann/detail/conversions/to_chars.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace qs {

namespace {

// What each byte needs inside a JSON string: nothing, an escape, or (from 0x80) a UTF-8 check.
enum class ByteClass : std::uint8_t { plain, escape, nonASCII };

constexpr std::array<ByteClass, 256> byteClasses = [] {
  std::array<ByteClass, 256> classes{};
  for (int b = 0; b < 256; ++b)
    classes[b] = b < 0x20 || b == '"' || b == '\\' ? ByteClass::escape
                 : b >= 0x80                       ? ByteClass::nonASCII
                                                   : ByteClass::plain;
  return classes;
}();

}  // namespace

void QSJsonTextWriter::writeString(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  const std::size_t start = out_.size();
  out_.reserve(start + text.size() + 2);
  out_ += '"';
  bool checkedUTF8 = false;
  std::size_t plainFrom = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<std::uint8_t>(text[i]);
    ByteClass kind = byteClasses[byte];
    if (kind == ByteClass::plain) continue;
    if (kind == ByteClass::nonASCII) {
      // Well-formed UTF-8 is written as is; bad bytes are rare, and the DOM dump decides how
      // they are replaced.
      if (!checkedUTF8 && !isValidUTF8(text.substr(i))) {
        out_.resize(start);
        writeDom(json(std::string(text)));
        return;
      }
      checkedUTF8 = true;
      continue;
    }
    out_.append(text, plainFrom, i - plainFrom);
    plainFrom = i + 1;
    out_ += '\\';
    switch (byte) {
      case '"': out_ += '"'; break;
      case '\\': out_ += '\\'; break;
      case '\b': out_ += 'b'; break;
      case '\t': out_ += 't'; break;
      case '\n': out_ += 'n'; break;
      case '\f': out_ += 'f'; break;
      case '\r': out_ += 'r'; break;
      default:
        out_ += "u00";
        out_ += hex[byte >> 4];
        out_ += hex[byte & 0xF];
    }
  }
  out_.append(text, plainFrom, text.size() - plainFrom);
  out_ += '"';
}

void QSJsonTextWriter::writeInteger(std::int64_t value) {
  std::array<char, 24> buffer;
  auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out_.append(buffer.data(), end);
}

void QSJsonTextWriter::writeNumber(double value) {
  if (!std::isfinite(value)) {
    out_ += "null";
    return;
  }
  // The same shortest round-trip form, with ".0" on whole numbers, that the DOM dump writes.
  std::array<char, 64> buffer;
  char* end = nlohmann::detail::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out_.append(buffer.data(), end);
}

void QSJsonTextWriter::writeDom(const json& value) {
  out_ += value.dump(-1, ' ', false, json::error_handler_t::replace);
}

QSJsonTextWriter::RecordFields::RecordFields(QSJsonTextWriter& writer)
    : writer_(writer), base_(writer.members_.size()) {
  writer_.out_ += '{';
  start_ = writer_.out_.size();
}

std::size_t QSJsonTextWriter::RecordFields::beginMember(std::string_view key) {
  if (writer_.members_.size() > base_) writer_.out_ += ',';
  writer_.members_.push_back({key, writer_.out_.size(), 0});
  writer_.writeString(key);
  writer_.out_ += ':';
  return writer_.members_.size() - 1;
}

void QSJsonTextWriter::RecordFields::finish() {
  auto byKey = [](const Member& a, const Member& b) { return detail::keyLess(a.key, b.key); };
  std::string& out = writer_.out_;
  auto first = writer_.members_.begin() + static_cast<std::ptrdiff_t>(base_), last = writer_.members_.end();
  if (!std::is_sorted(first, last, byKey)) {
    // Members were written in declaration order; put them in key order, as the DOM holds them.
    std::string written = out.substr(start_);
    out.resize(start_);
    std::sort(first, last, byKey);
    for (auto member = first; member != last; ++member) {
      if (member != first) out += ',';
      out.append(written, member->begin - start_, member->end - member->begin);
    }
  }
  out += '}';
  writer_.members_.resize(base_);
}

}  // namespace qs
