#include "core/platform/terminal.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>

namespace qs {

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

std::optional<int> terminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return static_cast<int>(size.ws_col);
}

std::optional<std::string> readLineWithoutEcho() {
  termios saved{};
  bool hidden = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (hidden) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the Enter key still moves to the next line
    // TCSADRAIN, not TCSAFLUSH: what was typed ahead of the prompt is kept, not thrown away.
    ::tcsetattr(STDIN_FILENO, TCSADRAIN, &quiet);
  }
  std::string line;
  bool read = static_cast<bool>(std::getline(std::cin, line));
  if (hidden) ::tcsetattr(STDIN_FILENO, TCSADRAIN, &saved);
  if (!read) return std::nullopt;
  return line;
}

}  // namespace qs
