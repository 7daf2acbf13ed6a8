// Where the daemon of this user listens and which owner lock it takes: the one answer that the
// daemon and its clients share.
#pragma once

#include <string>

namespace qs::QSDaemonPaths {

// $QS_DAEMON_SOCKET, else <data folder>/daemon.sock (QSSocketPath::defaultPath, which creates
// the data folder). Throws QSSystemError when the data folder cannot be made.
std::string socketPath();
// $QS_DAEMON_LOCK, else <data folder>/owner.lock (QSOwnerLock::defaultPath).
std::string lockPath();

}  // namespace qs::QSDaemonPaths
