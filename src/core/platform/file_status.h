// Questions about files that the installer and the launcher ask: attributes, permissions, links.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace qs {


struct QSFileAttributes {
  std::int64_t modificationSeconds = 0;  // whole seconds since 1970-01-01 UTC, fraction dropped
  std::int64_t size = 0;                 // bytes
};

// The attributes of the file `path` names, following symbolic links; nothing when it cannot be
// examined (missing, dangling link, no permission on a parent folder).
std::optional<QSFileAttributes> fileAttributes(const std::filesystem::path& path);

// True for a regular file (after following links) that this process may execute.
bool isExecutableFile(const std::filesystem::path& path);

// True for a folder (after following links) in which this process may create entries.
// Uses the kernel's own check, so it also holds for root (who may write anywhere except on a
// read-only file system).
bool isWritableFolder(const std::filesystem::path& path);

// True when `path` itself is a symbolic link (dangling or not).
bool isSymbolicLink(const std::filesystem::path& path);

// Creates the symbolic link `link` pointing at `target`. Throws QSSystemError, for example
// "symlink /opt/qs to /home/me/.local/bin/qs: File exists".
void createSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link);

}  // namespace qs

namespace qs {

// Sets the permission bits of `path` (following links). Throws QSSystemError, for example
// "chmod /home/me/.config/Quayside/settings.json: Operation not permitted".
void setFileMode(const std::filesystem::path& path, unsigned mode);

}  // namespace qs
