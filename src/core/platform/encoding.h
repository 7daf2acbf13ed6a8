// Byte encodings: Base64, SHA-256, percent-encoding, file URLs and UTF-8 validity.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

using QSBytes = std::vector<std::uint8_t>;

// The value of a hexadecimal digit in either case, or -1 for any other character.
constexpr int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string base64Encode(const QSBytes& bytes);
// Standard alphabet with padding; nothing for malformed text.
std::optional<QSBytes> base64Decode(std::string_view text);

// Lower-case hexadecimal SHA-256 of the bytes.
std::string sha256Hex(std::string_view bytes);

// Percent-encodes every byte except those in `keep` and ASCII letters and digits.
std::string percentEncode(std::string_view text, std::string_view keep = "");
// Decodes %XX sequences; nothing when one is malformed.
std::optional<std::string> percentDecode(std::string_view text);

// "file:///home/me/My%20App/" form of an absolute path, encoded as URLs are (a folder keeps
// a trailing slash only when the path has one).
std::string fileURLString(const std::filesystem::path& path);
// The absolute path of a "file://" URL; nothing for other schemes, hosts or relative paths.
std::optional<std::filesystem::path> pathFromFileURL(std::string_view url);

}  // namespace qs
