#include "core/platform/tree_watch.h"

#include "core/platform/inotify_events.h"
#include "core/platform/system_error.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace qs {
namespace {

// What counts as a change: a file written and closed, an entry created, removed or moved. Plain
// IN_MODIFY is left out: a save is followed by its close, and every write would be an event.
constexpr std::uint32_t kChanged = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
constexpr std::uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

std::vector<std::filesystem::path> subfolders(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code kindError;
    if (it->is_directory(kindError) && !it->is_symlink(kindError)) found.push_back(it->path());
  }
  return found;
}

}  // namespace

QSTreeWatch::QSTreeWatch(std::optional<std::size_t> maxWatches)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), maxWatches_(maxWatches) {
  if (!fd_) throwSystemError("inotify_init1");
}

QSTreeWatch::Added QSTreeWatch::watchTree(const std::filesystem::path& folder) { return add(folder, true, true); }

QSTreeWatch::Added QSTreeWatch::watchFolder(const std::filesystem::path& folder) {
  return add(folder, false, true);
}

QSTreeWatch::Added QSTreeWatch::add(const std::filesystem::path& folder, bool tree, bool top) {
  if (maxWatches_ && watches_.size() >= *maxWatches_) {
    limitReached_ = true;
    return Added::limitReached;
  }
  int wd = ::inotify_add_watch(fd_.get(), folder.c_str(), kChanged | kSelfGone | IN_ONLYDIR | IN_DONT_FOLLOW);
  if (wd < 0) {
    if (errno != ENOSPC) return Added::missing;  // gone meanwhile, or not a folder
    limitReached_ = true;
    return Added::limitReached;
  }
  watches_[wd] = Watch{folder, tree, top};
  if (!tree) return Added::watching;
  // Folders created while this lists are caught by the watch just added.
  for (const auto& sub : subfolders(folder)) {
    if (add(sub, true, false) == Added::limitReached) return Added::limitReached;
  }
  return Added::watching;
}

QSTreeWatch::Batch QSTreeWatch::take() {
  Batch batch;
  readQueuedInotifyEvents(fd_.get(), [&](const inotify_event& event) {
    if (event.mask & IN_Q_OVERFLOW) batch.overflowed = true;
    auto found = watches_.find(event.wd);
    if (found == watches_.end()) return;
    Watch watch = found->second;
    if (event.mask & (kSelfGone | IN_IGNORED)) {
      // A folder below a tree that goes away is reported by its parent's watch already.
      if (watch.top && !(event.mask & IN_IGNORED)) batch.gone.push_back(watch.folder);
      if (event.mask & IN_IGNORED) watches_.erase(found);
      return;
    }
    if (event.len == 0 || !(event.mask & kChanged)) return;
    auto path = watch.folder / inotifyEventName(event);
    batch.changes.push_back({path});
    bool newFolder = (event.mask & (IN_CREATE | IN_MOVED_TO)) && (event.mask & IN_ISDIR);
    if (watch.tree && newFolder && !limitReached_) add(path, true, false);
  });
  return batch;
}

}  // namespace qs
