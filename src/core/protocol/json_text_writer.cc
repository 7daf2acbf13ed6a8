#include "core/protocol/json_text_writer.h"

#include <nlohmann/detail/conversions/to_chars.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace qs {

void QSJsonTextWriter::writeString(std::string_view text) {
  bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
  if (!ascii && !isValidUTF8(text)) {
    // Bad bytes are rare; the DOM dump decides how they are replaced.
    writeDom(json(std::string(text)));
    return;
  }
  static constexpr char hex[] = "0123456789abcdef";
  out_.reserve(out_.size() + text.size() + 2);
  out_ += '"';
  std::size_t plainFrom = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
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

QSJsonTextWriter::RecordFields::RecordFields(QSJsonTextWriter& writer) : writer_(writer) {
  writer_.out_ += '{';
  start_ = writer_.out_.size();
}

void QSJsonTextWriter::RecordFields::beginMember(std::string_view key) {
  if (!members_.empty()) writer_.out_ += ',';
  members_.push_back({key, writer_.out_.size(), 0});
  writer_.writeString(key);
  writer_.out_ += ':';
}

void QSJsonTextWriter::RecordFields::finish() {
  auto byKey = [](const Member& a, const Member& b) { return a.key < b.key; };
  std::string& out = writer_.out_;
  if (!std::is_sorted(members_.begin(), members_.end(), byKey)) {
    // Members were written in declaration order; put them in key order, as the DOM holds them.
    std::string written = out.substr(start_);
    out.resize(start_);
    std::sort(members_.begin(), members_.end(), byKey);
    bool first = true;
    for (const Member& member : members_) {
      if (!first) out += ',';
      first = false;
      out.append(written, member.begin - start_, member.end - member.begin);
    }
  }
  out += '}';
}

}  // namespace qs
