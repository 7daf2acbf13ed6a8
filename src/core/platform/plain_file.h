// Writing a file directly, for folders being filled for the first time.
#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace qs {

// Writes `contents` to `path` directly (created or truncated), without syncing: for the files of
// a folder being filled for the first time, where no reader depends on seeing the old file or
// the new one whole, and a sync per file would cost more than the writing. A symbolic link at
// `path` is never followed: the write fails with ELOOP rather than land where the link points.
// Throws QSSystemError.
void writePlainFile(const std::filesystem::path& path, std::string_view contents, mode_t newFileMode = 0644);

}  // namespace qs
