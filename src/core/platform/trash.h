// Moving files and folders to the user's Trash (the freedesktop.org Trash folder layout).
#pragma once

#include <filesystem>

namespace qs {

// Moves `item` to a Trash under a unique name and writes the matching info/NAME.trashinfo
// (Path= and DeletionDate=). Returns the item's place in the trash.
//
// An item on the file system of $XDG_DATA_HOME goes to $XDG_DATA_HOME/Trash (Path= absolute).
// An item on another file system goes to the trash at the top of that file system, as the
// freedesktop.org rules say: $topdir/.Trash/$uid when an administrator made $topdir/.Trash (a
// sticky folder, not a link), else $topdir/.Trash-$uid, made 0700 when missing (Path= relative to
// $topdir). Nothing is ever copied across file systems.
// Throws QSSystemError when the item is missing, when no usable trash exists on its file system
// (EACCES, or ENOTDIR when a trash folder there is not ours or not a folder), or when it cannot
// be moved; the item is then where it was.
std::filesystem::path moveToTrash(const std::filesystem::path& item);

}  // namespace qs
