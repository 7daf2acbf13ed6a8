#include "core/routing/shell_quoting.h"

#include "core/routing/privileged_error.h"

#include <algorithm>

namespace qs {

void checkScriptPath(const std::filesystem::path& path) {
  const std::string& text = path.native();
  bool control = std::any_of(text.begin(), text.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
  if (text.empty() || text.front() != '/' || control)
    throw QSPrivilegedException(privilegedError::InvalidPath{text});
}

std::string shellPath(const std::filesystem::path& path) {
  checkScriptPath(path);
  return shellQuoted(path.native());
}

std::string unitPath(const std::filesystem::path& path) {
  checkScriptPath(path);
  std::string escaped;
  for (char c : path.native()) {
    if (c == '%' || c == '$') escaped += c;
    escaped += c;
  }
  if (escaped.find_first_of(" \t\"'\\") == std::string::npos) return escaped;
  std::string quoted = "\"";
  for (char c : escaped) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string checkedPort(int port) {
  if (port < 1 || port > 65535) throw QSPrivilegedException(privilegedError::InvalidPort{port});
  return std::to_string(port);
}

}  // namespace qs
