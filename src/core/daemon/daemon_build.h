// Build identity: tells whether a running daemon was started from the executable now on disk.
#pragma once

#include <filesystem>
#include <string>

namespace qs::QSDaemonBuild {

// "<modification time in whole seconds since 1970>-<size in bytes>" of the file `executable`
// names (links followed), e.g. "1718000000-5242880"; "0-0" when it cannot be examined.
std::string fingerprint(const std::filesystem::path& executable);

// The fingerprint of this process's own executable (/proc/self/exe), taken when the program
// started: touching or replacing the file later does not change it, which is what lets a
// client notice that the daemon it talks to is older than the file on disk.
const std::string& current();

}  // namespace qs::QSDaemonBuild
