#include "core/platform/unique_fd.h"

#include "core/platform/system_error.h"

#include <fcntl.h>
#include <unistd.h>

namespace qs {

void UniqueFd::reset(int fd) {
  // close() must not be retried on EINTR on Linux: the descriptor is gone either way.
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

QSPipe makePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throwSystemError("pipe2");
  return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

}  // namespace qs
