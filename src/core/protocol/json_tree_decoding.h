// Decodes codable values from a QSJsonTree, the quick way of reading a frame.
//
// It follows the DOM coding's rules and, when it succeeds, gives exactly the value the DOM
// coding gives. It does not word errors: on anything it cannot take (including objects with a
// repeated key) it gives up and the caller decodes through the DOM, which says what is wrong.
#pragma once

#include "core/models/json_coding.h"
#include "core/models/case_coding.h"
#include "core/protocol/json_tree.h"

#include <algorithm>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace qs {

class QSJsonTreeReader {
public:
  // Thrown to give up; never leaves tryDecodeTree.
  struct GiveUp {};

  QSJsonTreeReader(const QSJsonTree& tree, const QSCoder& coder) : tree_(tree), coder_(coder) {}

  template <class T>
  void read(std::uint32_t index, T& value);

private:
  class RecordFields;

  const QSJsonNode& node(std::uint32_t index, QSJsonNode::Kind kind) const {
    const QSJsonNode& n = tree_[index];
    if (n.kind != kind) throw GiveUp{};
    return n;
  }
  std::string_view text(std::uint32_t index) const { return node(index, QSJsonNode::Kind::string).text; }
  double number(std::uint32_t index) const;
  template <class Int>
  Int integer(std::uint32_t index) const;

  template <class T>
  void readRecord(std::uint32_t index, T& value);
  template <class E, class... Cases>
  void readCase(std::string_view name, std::uint32_t params, E& value, std::type_identity<std::variant<Cases...>>);

  // The members of every record being read, innermost last, each record's in key order; one
  // stack for the whole value instead of a list per record.
  struct Member {
    std::string_view key;
    std::uint32_t value;
  };

  const QSJsonTree& tree_;
  const QSCoder& coder_;
  std::vector<Member> members_;
};

// The `Fields` a record's `fields` function is given while it is read: members looked up by key,
// missing or null optionals read as absent, a missing required key gives up.
class QSJsonTreeReader::RecordFields {
public:
  RecordFields(QSJsonTreeReader& reader, std::uint32_t index);
  ~RecordFields() { reader_.members_.resize(base_); }
  RecordFields(const RecordFields&) = delete;
  RecordFields& operator=(const RecordFields&) = delete;

  template <class T>
  RecordFields& field(const char* key, T& value) {
    std::uint32_t member = find(key);
    if (member == absent) throw GiveUp{};
    reader_.read(member, value);
    return *this;
  }
  template <class T>
  RecordFields& field(const char* key, std::optional<T>& value) {
    std::uint32_t member = find(key);
    if (member == absent || reader_.tree_[member].kind == QSJsonNode::Kind::null) {
      value.reset();
      return *this;
    }
    reader_.read(member, value.emplace());
    return *this;
  }

private:
  static constexpr std::uint32_t absent = 0;  // the root is never a member's value
  // The node of the member's value, or `absent`.
  std::uint32_t find(std::string_view key) const;

  QSJsonTreeReader& reader_;
  std::size_t base_;  // this record's first member on the reader's stack
};

template <class Int>
Int QSJsonTreeReader::integer(std::uint32_t index) const {
  const QSJsonNode& n = tree_[index];
  if (n.kind == QSJsonNode::Kind::integer) {
    if (n.integer < std::numeric_limits<Int>::min() || n.integer > std::numeric_limits<Int>::max()) throw GiveUp{};
    return static_cast<Int>(n.integer);
  }
  if (n.kind == QSJsonNode::Kind::number) {
    double d = n.number;
    if (std::isfinite(d) && std::trunc(d) == d && d >= static_cast<double>(std::numeric_limits<Int>::min()) &&
        d < -static_cast<double>(std::numeric_limits<Int>::min()))
      return static_cast<Int>(d);
  }
  throw GiveUp{};
}

