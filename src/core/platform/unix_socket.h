// Listening on a Unix-domain stream socket that only its owner may reach.
#pragma once

#include "core/platform/unique_fd.h"

#include <filesystem>
#include <sys/types.h>

namespace qs {

// Creates a stream socket bound to `path`, gives the socket file `mode` before listening (so no
// connection can arrive while it still has the default permissions) and listens with `backlog`.
// The descriptor is non-blocking and close-on-exec. Throws QSSystemError naming the failed call
// and the path ("bind /x/daemon.sock: Address already in use"; a path longer than a socket
// address holds fails as "bind PATH: File name too long"). On failure no socket file is left.
UniqueFd listenOnUnixSocket(const std::filesystem::path& path, mode_t mode, int backlog);

// Whether a process listens on the Unix-domain socket at `path`: a connection is accepted, or
// refused only because the listener's queue is full. False for a missing path, a file that is
// not a socket, and a socket file whose listener is gone. Never waits for the listener.
bool isListenedOn(const std::filesystem::path& path);

}  // namespace qs
