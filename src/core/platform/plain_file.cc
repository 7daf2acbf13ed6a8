#include "core/platform/plain_file.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qs {

void writePlainFile(const std::filesystem::path& path, std::string_view contents, mode_t newFileMode) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, newFileMode));
  if (!fd) throwSystemError("open " + path.string());
  while (!contents.empty()) {
    ssize_t n = ::write(fd.get(), contents.data(), contents.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throwSystemError("write " + path.string());
    }
    contents.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace qs
