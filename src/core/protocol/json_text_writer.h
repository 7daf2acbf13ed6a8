// Writes codable values straight to compact JSON text, without building a DOM first.
//
// The text is byte for byte what dumping the DOM coding gives (`QSDaemonFraming::compactText`):
// object keys in byte order, no spaces, non-ASCII text as is, bad UTF-8 as U+FFFD. Records,
// enumerations, lists, maps and primitives are written directly; any other type is written
// through its DOM coding, so every codable type can be written.
#pragma once

#include "core/models/json_coding.h"
#include "core/models/case_coding.h"

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qs {

class QSJsonTextWriter {
public:
  explicit QSJsonTextWriter(const QSCoder& coder) : coder_(coder) {}

  template <class T>
  void write(const T& value);

  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

  // The quoted, escaped form of `text`, as the DOM dump writes it.
  void writeString(std::string_view text);
  // `text` as it is: punctuation between values the caller assembles itself.
  void writeRaw(std::string_view text) { out_ += text; }
  // Takes back what was written after the first `size` bytes.
  void truncate(std::size_t size) { out_.resize(std::min(size, out_.size())); }
  void clear() { out_.clear(); }

private:
  class RecordFields;

  void writeInteger(std::int64_t value);
  void writeNumber(double value);
  void writeDom(const json& value);

  template <class T>
  void writeRecord(const T& value);
  template <class E>
  void writeCase(const E& value);

  // The members of every record being written, innermost last; one stack for the whole value
  // instead of a list per record.
  struct Member {
    std::string_view key;
    std::size_t begin = 0;  // the member's quoted key, after any comma
    std::size_t end = 0;
  };

  std::string out_;
  std::vector<Member> members_;
  const QSCoder& coder_;
};

// The `Fields` a record's `fields` function is given while it is written: one member per field,
// absent optionals left out, members put in key order when the record is closed.
class QSJsonTextWriter::RecordFields {
public:
  explicit RecordFields(QSJsonTextWriter& writer);

  template <class T>
  RecordFields& field(const char* key, const T& value) {
    std::size_t member = beginMember(key);
    writer_.write(value);
    writer_.members_[member].end = writer_.out_.size();
    return *this;
  }
  template <class T>
  RecordFields& field(const char* key, const std::optional<T>& value) {
    if (value) field(key, *value);
    return *this;
  }

  // Closes the object.
  void finish();

private:
  // Returns the member's place on the writer's stack.
  std::size_t beginMember(std::string_view key);

  QSJsonTextWriter& writer_;
  std::size_t start_;  // just after the opening brace
  std::size_t base_;   // this record's first member on the writer's stack
};

template <class T>
void QSJsonTextWriter::write(const T& value) {
  if constexpr (std::same_as<T, std::string>) {
    writeString(value);
  } else if constexpr (std::same_as<T, bool>) {
    out_ += value ? "true" : "false";
  } else if constexpr (std::same_as<T, int> || std::same_as<T, std::int64_t>) {
    writeInteger(value);
  } else if constexpr (std::same_as<T, double>) {
    writeNumber(value);
  } else if constexpr (std::same_as<T, QSUUID>) {
    writeString(value.string());
  } else if constexpr (std::same_as<T, QSTimestamp>) {
    if (coder_.dates == QSDateCoding::iso8601)
      writeString(QSTime::iso8601(value));
    else
      writeNumber(QSTime::referenceSeconds(value));
  } else if constexpr (std::same_as<T, QSBytes>) {
    writeString(base64Encode(value));
  } else if constexpr (std::same_as<T, std::filesystem::path>) {
    writeString(fileURLString(value));
  } else if constexpr (QSRawEnumeration<T>) {
    writeString(rawValue(value));
  } else if constexpr (detail::isList<T>) {
    out_ += '[';
    bool first = true;
    for (const auto& element : value) {
      if (!first) out_ += ',';
      first = false;
      write(element);
    }
    out_ += ']';
  } else if constexpr (detail::isTextMap<T>) {
    // A std::map is already in the byte order the DOM writes keys in.
    out_ += '{';
    bool first = true;
    for (const auto& [key, element] : value) {
      if (!first) out_ += ',';
      first = false;
      writeString(key);
      out_ += ':';
      write(element);
    }
    out_ += '}';
  } else if constexpr (QSReflectedRecord<T>) {
    writeRecord(value);
  } else if constexpr (QSCaseEnumeration<T>) {
    writeCase(value);
  } else {
    json dom;
    encodeJson(dom, value, coder_);
    writeDom(dom);
  }
}

template <class T>
void QSJsonTextWriter::writeRecord(const T& value) {
  RecordFields fields(*this);
  T::fields(value, fields);
  fields.finish();
}

template <class E>
void QSJsonTextWriter::writeCase(const E& value) {
  out_ += '{';
  value.visit([&](const auto& held) {
    writeString(held.caseName);
    out_ += ':';
    writeRecord(held);
  });
  out_ += '}';
}

// The compact JSON text of `value`.
template <class T>
std::string jsonText(const T& value, const QSCoder& coder) {
  QSJsonTextWriter writer(coder);
  writer.write(value);
  return writer.take();
}

}  // namespace qs
