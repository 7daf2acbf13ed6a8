// What this process was started with: its environment variables and its own executable.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

// The value of the environment variable `name`; nothing when it is unset or empty (an empty
// QS_DAEMON_SOCKET, say, means the same as none).
std::optional<std::string> environmentValue(const char* name);

// The file this process runs, links resolved (/proc/self/exe). Throws QSSystemError
// ("readlink /proc/self/exe: …") when the kernel cannot say.
std::filesystem::path currentExecutable();

}  // namespace qs
