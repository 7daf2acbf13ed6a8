// The names that appeared in or vanished from one folder, as the kernel reports them (inotify),
// collected without waiting: for a process that keeps a list of a folder's files that other
// processes also change.
#pragma once

#include "core/platform/unique_fd.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qs {

class QSFolderChanges {
public:
  struct Change {
    std::string name;
    bool added = false;  // created or moved in; else removed or moved out
    bool operator==(const Change&) const = default;
  };
  struct Batch {
    // In the order they happened; applied in order to a listing taken after the watch began,
    // they give the folder as it is now.
    std::vector<Change> changes;
    // Some changes were not recorded (the kernel's queue overflowed, or the folder itself was
    // removed or moved, which ends the watch): list the folder again.
    bool incomplete = false;
  };

  // Starts watching `folder`, which must exist. watching() tells whether that worked.
  explicit QSFolderChanges(const std::filesystem::path& folder);

  bool watching() const { return static_cast<bool>(fd_) && !ended_; }
  // The changes since the last call (or since the watch began). Never blocks; after the watch
  // ended, every batch is incomplete.
  Batch take();

private:
  UniqueFd fd_;
  bool ended_ = false;
};

}  // namespace qs
