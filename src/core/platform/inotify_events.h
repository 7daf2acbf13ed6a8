// Draining an inotify descriptor: the one loop both the folder and the tree watches read with.
#pragma once

#include <sys/inotify.h>

#include <functional>
#include <string>

namespace qs {

// Reads every event queued on the non-blocking inotify descriptor `fd` and hands each to
// `visit`, in order; returns when nothing more is queued (or the descriptor fails).
void readQueuedInotifyEvents(int fd, const std::function<void(const inotify_event&)>& visit);

// The name an event carries (empty for events about the watched folder itself).
std::string inotifyEventName(const inotify_event& event);

}  // namespace qs
