#include "app/shell/launch_result.h"

#include "core/platform/detached_process.h"

namespace qs {

void launchDetached(const std::vector<std::string>& commandLine) {
  if (commandLine.empty()) throw QSLaunchError("There is nothing to start.");
  try {
    spawnDetached({.executable = commandLine.front(),
                   .arguments = std::vector<std::string>(commandLine.begin() + 1, commandLine.end())});
  } catch (const std::exception& e) {
    throw QSLaunchError(std::string("Couldn't start ") + commandLine.front() + ": " + e.what());
  }
}

}  // namespace qs
