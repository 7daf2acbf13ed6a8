// The terminals a console or a project's shell can open in, with the names settings store them
// under. `terminal` is the desktop's default terminal. iTerm is kept so that settings written
// elsewhere still read, but it is never installed here.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

enum class QSTerminalApp { terminal, gnomeTerminal, konsole, kitty, alacritty, wezterm, ghostty, warp, iterm };

// A terminal found on this machine: the words that start it, each followed by the script to
// run ("gnome-terminal --", "kitty", "wezterm start --", "konsole -e", …).
struct QSResolvedTerminal {
  QSTerminalApp app;
  std::vector<std::string> commandPrefix;  // program (an absolute path) and its flag words
};

namespace QSTerminalApps {

// Every terminal, in the order choosers list them.
const std::vector<QSTerminalApp>& all();
// "terminal", "gnomeTerminal", "konsole", "kitty", "alacritty", "wezterm", "ghostty", "warp", "iterm".
std::string_view rawValue(QSTerminalApp terminal);
std::optional<QSTerminalApp> fromRawValue(std::string_view raw);
// "Default Terminal", "GNOME Terminal", "Konsole", "kitty", "Alacritty", "WezTerm", "Ghostty",
// "Warp", "iTerm".
std::string_view displayName(QSTerminalApp terminal);
// The application identifier other systems know the terminal by; empty where there is none.
std::string_view applicationIdentifier(QSTerminalApp terminal);

// The words that run a script in a terminal program, by the program's file name: "--" for
// gnome-terminal, none for kitty, "start --" for wezterm, "-e" for the others.
std::vector<std::string> scriptFlags(std::string_view programName);

// Where the terminal is on this machine, nothing when it is not installed. The desktop's
// default is x-terminal-emulator, else the desktop session's own terminal (Konsole on KDE,
// GNOME Terminal or Console elsewhere), else any of those found; every other terminal is its
// `.desktop` entry, else its command on PATH.
std::optional<QSResolvedTerminal> resolve(QSTerminalApp terminal);
bool isInstalled(QSTerminalApp terminal);
// Every terminal that is installed, in the order of all().
std::vector<QSTerminalApp> installed();

}  // namespace QSTerminalApps
}  // namespace qs
