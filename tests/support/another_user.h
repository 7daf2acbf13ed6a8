// Probes run as a third local account (nobody), as an intruder on the machine would: root can
// switch to it, and so can the engine tests' account, which keeps only that right (see
// scripts/engine-test-account).
#pragma once

#include "core/platform/process_runner.h"

#include <string>
#include <vector>

namespace qs::testing {

// `argv` run as nobody with no capabilities left.
inline std::vector<std::string> asAnotherUser(std::vector<std::string> argv) {
  std::vector<std::string> command{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                   "--inh-caps=-all"};
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

// Whether this process may run commands as another account.
inline bool canRunAsAnotherUser() { return runProcess(asAnotherUser({"/bin/true"})).succeeded(); }

// Runs a Python program as the other account and returns its result.
inline QSProcessResult runPythonAsAnotherAccount(const std::string& program) {
  return runProcess(asAnotherUser({"/usr/bin/python3", "-c", program}));
}

}  // namespace qs::testing
