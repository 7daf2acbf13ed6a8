#include "core/platform/private_file.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>


namespace qs {

void createPrivateFile(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) throwSystemError("open " + path.string());
  if (::fchmod(fd.get(), 0600) != 0) throwSystemError("fchmod " + path.string());
}

}  // namespace qs
