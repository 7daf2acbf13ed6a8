// Identifiers: random UUIDs with the canonical upper-case text form.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

class QSUUID {
public:
  QSUUID() = default;  // the nil UUID

  // A fresh random (version 4) UUID.
  static QSUUID random();
  // Parses the 36-character hyphenated form, upper or lower case; nothing for anything else.
  static std::optional<QSUUID> parse(std::string_view text);

  // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": upper-case hexadecimal, hyphenated 8-4-4-4-12.
  std::string string() const;
  bool isNil() const;

  auto operator<=>(const QSUUID&) const = default;
  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

private:
  std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace qs

template <>
struct std::hash<qs::QSUUID> {
  std::size_t operator()(const qs::QSUUID& id) const noexcept;
};
