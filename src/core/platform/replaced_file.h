// Writing a file that readers must see whole, when losing the latest write in a power cut is
// acceptable (caught mail): a temporary file renamed over the target, without waiting for the
// disk, so that hundreds of files a second can be written.
#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace qs {

// Writes `contents` to a temporary file in the target's folder (mode `mode`), then renames it
// over `path`. Readers see the old file or the new one, never a mix. Throws QSSystemError naming
// the call and path; the temporary file is removed on failure.
void writeFileReplacing(const std::filesystem::path& path, std::string_view contents, mode_t mode);

}  // namespace qs
