// Enumerations with payloads, coded once for every message type.
//
// An enumeration with payloads is a QSEnumeration over case structs; each case struct names itself
// (`caseName`) and describes its parameters the same way. Cases without parameters are
// QSEmptyCase<"name">, cases with one unnamed parameter QSUnnamedCase<"name", T>. The list of
// cases given to QSEnumeration is the enumeration's table: adding a case is one line there.
//
// JSON shape of an enumeration value: an object with exactly one key, the case name, whose value
// is an object of the case's parameters (an unnamed one under "_0"; {} for none).
#pragma once

#include "core/models/json_coding.h"

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace qs {

// A case name given as a template argument: QSEmptyCase<"ping">.
template <std::size_t N>
struct QSCaseName {
  char text[N]{};
  constexpr QSCaseName(const char (&literal)[N]) { std::copy_n(literal, N, text); }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// A case without parameters, coded as {"name": {}}.
template <QSCaseName Name>
struct QSEmptyCase {
  static constexpr std::string_view caseName = Name.view();
  template <class Self, class Fields>
  static void fields(Self&, Fields&) {}
  bool operator==(const QSEmptyCase&) const = default;
};

// A case with one unnamed parameter, coded as {"name": {"_0": value}}.
template <QSCaseName Name, class T>
struct QSUnnamedCase {
  static constexpr std::string_view caseName = Name.view();
  T value{};
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("_0", self.value);
  }
  bool operator==(const QSUnnamedCase&) const = default;
};

// A case whose only parameter is a UUID, held in `id` and coded under the label `Key`:
// QSIdentifiedCase<"startServer", "projectID"> is {"startServer": {"projectID": U}}.
template <QSCaseName Name, QSCaseName Key>
struct QSIdentifiedCase {
  static constexpr std::string_view caseName = Name.view();
  QSUUID id;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field(Key.text, self.id);
  }
  bool operator==(const QSIdentifiedCase&) const = default;
};

// A case struct: names itself and lists its parameters through `fields`.
template <class C>
concept QSCase = requires(C& c, const C& constCase, QSObjectWriter& writer, QSObjectReader& reader) {
  { C::caseName } -> std::convertible_to<std::string_view>;
  C::fields(constCase, writer);
  C::fields(c, reader);
};

namespace detail {

template <std::size_t N>
constexpr bool distinctNames(const std::array<std::string_view, N>& names) {
  for (std::size_t i = 0; i < N; ++i)
    for (std::size_t j = i + 1; j < N; ++j)
      if (names[i] == names[j]) return false;
  return true;
}

}  // namespace detail

// The value of an enumeration with payloads: exactly one of `Cases`. Derive the named type from it
// (`struct QSDaemonCommand : QSEnumeration<...> { using QSEnumeration::QSEnumeration; ... }`) and give
// it a `typeName` for decoding messages. A default-constructed value holds the first case.
template <QSCase... Cases>
class QSEnumeration {
public:
  using Variant = std::variant<Cases...>;

  // The case names in declaration order: the table that coding, tests and tools iterate.
  static constexpr std::array<std::string_view, sizeof...(Cases)> caseNames{Cases::caseName...};
  static_assert(detail::distinctNames(caseNames), "two cases share a name");

  QSEnumeration() = default;
  template <class C>
    requires(std::same_as<std::remove_cvref_t<C>, Cases> || ...)
  QSEnumeration(C&& value) : value_(std::forward<C>(value)) {}

  // The name of the case held, e.g. "startServer".
  std::string_view caseName() const { return caseNames[value_.index()]; }
  // The held case when it is a `C`, else null.
  template <class C>
  const C* get() const {
    return std::get_if<C>(&value_);
  }
  template <class C>
  bool is() const {
    return std::holds_alternative<C>(value_);
  }
  const Variant& variant() const { return value_; }
  // Calls `f` with the held case.
  template <class F>
  decltype(auto) visit(F&& f) const {
    return std::visit(std::forward<F>(f), value_);
  }

  bool operator==(const QSEnumeration&) const = default;

private:
  Variant value_;
};

template <class E>
concept QSCaseEnumeration = requires {
  { E::typeName } -> std::convertible_to<std::string_view>;
  typename E::Variant;
  E::caseNames;
};

// Builds an overload set from lambdas, for exhaustive visits:
// value.visit(QSOverloaded{[](const cmd::Ping&) {...}, ...}).
template <class... F>
struct QSOverloaded : F... {
  using F::operator()...;
};
template <class... F>
QSOverloaded(F...) -> QSOverloaded<F...>;

namespace detail {

// The one entry of an enumeration object; throws "Invalid number of keys found, expected one."
// for zero or several keys.
std::pair<const std::string&, const json&> singleCaseEntry(const json& in, std::string_view typeName);
[[noreturn]] void throwUnknownCase(std::string_view typeName, const std::string& name);

template <class C>
void encodeCase(json& out, const C& value, const QSCoder& coder) {
  QSObjectWriter writer(out, coder);
  C::fields(value, writer);
}

template <class C>
C decodeCase(const json& params, std::string_view typeName, const QSCoder& coder) {
  C value{};
  QSObjectReader reader(params, std::string(typeName) + "." + std::string(C::caseName), coder);
  C::fields(value, reader);
  return value;
}

template <class E, class... Cases>
bool decodeNamedCase(const std::string& name, const json& params, E& out, const QSCoder& coder,
                     std::type_identity<std::variant<Cases...>>) {
  return ((name == Cases::caseName && (out = E(decodeCase<Cases>(params, E::typeName, coder)), true)) || ...);
}

}  // namespace detail

template <QSCaseEnumeration E>
void encodeJson(json& out, const E& value, const QSCoder& coder) {
  out = json::object();
  value.visit([&](const auto& c) { detail::encodeCase(out[std::string(c.caseName)], c, coder); });
}

template <QSCaseEnumeration E>
void decodeJson(const json& in, E& value, const QSCoder& coder) {
  auto [name, params] = detail::singleCaseEntry(in, E::typeName);
  if (!detail::decodeNamedCase(name, params, value, coder, std::type_identity<typename E::Variant>{}))
    detail::throwUnknownCase(E::typeName, name);
}

}  // namespace qs
