// Advisory whole-file locks (flock) that keep two processes from owning the same resources.
#pragma once

#include "core/platform/unique_fd.h"

#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace qs {

// Opens `path` for reading and writing, creating it with mode 0644 when missing, close-on-exec
// (so a spawned child never inherits the lock). An empty UniqueFd when it cannot be opened.
UniqueFd openLockFile(const std::filesystem::path& path);

// Takes an exclusive lock on the whole file without waiting. False when another open file
// description holds a lock on it (in this process or another), or on any other failure.
// The lock belongs to the open file description: it ends with the last descriptor closed.
bool tryLockExclusive(const UniqueFd& fd);

// Drops the lock taken with tryLockExclusive; closing the descriptor does the same.
void unlockFile(const UniqueFd& fd);

// Whether someone holds a lock on the file at `path` (any open file description, this
// process's own included). Looks by taking and dropping the lock at once; false when the file
// is missing or cannot be opened. Does not create the file.
bool isLockedElsewhere(const std::filesystem::path& path);

// The process holding a whole-file lock on `path` as the kernel lists it in /proc/locks (the
// process that took it); nothing when none is listed or the file cannot be examined.
std::optional<pid_t> lockHolder(const std::filesystem::path& path);

}  // namespace qs
