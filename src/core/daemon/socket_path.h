// Where the daemon listens by default.
#pragma once

#include <string>

namespace qs::QSSocketPath {

// The path of `daemon.sock` in the data folder (~/.local/share/Quayside/daemon.sock), as plain
// text. Creates the data folder (mode 0700) when it is missing.
std::string defaultPath();

}  // namespace qs::QSSocketPath
