#include "app/shell/console_script.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/system_error.h"

#include <sys/stat.h>

namespace qs::QSConsoleScript {

std::filesystem::path defaultFolder() { return QSPaths::dataFolder() / "consoles"; }

std::string fileName(std::string_view name) {
  std::string out;
  for (char c : name) {
    bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                c == '-';
    out += kept ? c : '-';
  }
  return out + ".sh";
}

std::string content(std::string_view command) {
  std::string shebang = findExecutable("zsh") ? "#!/usr/bin/env zsh" : "#!/bin/sh";
  return shebang + "\nclear\n" + std::string(command);
}

std::filesystem::path write(const std::filesystem::path& folder, std::string_view name, std::string_view command) {
  createDirectories(folder, 0700);
  if (::chmod(folder.c_str(), 0700) != 0) throwSystemError("chmod " + folder.string());
  std::filesystem::path script = folder / fileName(name);
  writeFileReplacing(script, content(command), 0700);
  return script;
}

}  // namespace qs::QSConsoleScript
