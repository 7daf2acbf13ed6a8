#include "core/platform/trash.h"

#include "core/platform/encoding.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fmt/format.h>

namespace qs {

namespace fs = std::filesystem;
namespace {

std::string localDeletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
  return buffer;
}

// Claims NAME.trashinfo with O_EXCL so that two deletions never pick the same name.
std::string claimInfoFile(const fs::path& infoFolder, const std::string& base, UniqueFd& fd) {
  for (int attempt = 1;; ++attempt) {
    std::string name = attempt == 1 ? base : fmt::format("{}.{}", base, attempt);
    fs::path info = infoFolder / (name + ".trashinfo");
    fd.reset(::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd) return name;
    if (errno != EEXIST || attempt > 10000) throwSystemError("open " + info.string());
  }
}

}  // namespace

std::filesystem::path moveToTrash(const std::filesystem::path& item) {
  fs::path absolute = fs::absolute(item).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  if (!fileExists(absolute)) throwSystemError("trash " + absolute.string(), ENOENT);

  fs::path trash = QSPaths::dataHome() / "Trash";
  createDirectories(trash / "files", 0700);
  createDirectories(trash / "info", 0700);

  UniqueFd info;
  std::string name = claimInfoFile(trash / "info", absolute.filename().string(), info);
  std::string text = fmt::format("[Trash Info]\nPath={}\nDeletionDate={}\n",
                                 percentEncode(absolute.string(), "/-._~"), localDeletionDate());
  fs::path infoPath = trash / "info" / (name + ".trashinfo");
  if (::write(info.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::unlink(infoPath.c_str());
    throwSystemError("write " + infoPath.string());
  }
  info.reset();

  fs::path destination = trash / "files" / name;
  if (::rename(absolute.c_str(), destination.c_str()) != 0) {
    int error = errno;
    ::unlink(infoPath.c_str());
    throwSystemError("rename " + absolute.string() + " to " + destination.string(), error);
  }
  return destination;
}

}  // namespace qs
