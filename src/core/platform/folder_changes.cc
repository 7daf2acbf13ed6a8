#include "core/platform/folder_changes.h"

#include "core/platform/inotify_events.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qs {
namespace {

constexpr std::uint32_t kAdded = IN_CREATE | IN_MOVED_TO;
constexpr std::uint32_t kRemoved = IN_DELETE | IN_MOVED_FROM;
// The watch is gone: the folder was removed, moved, or its file system unmounted.
constexpr std::uint32_t kEnded = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

}  // namespace

QSFolderChanges::QSFolderChanges(const std::filesystem::path& folder)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (fd_ && ::inotify_add_watch(fd_.get(), folder.c_str(), kAdded | kRemoved | IN_DELETE_SELF | IN_MOVE_SELF) < 0)
    fd_.reset();
}

QSFolderChanges::Batch QSFolderChanges::take() {
  Batch batch;
  if (!fd_) {
    batch.incomplete = true;
    return batch;
  }
  readQueuedInotifyEvents(fd_.get(), [&](const inotify_event& event) {
    if (event.mask & IN_Q_OVERFLOW) batch.incomplete = true;
    if (event.mask & kEnded) ended_ = true;
    if (event.len == 0 || !(event.mask & (kAdded | kRemoved))) return;
    batch.changes.push_back({inotifyEventName(event), (event.mask & kAdded) != 0});
  });
  if (ended_) batch.incomplete = true;
  return batch;
}

}  // namespace qs
