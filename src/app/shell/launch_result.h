// What opening an application did: the command line that was started and, when the preferred
// application was missing and another took its place, a note saying so.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace qs {

struct QSLaunchResult {
  std::vector<std::string> commandLine;
  std::string application;  // what opened: "VS Code", "the default application", "Konsole", …
  std::string notice;  // empty unless the launch fell back
};

// Nothing could be opened; the message says what is missing and what to do.
class QSLaunchError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Starts the command line detached from this process (its own session, adopted by init).
// Throws QSLaunchError when the program cannot be executed.
void launchDetached(const std::vector<std::string>& commandLine);

}  // namespace qs
