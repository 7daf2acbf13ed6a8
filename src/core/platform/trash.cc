#include "core/platform/trash.h"

#include "core/platform/encoding.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fmt/format.h>

namespace qs {

namespace fs = std::filesystem;
namespace {

// A trash folder (holding files/ and info/) and the folder its Path= entries are relative to
// (empty for absolute entries).
struct TrashFolder {
  fs::path folder;
  fs::path relativeTo;
};

std::string localDeletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
  return buffer;
}

struct stat statOf(const fs::path& path, bool followLinks) {
  struct stat st {};
  if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) throwSystemError("stat " + path.string());
  return st;
}

// The highest folder above `item` that is still on the item's file system.
fs::path topOfFileSystem(const fs::path& item, dev_t device) {
  fs::path top = item;
  while (top.has_relative_path()) {
    struct stat st {};
    if (::stat(top.parent_path().c_str(), &st) != 0 || st.st_dev != device) break;
    top = top.parent_path();
  }
  return top;
}

// A folder we may keep trash in: a real folder (not a link), ours, closed to others.
bool isOwnPrivateFolder(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// Makes `path` (mode 0700) unless it is there; either way it must then be our private folder.
fs::path ownTrashFolder(const fs::path& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) throwSystemError("mkdir " + path.string());
  if (!isOwnPrivateFolder(path)) throwSystemError("trash folder " + path.string(), ENOTDIR);
  return path;
}

TrashFolder volumeTrash(const fs::path& top) {
  std::string uid = std::to_string(::getuid());
  // An administrator's shared trash counts only when it is a sticky folder and no link.
  struct stat shared {};
  fs::path sharedPath = top / ".Trash";
  if (::lstat(sharedPath.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
    try {
      return {ownTrashFolder(sharedPath / uid), top};
    } catch (const QSSystemError&) {
      // Fall back to the per-user folder, as the rules ask.
    }
  }
  return {ownTrashFolder(top / (".Trash-" + uid)), top};
}

TrashFolder trashFor(const fs::path& item) {
  fs::path home = QSPaths::dataHome() / "Trash";
  createDirectories(home, 0700);
  dev_t device = statOf(item, false).st_dev;
  if (statOf(home, true).st_dev == device) return {home, {}};
  return volumeTrash(topOfFileSystem(item, device));
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

std::string infoPathEntry(const fs::path& item, const TrashFolder& trash) {
  std::string path = trash.relativeTo.empty() ? item.string() : item.lexically_relative(trash.relativeTo).string();
  return percentEncode(path, "/-._~");
}

}  // namespace

std::filesystem::path moveToTrash(const std::filesystem::path& item) {
  fs::path absolute = fs::absolute(item).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  if (!fileExists(absolute)) throwSystemError("trash " + absolute.string(), ENOENT);

  TrashFolder trash = trashFor(absolute);
  createDirectories(trash.folder / "files", 0700);
  createDirectories(trash.folder / "info", 0700);

  UniqueFd info;
  std::string name = claimInfoFile(trash.folder / "info", absolute.filename().string(), info);
  std::string text = fmt::format("[Trash Info]\nPath={}\nDeletionDate={}\n", infoPathEntry(absolute, trash),
                                 localDeletionDate());
  fs::path infoPath = trash.folder / "info" / (name + ".trashinfo");
  if (::write(info.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::unlink(infoPath.c_str());
    throwSystemError("write " + infoPath.string());
  }
  info.reset();

  fs::path destination = trash.folder / "files" / name;
  if (::rename(absolute.c_str(), destination.c_str()) != 0) {
    int error = errno;
    ::unlink(infoPath.c_str());
    throwSystemError("rename " + absolute.string() + " to " + destination.string(), error);
  }
  return destination;
}

}  // namespace qs
