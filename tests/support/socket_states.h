// What the kernel's socket table says of a local TCP port, for tests that need a socket in a
// given state before they go on (read from /proc/net/tcp, IPv4 only).
#pragma once

#include "support/test_support.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace qs::testing {

// Whether a connection of 127.0.0.1:`port` waits out TIME_WAIT (state 06): the side that closed
// first keeps it for a minute after both have closed.
inline bool hasTimeWaitSocket(int port) {
  std::istringstream table(readTextFile("/proc/net/tcp"));
  char local[32];
  std::snprintf(local, sizeof local, " 0100007F:%04X ", port);
  std::string line;
  while (std::getline(table, line))
    if (line.find(local) != std::string::npos && line.find(" 06 ") != std::string::npos) return true;
  return false;
}

}  // namespace qs::testing
