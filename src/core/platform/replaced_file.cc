#include "core/platform/replaced_file.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"
#include "core/platform/uuid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qs {
namespace {

void writeAllTo(int fd, std::string_view contents, const std::string& name) {
  for (std::string_view rest = contents; !rest.empty();) {
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwSystemError("write " + name);
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

// A file without a name in the target's folder, filled, then given the target's name: readers
// never see it unfinished, and the folder changes once instead of three times (create, rename
// away, rename in), which is most of the cost of a small file. False, with nothing left behind,
// when the file system cannot do it or the target exists (it is replaced the other way).
bool tryLinkingAnonymousFile(const std::filesystem::path& path, std::string_view contents, mode_t mode) {
  UniqueFd fd(::open(path.parent_path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (!fd) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return false;
    throwSystemError("open " + path.parent_path().string());
  }
  writeAllTo(fd.get(), contents, path.string());
  if (::fchmod(fd.get(), mode) != 0) throwSystemError("fchmod " + path.string());
  std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  // EEXIST: a file to replace; ENOENT: no /proc. The unnamed file vanishes with its descriptor.
  if (errno == EEXIST || errno == ENOENT) return false;
  throwSystemError("link " + path.string());
}

}  // namespace

void writeFileReplacing(const std::filesystem::path& path, std::string_view contents, mode_t mode) {
  if (tryLinkingAnonymousFile(path, contents, mode)) return;
  // A hidden name that no reader of the folder takes for a target.
  std::string temporary = (path.parent_path() / ("." + path.filename().string() + ".part-" + QSUUID::random().string())).string();
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) throwSystemError("open " + temporary);
  try {
    writeAllTo(fd.get(), contents, temporary);
    if (::fchmod(fd.get(), mode) != 0) throwSystemError("fchmod " + temporary);
    fd.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0) throwSystemError("rename " + temporary + " to " + path.string());
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

}  // namespace qs
