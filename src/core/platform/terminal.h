// What the command-line tool needs to know about its terminal.
#pragma once

#include <optional>
#include <string>

namespace qs {

// Whether `fd` (0, 1 or 2) is connected to a terminal.
bool isTerminal(int fd);

// The width in columns of the terminal on `fd`; nothing when `fd` is not a terminal or reports
// no size (a serial line, a pseudo-terminal that was never sized).
std::optional<int> terminalColumns(int fd);

// Reads one line from standard input without the line break. On a terminal the typed text is
// not echoed (for secrets), and the terminal is restored afterwards. Nothing at end of input.
std::optional<std::string> readLineWithoutEcho();

}  // namespace qs
