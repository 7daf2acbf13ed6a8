#include "app/shell/terminal_app.h"

#include "core/platform/process_runner.h"
#include "core/platform/xdg_applications.h"

#include <cstdlib>

namespace qs::QSTerminalApps {
namespace {

struct Row {
  QSTerminalApp terminal;
  std::string_view raw, name, identifier;
  std::vector<std::string> entries, commands;
};

const std::vector<Row>& table() {
  static const std::vector<Row> rows = {
      {QSTerminalApp::terminal, "terminal", "Default Terminal", "com.apple.Terminal", {}, {}},
      {QSTerminalApp::gnomeTerminal, "gnomeTerminal", "GNOME Terminal", "org.gnome.Terminal",
       {"org.gnome.Terminal.desktop"}, {"gnome-terminal"}},
      {QSTerminalApp::konsole, "konsole", "Konsole", "org.kde.konsole", {"org.kde.konsole.desktop"}, {"konsole"}},
      {QSTerminalApp::kitty, "kitty", "kitty", "net.kovidgoyal.kitty", {"kitty.desktop"}, {"kitty"}},
      {QSTerminalApp::alacritty, "alacritty", "Alacritty", "org.alacritty.Alacritty",
       {"Alacritty.desktop", "org.alacritty.Alacritty.desktop"}, {"alacritty"}},
      {QSTerminalApp::wezterm, "wezterm", "WezTerm", "org.wezfurlong.wezterm", {"org.wezfurlong.wezterm.desktop"},
       {"wezterm"}},
      {QSTerminalApp::ghostty, "ghostty", "Ghostty", "com.mitchellh.ghostty", {"com.mitchellh.ghostty.desktop"},
       {"ghostty"}},
      {QSTerminalApp::warp, "warp", "Warp", "dev.warp.Warp-Stable", {"dev.warp.Warp.desktop"}, {"warp-terminal"}},
      {QSTerminalApp::iterm, "iterm", "iTerm", "com.googlecode.iterm2", {}, {}},
  };
  return rows;
}

const Row& row(QSTerminalApp terminal) { return table()[static_cast<std::size_t>(terminal)]; }

QSResolvedTerminal withFlags(QSTerminalApp app, const std::filesystem::path& program) {
  std::vector<std::string> prefix{program.string()};
  for (auto& flag : scriptFlags(program.filename().string())) prefix.push_back(flag);
  return {app, prefix};
}

// The desktop's default terminal: the Debian alternative, else the session's own terminal.
std::optional<QSResolvedTerminal> desktopDefault() {
  std::vector<std::string> order{"x-terminal-emulator"};
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  bool kde = desktop && std::string_view(desktop).find("KDE") != std::string_view::npos;
  for (const char* name : kde ? std::vector<const char*>{"konsole", "gnome-terminal", "kgx"}
                              : std::vector<const char*>{"gnome-terminal", "kgx", "konsole"})
    order.push_back(name);
  for (const std::string& name : order)
    if (auto program = findExecutable(name)) return withFlags(QSTerminalApp::terminal, *program);
  return std::nullopt;
}

}  // namespace

const std::vector<QSTerminalApp>& all() {
  static const std::vector<QSTerminalApp> list = [] {
    std::vector<QSTerminalApp> out;
    for (const Row& r : table()) out.push_back(r.terminal);
    return out;
  }();
  return list;
}

std::string_view rawValue(QSTerminalApp terminal) { return row(terminal).raw; }

std::optional<QSTerminalApp> fromRawValue(std::string_view raw) {
  for (const Row& r : table())
    if (r.raw == raw) return r.terminal;
  return std::nullopt;
}

std::string_view displayName(QSTerminalApp terminal) { return row(terminal).name; }
std::string_view applicationIdentifier(QSTerminalApp terminal) { return row(terminal).identifier; }

std::vector<std::string> scriptFlags(std::string_view programName) {
  if (programName == "gnome-terminal") return {"--"};
  if (programName == "kitty") return {};
  if (programName == "wezterm") return {"start", "--"};
  return {"-e"};
}

std::optional<QSResolvedTerminal> resolve(QSTerminalApp terminal) {
  if (terminal == QSTerminalApp::terminal) return desktopDefault();
  for (const std::string& name : row(terminal).entries)
    if (auto entry = QSXdgApplications::findInstalled(name)) {
      // The entry's program only: its own options ("start --cwd ." of WezTerm's) would come
      // between the program and the words that run a script.
      auto words = QSXdgApplications::splitExec(entry->exec);
      if (!words || words->empty()) continue;
      if (auto program = QSXdgApplications::resolveProgram(words->front())) return withFlags(terminal, *program);
    }
  for (const std::string& command : row(terminal).commands)
    if (auto program = findExecutable(command)) return withFlags(terminal, *program);
  return std::nullopt;
}

bool isInstalled(QSTerminalApp terminal) { return resolve(terminal).has_value(); }

std::vector<QSTerminalApp> installed() {
  std::vector<QSTerminalApp> out;
  for (QSTerminalApp terminal : all())
    if (isInstalled(terminal)) out.push_back(terminal);
  return out;
}

}  // namespace qs::QSTerminalApps
