#include "core/platform/tree_removal.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace qs {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> entryNames(int folder, const fs::path& where) {
  // fdopendir takes over the descriptor it is given: hand it a duplicate.
  int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) throwSystemError("dup " + where.string());
  DIR* listing = ::fdopendir(copy);
  if (!listing) {
    ::close(copy);
    throwSystemError("opendir " + where.string());
  }
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
    errno = 0;
  }
  int failure = errno;
  ::closedir(listing);
  if (failure != 0) throwSystemError("readdir " + where.string(), failure);
  return names;
}

// Empties the folder open as `folder` (at `where`, on device `device`), entry by entry,
// relative to its descriptor so that a folder renamed or replaced by a link meanwhile cannot
// send the removal elsewhere.
void emptyFolder(int folder, const fs::path& where, dev_t device) {
  for (const auto& name : entryNames(folder, where)) {
    fs::path path = where / name;
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      throwSystemError("stat " + path.string());
    }
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev != device)
        throw QSSystemError("remove " + path.string() + ", a mount point (unmount it first)", EXDEV);
      UniqueFd inner(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!inner) throwSystemError("open " + path.string());
      emptyFolder(inner.get(), path, device);
    }
    if (::unlinkat(folder, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
      throwSystemError("unlinkat " + path.string());
  }
}

}  // namespace

bool removeTree(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return false;
    throwSystemError("stat " + path.string());
  }
  if (S_ISDIR(st.st_mode)) {
    UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) throwSystemError("open " + path.string());
    emptyFolder(folder.get(), path, st.st_dev);
    if (::rmdir(path.c_str()) != 0 && errno != ENOENT) throwSystemError("rmdir " + path.string());
    return true;
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throwSystemError("unlink " + path.string());
  return true;
}

}  // namespace qs
