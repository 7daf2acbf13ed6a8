// Writing a file that readers must see whole, when losing the latest write in a power cut is
// acceptable (caught mail): a temporary file renamed over the target, without waiting for the
// disk, so that hundreds of files a second can be written.
#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace qs {

// Writes `contents` to a file of mode `mode` that appears at `path` only when complete: for a new
// target an unnamed file in its folder given the name at the end, else (or where the file system
// has no unnamed files) a temporary file renamed over it. Readers see the old file or the new
// one, never a mix. Throws QSSystemError naming the call and path; nothing is left behind on
// failure.
void writeFileReplacing(const std::filesystem::path& path, std::string_view contents, mode_t mode);

}  // namespace qs
