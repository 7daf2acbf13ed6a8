#include "core/platform/file_status.h"

#include "core/platform/system_error.h"

#include <sys/stat.h>
#include <unistd.h>

namespace qs {

namespace fs = std::filesystem;

std::optional<QSFileAttributes> fileAttributes(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return QSFileAttributes{static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_size)};
}

bool isExecutableFile(const fs::path& path) {
  struct stat st {};
  // access() alone would accept a folder, and for root it accepts any file with one x bit.
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool isWritableFolder(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool isSymbolicLink(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

void createSymbolicLink(const fs::path& target, const fs::path& link) {
  if (::symlink(target.c_str(), link.c_str()) != 0)
    throwSystemError("symlink " + target.string() + " to " + link.string());
}

}  // namespace qs

namespace qs {

void setFileMode(const std::filesystem::path& path, unsigned mode) {
  if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) throwSystemError("chmod " + path.string());
}

}  // namespace qs
