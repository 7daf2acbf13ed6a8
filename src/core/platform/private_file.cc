#include "core/platform/private_file.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

namespace qs {

void createPrivateFile(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) throwSystemError("open " + path.string());
  if (::fchmod(fd.get(), 0600) != 0) throwSystemError("fchmod " + path.string());
}

std::filesystem::path createPrivateTemporaryFolder(const std::filesystem::path& parent,
                                                   std::string_view prefix) {
  std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throwSystemError("mkdtemp " + pattern);
  return pattern;
}

}  // namespace qs
