#include "core/platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace qs {

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

std::optional<int> terminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return static_cast<int>(size.ws_col);
}

}  // namespace qs
