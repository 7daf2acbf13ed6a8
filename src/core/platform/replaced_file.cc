#include "core/platform/replaced_file.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"
#include "core/platform/uuid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qs {

void writeFileReplacing(const std::filesystem::path& path, std::string_view contents, mode_t mode) {
  // A hidden name that no reader of the folder takes for a target.
  std::string temporary = (path.parent_path() / ("." + path.filename().string() + ".part-" + QSUUID::random().string())).string();
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) throwSystemError("open " + temporary);
  try {
    for (std::string_view rest = contents; !rest.empty();) {
      ssize_t n = ::write(fd.get(), rest.data(), rest.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throwSystemError("write " + temporary);
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fchmod(fd.get(), mode) != 0) throwSystemError("fchmod " + temporary);
    fd.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0) throwSystemError("rename " + temporary + " to " + path.string());
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

}  // namespace qs
