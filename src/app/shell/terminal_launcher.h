// Running a command in the user's preferred terminal (the setting qs.preferredTerminal): a
// database console, or a shell in a project's folder.
#pragma once

#include "app/shell/launch_result.h"
#include "app/shell/terminal_app.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace qs {

class QSSettings;

class QSTerminalLauncher {
public:
  // Scripts go into `scriptFolder` (the data folder's "consoles" by default).
  explicit QSTerminalLauncher(const QSSettings& settings, std::filesystem::path scriptFolder = {});

  // The setting when it names a terminal that is installed; otherwise the desktop's default.
  QSTerminalApp preferred() const;

  // Writes the command into a console script named after `name` and runs it in the preferred
  // terminal, else in the desktop's default terminal (the result's notice says so). Throws
  // QSLaunchError when no terminal is installed, QSSystemError when the script can't be written.
  QSLaunchResult run(std::string_view command, std::string_view name) const;

  // The command that leaves the user in their shell inside `folder`.
  static std::string shellCommand(const std::filesystem::path& folder);

private:
  const QSSettings& settings_;
  std::filesystem::path scriptFolder_;
};

}  // namespace qs
