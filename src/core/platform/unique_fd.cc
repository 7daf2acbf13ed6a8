#include "core/platform/unique_fd.h"

#include <unistd.h>

namespace qs {

void UniqueFd::reset(int fd) {
  // close() must not be retried on EINTR on Linux: the descriptor is gone either way.
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace qs
