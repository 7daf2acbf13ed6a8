// Deleting a whole folder tree without ever leaving it: symbolic links inside are removed as
// links (what they point to stays), and nothing mounted inside is entered.
#pragma once

#include <filesystem>

namespace qs {

// Removes `path` and, when it is a folder, everything in it. A symbolic link at `path` or
// anywhere below is removed itself, never followed. A folder on another file system (a mount
// point below `path`) is not entered: the removal stops there and throws. True when something
// was removed, false when nothing was at `path`. Throws QSSystemError naming the first entry
// that could not be removed ("unlinkat /home/me/x/y: Permission denied"); entries removed before
// it stay removed.
bool removeTree(const std::filesystem::path& path);

}  // namespace qs
