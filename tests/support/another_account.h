// Acting as another local account (nobody), for tests that check what other users of the machine
// can reach: a command is run through setpriv with that account's user and group ids.
#pragma once

#include "core/platform/process_runner.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qs::testing {

inline constexpr int anotherAccountUID = 65534;

// Switching accounts needs root and setpriv; tests skip otherwise.
inline bool canActAsAnotherAccount() { return ::geteuid() == 0 && std::filesystem::exists("/usr/bin/setpriv"); }

// `command` run as the other account.
inline std::vector<std::string> asAnotherAccount(const std::vector<std::string>& command) {
  std::string id = std::to_string(anotherAccountUID);
  std::vector<std::string> out{"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
  out.insert(out.end(), command.begin(), command.end());
  return out;
}

// Runs a Python program as the other account and returns its result.
inline QSProcessResult runPythonAsAnotherAccount(const std::string& program) {
  return runProcess(asAnotherAccount({"/usr/bin/python3", "-c", program}));
}

}  // namespace qs::testing
