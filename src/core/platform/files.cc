#include "core/platform/files.h"
#include "core/platform/staged_file.h"

#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdio.h>
#include <random>
#include <utility>

namespace qs {

namespace fs = std::filesystem;
namespace {

void writeAll(int fd, std::string_view data, const fs::path& path) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throwSystemError("write " + path.string());
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

constexpr std::string_view kTemporaryMarker = ".tmp-";
constexpr std::size_t kTemporarySuffixLength = 12;

std::string temporarySibling(const fs::path& path) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, "%012llx", static_cast<unsigned long long>(random() & 0xffffffffffffULL));
  return (path.parent_path() / ("." + path.filename().string() + std::string(kTemporaryMarker) + suffix)).string();
}

// The target's file name when `name` is one of temporarySibling's names.
std::optional<std::string_view> temporaryTarget(std::string_view name) {
  std::size_t tail = kTemporaryMarker.size() + kTemporarySuffixLength;
  if (name.size() <= tail + 1 || name.front() != '.') return std::nullopt;
  std::string_view suffix = name.substr(name.size() - kTemporarySuffixLength);
  if (name.substr(name.size() - tail, kTemporaryMarker.size()) != kTemporaryMarker) return std::nullopt;
  if (suffix.find_first_not_of("0123456789abcdef") != std::string_view::npos) return std::nullopt;
  return name.substr(1, name.size() - tail - 1);
}

void syncFolder(const fs::path& folder) {
  UniqueFd fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());  // best effort: some file systems refuse fsync on folders
}

}  // namespace

std::string readFile(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) throwSystemError("open " + path.string());
  std::string out;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throwSystemError("read " + path.string());
    }
    if (n == 0) return out;
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string readFilePrefix(const fs::path& path, std::size_t limit) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) throwSystemError("open " + path.string());
  std::string out(limit, '\0');
  std::size_t filled = 0;
  while (filled < limit) {
    ssize_t n = ::read(fd.get(), out.data() + filled, limit - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwSystemError("read " + path.string());
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  out.resize(filled);
  return out;
}

std::optional<std::string> readFileIfPresent(const fs::path& path) {
  try {
    return readFile(path);
  } catch (const QSSystemError&) {
    return std::nullopt;
  }
}

namespace {

// Writes `contents` to a new temporary sibling of `path` and returns its name; nothing is left
// when anything fails. `replaced`, when given, is the file being replaced, whose owner and group
// root keeps.
std::string writeTemporarySibling(const fs::path& path, std::string_view contents, mode_t mode,
                                  const struct stat* replaced, bool synced) {
  std::string temporary = temporarySibling(path);
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd) throwSystemError("open " + temporary);
  try {
    writeAll(fd.get(), contents, temporary);
    if (replaced && ::geteuid() == 0 && ::fchown(fd.get(), replaced->st_uid, replaced->st_gid) != 0)
      throwSystemError("fchown " + temporary);
    if (::fchmod(fd.get(), mode) != 0) throwSystemError("fchmod " + temporary);
    if (synced && ::fsync(fd.get()) != 0) throwSystemError("fsync " + temporary);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  return temporary;
}

void renameOver(const std::string& temporary, const fs::path& path) {
  if (::rename(temporary.c_str(), path.c_str()) == 0) return;
  int error = errno;
  ::unlink(temporary.c_str());
  throwSystemError("rename " + temporary + " to " + path.string(), error);
}

// Writes through a temporary sibling renamed over `path`, removed again when anything fails.
// `replaced`, when given, is the file being replaced, whose owner and group root keeps.
void writeThroughTemporary(const fs::path& path, std::string_view contents, mode_t mode,
                           const struct stat* replaced, bool synced) {
  renameOver(writeTemporarySibling(path, contents, mode, replaced, synced), path);
}

}  // namespace

void writeFileAtomically(const fs::path& path, std::string_view contents, mode_t newFileMode) {
  struct stat existing {};
  bool replacing = ::stat(path.c_str(), &existing) == 0;
  // For anyone but root the new file is theirs, as the old one was.
  writeThroughTemporary(path, contents, replacing ? existing.st_mode & 07777 : newFileMode,
                        replacing ? &existing : nullptr, true);
  syncFolder(path.parent_path());
}

QSStagedFile::QSStagedFile(fs::path path, std::string_view contents, mode_t newFileMode) : path_(std::move(path)) {
  struct stat existing {};
  bool replacing = ::stat(path_.c_str(), &existing) == 0;
  temporary_ = writeTemporarySibling(path_, contents, replacing ? existing.st_mode & 07777 : newFileMode,
                                     replacing ? &existing : nullptr, true);
}

QSStagedFile::~QSStagedFile() {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

QSStagedFile::QSStagedFile(QSStagedFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::exchange(other.temporary_, {})) {}

void QSStagedFile::commit() {
  if (temporary_.empty()) return;
  renameOver(std::exchange(temporary_, {}), path_);
  syncFolder(path_.parent_path());
}

void writeFileReplacing(const fs::path& path, std::string_view contents, mode_t mode) {
  writeThroughTemporary(path, contents, mode, nullptr, false);
}

void createDirectories(const fs::path& path, mode_t mode) {
  if (path.empty() || isDirectory(path)) return;
  createDirectories(path.parent_path(), mode);
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) throwSystemError("mkdir " + path.string());
}

bool createDirectory(const fs::path& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) == 0) return true;
  if (errno == EEXIST) return false;
  throwSystemError("mkdir " + path.string());
}

