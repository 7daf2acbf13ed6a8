// Changes under a set of folders as the kernel reports them (inotify): files written, created,
// removed or moved, folders created below a watched tree (which are then watched too), and the
// watched folders themselves going away. The descriptor turns readable when something happened,
// so a caller on the service loop waits for it without polling.
#pragma once

#include "core/platform/unique_fd.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSTreeWatch {
public:
  struct Change {
    std::filesystem::path path;  // absolute: the watched folder joined with the entry's name
    bool operator==(const Change&) const = default;
  };
  struct Batch {
    std::vector<Change> changes;  // in the order they happened, repeats included
    // Folders given to watchTree/watchFolder that were removed, moved away or unmounted.
    std::vector<std::filesystem::path> gone;
    bool overflowed = false;  // the kernel dropped events: treat everything as changed
  };
  enum class Added {
    watching,
    missing,       // the folder does not exist (nothing is watched)
    limitReached,  // the per-user limit on watches (fs.inotify.max_user_watches) is used up
  };

  // `maxWatches` caps how many folders this watch may hold, as the kernel's per-user limit does;
  // tests use it to meet the limit without changing the machine's setting. Throws QSSystemError
  // when the kernel gives no inotify instance (the per-user limit on instances).
  explicit QSTreeWatch(std::optional<std::size_t> maxWatches = std::nullopt);

  // Watches `folder` and every folder below it, and every folder created below it later.
  // On limitReached the folders added before the limit stay watched.
  Added watchTree(const std::filesystem::path& folder);
  // Watches the entries directly in `folder` only.
  Added watchFolder(const std::filesystem::path& folder);

  // Readable when a batch waits (non-blocking, close-on-exec).
  int descriptor() const { return fd_.get(); }
  // Everything the kernel has queued; never blocks. A folder created inside a watched tree is
  // watched before this returns; a limit reached on the way sets limitReached().
  Batch take();
  bool limitReached() const { return limitReached_; }
  std::size_t watchCount() const { return watches_.size(); }

private:
  struct Watch {
    std::filesystem::path folder;
    bool tree = false;
    bool top = false;  // given by the caller, not found below a tree
  };
  Added add(const std::filesystem::path& folder, bool tree, bool top);

  UniqueFd fd_;
  std::optional<std::size_t> maxWatches_;
  std::map<int, Watch> watches_;
  bool limitReached_ = false;
};

}  // namespace qs
