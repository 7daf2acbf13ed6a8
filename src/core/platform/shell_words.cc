#include "core/platform/shell_words.h"

#include <algorithm>

namespace qs {
namespace {

bool isPlainWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-' || c == '/' || c == ':' || c == '@';
}

}  // namespace

std::string shellQuoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string shellWord(std::string_view text) {
  bool plain = !text.empty() && std::all_of(text.begin(), text.end(), isPlainWordCharacter);
  return plain ? std::string(text) : shellQuoted(text);
}

}  // namespace qs
