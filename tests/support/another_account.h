// Acting as another local account (nobody), for tests that check what other users of the machine
// can reach: a command is run through setpriv with that account's user and group ids.
#pragma once

#include "support/another_user.h"

#include <unistd.h>

#include <filesystem>
#include <string>

namespace qs::testing {

// Switching accounts needs root and setpriv; tests skip otherwise.
inline bool canActAsAnotherAccount() { return ::geteuid() == 0 && std::filesystem::exists("/usr/bin/setpriv"); }

// Runs a Python program as the other account and returns its result.
inline QSProcessResult runPythonAsAnotherAccount(const std::string& program) {
  return runProcess(asAnotherUser({"/usr/bin/python3", "-c", program}));
}

}  // namespace qs::testing
