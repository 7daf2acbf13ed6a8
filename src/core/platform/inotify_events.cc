#include "core/platform/inotify_events.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qs {

void readQueuedInotifyEvents(int fd, const std::function<void(const inotify_event&)>& visit) {
  alignas(inotify_event) char buffer[16 * 1024];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // EAGAIN: nothing more queued
    for (char* at = buffer; at < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(at);
      at += sizeof(inotify_event) + event->len;
      visit(*event);
    }
  }
}

std::string inotifyEventName(const inotify_event& event) {
  return event.len == 0 ? std::string() : std::string(event.name, ::strnlen(event.name, event.len));
}

}  // namespace qs
