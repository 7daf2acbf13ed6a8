// The script file a terminal runs for a console: written into a private folder, named after the
// console, run by zsh when it is installed, else by /bin/sh.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qs::QSConsoleScript {

// The data folder's "consoles" (~/.local/share/Quayside/consoles).
std::filesystem::path defaultFolder();
// The name with every character outside A-Za-z0-9._- replaced by "-", then ".sh".
std::string fileName(std::string_view name);
// "#!/usr/bin/env zsh" when zsh is on PATH, else "#!/bin/sh"; then "clear" and the command.
std::string content(std::string_view command);
// Writes the script into `folder` (created with mode 0700 when missing, tightened to 0700 when
// it exists, since a console's command may carry a password), replacing one of the same name,
// with mode 0700. Returns its path; throws QSSystemError when the folder or file can't be written.
std::filesystem::path write(const std::filesystem::path& folder, std::string_view name, std::string_view command);

}  // namespace qs::QSConsoleScript
