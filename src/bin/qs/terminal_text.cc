#include "bin/qs/terminal_text.h"

namespace qs {
namespace {

constexpr std::string_view kReplacement = "\uFFFD";

std::string replacingControls(std::string_view text, bool keepLines) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (keepLines && byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (byte == '\t' || (keepLines && byte == '\n')) {
      out += text[i];
    } else if (byte < 0x20 || byte == 0x7f) {
      out += kReplacement;
    } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += kReplacement;  // U+0080 to U+009F: the C1 controls, CSI among them
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string terminalSafeLine(std::string_view text) { return replacingControls(text, false); }

std::string terminalSafeText(std::string_view text) { return replacingControls(text, true); }

}  // namespace qs
