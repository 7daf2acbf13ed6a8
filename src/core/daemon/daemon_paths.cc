#include "core/daemon/daemon_paths.h"

#include "core/daemon/owner_lock.h"
#include "core/daemon/socket_path.h"
#include "core/platform/process_environment.h"

namespace qs::QSDaemonPaths {

// The defaults are worked out only when needed: the socket's creates the data folder.
std::string socketPath() {
  if (auto configured = environmentValue("QS_DAEMON_SOCKET")) return *configured;
  return QSSocketPath::defaultPath();
}

std::string lockPath() {
  if (auto configured = environmentValue("QS_DAEMON_LOCK")) return *configured;
  return QSOwnerLock::defaultPath().string();
}

}  // namespace qs::QSDaemonPaths
