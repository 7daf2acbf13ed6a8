// Moving files and folders to the user's Trash (the freedesktop.org Trash folder layout).
#pragma once

#include <filesystem>

namespace qs {

// Moves `item` to $XDG_DATA_HOME/Trash/files under a unique name and writes the matching
// Trash/info/NAME.trashinfo (Path= and DeletionDate=). Returns the item's place in the trash.
// Throws QSSystemError when it cannot be moved (for example across file systems).
std::filesystem::path moveToTrash(const std::filesystem::path& item);

}  // namespace qs
