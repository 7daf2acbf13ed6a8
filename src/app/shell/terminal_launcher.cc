#include "app/shell/terminal_launcher.h"

#include "app/shell/console_script.h"
#include "core/platform/settings.h"
#include "core/platform/shell_words.h"

namespace qs {

QSTerminalLauncher::QSTerminalLauncher(const QSSettings& settings, std::filesystem::path scriptFolder)
    : settings_(settings), scriptFolder_(std::move(scriptFolder)) {}

QSTerminalApp QSTerminalLauncher::preferred() const {
  auto chosen = QSTerminalApps::fromRawValue(settings_.stringValue("qs.preferredTerminal"));
  return chosen && QSTerminalApps::isInstalled(*chosen) ? *chosen : QSTerminalApp::terminal;
}

QSLaunchResult QSTerminalLauncher::run(std::string_view command, std::string_view name) const {
  QSLaunchResult result;
  auto chosen = QSTerminalApps::fromRawValue(settings_.stringValue("qs.preferredTerminal"));
  std::optional<QSResolvedTerminal> terminal = QSTerminalApps::resolve(chosen.value_or(QSTerminalApp::terminal));
  if (!terminal && chosen && *chosen != QSTerminalApp::terminal) {
    terminal = QSTerminalApps::resolve(QSTerminalApp::terminal);
    if (terminal)
      result.notice = std::string(QSTerminalApps::displayName(*chosen)) +
                      " isn't installed, so the console opened in the default terminal. Choose another terminal in "
                      "Settings.";
  }
  if (!terminal)
    throw QSLaunchError("No terminal application was found. Install one (GNOME Terminal, Konsole, kitty, …) or "
                        "choose an installed terminal in Settings.");
  std::filesystem::path folder = scriptFolder_.empty() ? QSConsoleScript::defaultFolder() : scriptFolder_;
  std::filesystem::path script = QSConsoleScript::write(folder, name, command);
  result.commandLine = terminal->commandPrefix;
  result.application = terminal->app == QSTerminalApp::terminal ? std::string("the default terminal")
                                                                 : std::string(QSTerminalApps::displayName(terminal->app));
  result.commandLine.push_back(script.string());
  launchDetached(result.commandLine);
  return result;
}

std::string QSTerminalLauncher::shellCommand(const std::filesystem::path& folder) {
  return "cd " + shellWord(folder.string()) + " && exec \"${SHELL:-/bin/sh}\"\n";
}

}  // namespace qs
