#include "core/platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

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

bool isLockedElsewhere(const std::filesystem::path& path) {
  UniqueFd fd;
  do {
    fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  } while (!fd && errno == EINTR);
  if (!fd) return false;
  if (!tryLockExclusive(fd)) return errno == EWOULDBLOCK;
  unlockFile(fd);
  return false;
}

namespace {

// One line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF". Lines of
// waiters ("1: -> FLOCK …") name no holder and are skipped.
struct LockLine {
  pid_t pid = 0;
  unsigned major = 0, minor = 0;
  unsigned long long inode = 0;
};

std::optional<LockLine> parseLockLine(const std::string& line) {
  std::istringstream fields(line);
  std::string id, kind, mode, access, device;
  LockLine entry;
  if (!(fields >> id >> kind) || kind == "->" || kind != "FLOCK") return std::nullopt;
  if (!(fields >> mode >> access >> entry.pid >> device)) return std::nullopt;
  if (std::sscanf(device.c_str(), "%x:%x:%llu", &entry.major, &entry.minor, &entry.inode) != 3) return std::nullopt;
  return entry;
}

}  // namespace

std::optional<pid_t> lockHolder(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  std::ifstream locks("/proc/locks");
  std::optional<pid_t> sameInode;
  for (std::string line; std::getline(locks, line);) {
    auto entry = parseLockLine(line);
    if (!entry || entry->inode != info.st_ino) continue;
    if (entry->major == ::major(info.st_dev) && entry->minor == ::minor(info.st_dev)) return entry->pid;
    // On a stacked file system (overlayfs) the lock sits on the lower inode's device.
    sameInode = entry->pid;
  }
  return sameInode;
}

}  // namespace qs
