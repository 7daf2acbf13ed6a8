// Putting paths and numbers into scripts that run as root: checked first, then quoted.
#pragma once

#include "core/platform/shell_words.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace qs {

// `path` shell-quoted after checking it: it must be absolute and hold no control characters
// (no newline can split a script line, no NUL can cut it). Throws QSPrivilegedException
// (invalidPath) otherwise.
std::string shellPath(const std::filesystem::path& path);

// `path` as one word of a systemd unit's command line: `%` and `$` doubled so systemd takes it
// literally, and double-quoted (backslash and double quote escaped) only when it holds a space,
// a tab, a quote or a backslash. Same checks as shellPath.
std::string unitPath(const std::filesystem::path& path);

// The port in decimal after checking that it lies in 1–65535; throws QSPrivilegedException
// (invalidPort) otherwise.
std::string checkedPort(int port);

// Throws QSPrivilegedException (invalidPath) unless `path` is absolute and free of control
// characters.
void checkScriptPath(const std::filesystem::path& path);

}  // namespace qs