template <class T>
void QSJsonTreeReader::read(std::uint32_t index, T& value) {
  using Kind = QSJsonNode::Kind;
  if constexpr (std::same_as<T, std::string>) {
    value = text(index);
  } else if constexpr (std::same_as<T, bool>) {
    value = node(index, Kind::boolean).boolean;
  } else if constexpr (std::same_as<T, int> || std::same_as<T, std::int64_t>) {
    value = integer<T>(index);
  } else if constexpr (std::same_as<T, double>) {
    value = number(index);
  } else if constexpr (std::same_as<T, QSUUID>) {
    auto parsed = QSUUID::parse(text(index));
    if (!parsed) throw GiveUp{};
    value = *parsed;
  } else if constexpr (std::same_as<T, QSTimestamp>) {
    if (coder_.dates == QSDateCoding::iso8601) {
      auto parsed = QSTime::parseISO8601(text(index));
      if (!parsed) throw GiveUp{};
      value = *parsed;
    } else {
      value = QSTime::fromReferenceSeconds(number(index));
    }
  } else if constexpr (std::same_as<T, QSBytes>) {
    auto parsed = base64Decode(text(index));
    if (!parsed) throw GiveUp{};
    value = std::move(*parsed);
  } else if constexpr (std::same_as<T, std::filesystem::path>) {
    auto parsed = pathFromCodedURL(text(index));
    if (!parsed) throw GiveUp{};
    value = std::move(*parsed);
  } else if constexpr (QSRawEnumeration<T>) {
    auto parsed = fromRawValue<T>(text(index));
    if (!parsed) throw GiveUp{};
    value = *parsed;
  } else if constexpr (detail::isList<T>) {
    const QSJsonNode& list = node(index, Kind::array);
    value.clear();
    value.reserve(list.count);
    for (std::uint32_t i = index + 1; i < list.end; i = tree_[i].end) read(i, value.emplace_back());
  } else if constexpr (detail::isTextMap<T>) {
    const QSJsonNode& object = node(index, Kind::object);
    value.clear();
    for (std::uint32_t i = index + 1; i < object.end; i = tree_[i + 1].end) {
      auto [entry, inserted] = value.try_emplace(std::string(tree_[i].text));
      if (!inserted) throw GiveUp{};
      read(i + 1, entry->second);
    }
  } else if constexpr (QSReflectedRecord<T>) {
    readRecord(index, value);
  } else if constexpr (QSCaseEnumeration<T>) {
    const QSJsonNode& object = node(index, Kind::object);
    if (object.count != 1) throw GiveUp{};
    readCase(tree_[index + 1].text, index + 2, value, std::type_identity<typename T::Variant>{});
  } else {
    decodeJson(tree_.dom(index), value, coder_);
  }
}

template <class T>
void QSJsonTreeReader::readRecord(std::uint32_t index, T& value) {
  RecordFields fields(*this, index);
  T::fields(value, fields);
}

template <class E, class... Cases>
void QSJsonTreeReader::readCase(std::string_view name, std::uint32_t params, E& value,
                                std::type_identity<std::variant<Cases...>>) {
  auto readAs = [&]<class C>(std::type_identity<C>) {
    C held{};
    readRecord(params, held);
    value = E(std::move(held));
  };
  bool found = ((name == Cases::caseName && (readAs(std::type_identity<Cases>{}), true)) || ...);
  if (!found) throw GiveUp{};
}

// The value of a frame body the quick way, or nothing when the DOM has to decide.
template <class T>
std::optional<T> tryDecodeTree(std::string_view body, const QSCoder& coder) {
  auto tree = QSJsonTree::parse(body);
  if (!tree) return std::nullopt;
  try {
    T value{};
    QSJsonTreeReader(*tree, coder).read(0, value);
    return value;
  } catch (const QSJsonTreeReader::GiveUp&) {
    return std::nullopt;
  } catch (const QSDecodingError&) {
    return std::nullopt;
  }
}

}  // namespace qs
