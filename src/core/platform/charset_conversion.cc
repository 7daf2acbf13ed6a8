#include "core/platform/charset_conversion.h"

#include <iconv.h>

#include <cerrno>

namespace qs {
namespace {

// Owns one conversion descriptor.
class IconvHandle {
public:
  explicit IconvHandle(const char* from) : handle_(::iconv_open("UTF-8", from)) {}
  ~IconvHandle() {
    if (valid()) ::iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

private:
  iconv_t handle_;
};

}  // namespace

bool isKnownCharset(const char* charset) { return IconvHandle(charset).valid(); }

std::optional<std::string> convertToUTF8(std::string_view bytes, const char* charset) {
  IconvHandle converter(charset);
  if (!converter.valid()) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[4096];
  for (;;) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    // A null input flushes the shift state once everything has been read.
    std::size_t result = inLeft > 0 ? ::iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft)
                                     : ::iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1)) {
      if (inLeft == 0 && outPtr == buffer) break;
      continue;
    }
    if (errno != E2BIG) return std::nullopt;  // EILSEQ, EINVAL: not text in this character set
  }
  return out;
}

std::string latin1ToUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace qs