std::vector<std::string> listDirectory(const fs::path& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) throwSystemError("opendir " + folder.string());
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  int error = errno;
  ::closedir(dir);
  if (error != 0) throwSystemError("readdir " + folder.string(), error);
  return names;
}

int removeInterruptedWrites(const fs::path& folder, const std::function<bool(std::string_view)>& isTarget) {
  int removed = 0;
  for (const auto& name : tryListDirectory(folder)) {
    auto target = temporaryTarget(name);
    if (target && isTarget(*target) && ::unlink((folder / name).c_str()) == 0) ++removed;
  }
  return removed;
}

bool fileExists(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isSameFile(const fs::path& a, const fs::path& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool removeFile(const fs::path& path) {
  if (::unlink(path.c_str()) == 0) return true;
  if (errno == ENOENT) return false;
  throwSystemError("unlink " + path.string());
}

void tryRemoveEmptyFolders(const fs::path& folder, const fs::path& stopAt) {
  fs::path top = stopAt.lexically_normal();
  for (fs::path at = folder.lexically_normal(); at != top && at.has_relative_path(); at = at.parent_path()) {
    auto [end, _] = std::mismatch(top.begin(), top.end(), at.begin(), at.end());
    if (end != top.end()) return;  // not below stopAt
    // rmdir refuses a folder with anything in it, and never follows a link.
    if (::rmdir(at.c_str()) != 0 && errno != ENOENT) return;
  }
}

}  // namespace qs

namespace qs {

void moveItem(const fs::path& from, const fs::path& to) {
  // RENAME_NOREPLACE: never replace something that appeared at the destination meanwhile.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
    throwSystemError("rename " + from.string() + " to " + to.string());
}

namespace {

// Runs `work`, turning a failed system call into its error code.
template <class F>
std::error_code quietly(F work) {
  try {
    work();
    return {};
  } catch (const QSSystemError& e) {
    return e.code();
  }
}

}  // namespace

std::error_code tryRemoveFile(const fs::path& path) {
  return quietly([&] { removeFile(path); });
}

std::error_code tryWriteFileAtomically(const fs::path& path, std::string_view contents, mode_t newFileMode) {
  return quietly([&] { writeFileAtomically(path, contents, newFileMode); });
}

std::vector<std::string> tryListDirectory(const fs::path& folder) {
  std::vector<std::string> names;
  quietly([&] { names = listDirectory(folder); });
  return names;
}

}  // namespace qs
