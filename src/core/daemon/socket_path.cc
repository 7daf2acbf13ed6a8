#include "core/daemon/socket_path.h"

#include "core/platform/paths.h"

namespace qs::QSSocketPath {

std::string defaultPath() { return (QSPaths::dataFolder() / "daemon.sock").string(); }

}  // namespace qs::QSSocketPath
