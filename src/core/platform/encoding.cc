#include "core/platform/encoding.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <fmt/format.h>

#include <cctype>

namespace qs {

std::string base64Encode(const QSBytes& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(written));
  return out;
}

std::optional<QSBytes> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=') return std::nullopt;
  QSBytes out(3 * (text.size() / 4));
  int written = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  if (written < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding bytes as data; take them off again.
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') ++padding;
  if (text.size() > 1 && text[text.size() - 2] == '=') ++padding;
  out.resize(static_cast<std::size_t>(written) - padding);
  return out;
}

std::string sha256Hex(std::string_view bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string out;
  out.reserve(2 * SHA256_DIGEST_LENGTH);
  for (unsigned char b : digest) out += fmt::format("{:02x}", b);
  return out;
}

std::string percentEncode(std::string_view text, std::string_view keep) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) && c < 0x80) {
      out += static_cast<char>(c);
    } else if (keep.find(static_cast<char>(c)) != std::string_view::npos) {
      out += static_cast<char>(c);
    } else {
      out += fmt::format("%{:02X}", c);
    }
  }
  return out;
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hexDigitValue(text[i + 1]), low = hexDigitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return out;
}

std::string fileURLString(const std::filesystem::path& path) {
  // The characters a URL path may carry literally (RFC 3986 pchar plus '/').
  return "file://" + percentEncode(path.string(), "/-._~!$&'()*+,;=:@");
}

std::optional<std::filesystem::path> pathFromFileURL(std::string_view url) {
  constexpr std::string_view scheme = "file://";
  if (url.size() < scheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return std::nullopt;
  std::string_view rest = url.substr(scheme.size());
  if (rest.starts_with("localhost/")) rest.remove_prefix(9);
  if (!rest.starts_with('/')) return std::nullopt;
  auto decoded = percentDecode(rest);
  if (!decoded || decoded->find('\0') != std::string::npos) return std::nullopt;
  return std::filesystem::path(*decoded);
}

}  // namespace qs
