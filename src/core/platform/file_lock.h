// Advisory whole-file locks (flock) that keep two processes from owning the same resources.
#pragma once

#include "core/platform/unique_fd.h"

#include <filesystem>

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

}  // namespace qs
