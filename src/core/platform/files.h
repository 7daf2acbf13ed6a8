// File-system operations used across the system. Failures throw QSSystemError naming the
// call and the path, except where a function says it reports by return value.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace qs {


// Reads the whole file. Throws when it cannot be opened or read.
std::string readFile(const std::filesystem::path& path);
// Reads the whole file; nothing when it is missing or unreadable.
std::optional<std::string> readFileIfPresent(const std::filesystem::path& path);
// Reads at most the first `limit` bytes. Throws when the file cannot be opened or read.
std::string readFilePrefix(const std::filesystem::path& path, std::size_t limit);

// Writes `contents` to `path` so that readers see the old file or the new one, never a mix:
// a temporary file in the same folder, fsync, rename over the target, fsync of the folder.
// An existing file keeps its permission bits (and, when we run as root, its owner and group); a
// new one gets `newFileMode`.
void writeFileAtomically(const std::filesystem::path& path, std::string_view contents, mode_t newFileMode = 0644);

// The same without waiting for the disk, and the file always gets `mode`: for files written
// hundreds a second whose latest write may be lost in a power cut (caught mail). Readers still
// see the old file or the new one, never a mix.
void writeFileReplacing(const std::filesystem::path& path, std::string_view contents, mode_t mode);

// Removes the temporary files that either write above leaves in `folder` when the process dies
// mid-write, for the targets `isTarget` accepts (it gets the target's file name), and returns
// how many went. Only names of that exact form are touched; failures are ignored. Call it while
// no write to those targets runs.
int removeInterruptedWrites(const std::filesystem::path& folder, const std::function<bool(std::string_view)>& isTarget);

// Creates the folder and any missing parents; new folders get `mode`.
void createDirectories(const std::filesystem::path& path, mode_t mode = 0755);

// Creates one folder whose parent exists. Returns false, changing nothing, when anything is
// already at the path (a folder, a file, even a dangling symbolic link); throws on other failures.
// The check and the creation are one step, so two callers can never both get true.
bool createDirectory(const std::filesystem::path& path, mode_t mode = 0755);

// Names of the entries of a folder (not "." or ".."), in the order the system lists them.
// Throws when the folder cannot be listed.
std::vector<std::string> listDirectory(const std::filesystem::path& folder);

bool fileExists(const std::filesystem::path& path);
bool isDirectory(const std::filesystem::path& path);
// Whether both paths reach one existing file or folder (through links, bind mounts, …).
bool isSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Removes a file; true when it was removed, false when it did not exist. Throws on other failures.
bool removeFile(const std::filesystem::path& path);

// Best-effort forms, for work whose failure the caller can do nothing about (pruning backups,
// tidying up): they never throw and return what went wrong, an empty code when nothing did.
std::error_code tryRemoveFile(const std::filesystem::path& path);
std::error_code tryWriteFileAtomically(const std::filesystem::path& path, std::string_view contents,
                                       mode_t newFileMode = 0644);
// The folder's entries, or none when it cannot be listed.
std::vector<std::string> tryListDirectory(const std::filesystem::path& folder);
// Removes `folder` when it is empty, then each parent that is left empty, up to but never
// including `stopAt` (which must contain `folder`): what an uninstall leaves of the folders its
// install created. A folder with anything in it, or outside `stopAt`, stays.
void tryRemoveEmptyFolders(const std::filesystem::path& folder, const std::filesystem::path& stopAt);

}  // namespace qs

namespace qs {

// Moves a file or folder within one file system (rename). Throws QSSystemError, for example
// "rename /a to /b: Invalid cross-device link".
void moveItem(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qs
