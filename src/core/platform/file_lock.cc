#include "core/platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace qs {

UniqueFd openLockFile(const std::filesystem::path& path) {
  for (;;) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EINTR) return UniqueFd(fd);
  }
}

bool tryLockExclusive(const UniqueFd& fd) {
  if (!fd) return false;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

void unlockFile(const UniqueFd& fd) {
  if (!fd) return;
  while (::flock(fd.get(), LOCK_UN) != 0 && errno == EINTR) {
  }
}

}  // namespace qs
