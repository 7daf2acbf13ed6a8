// Running a bash script as root: directly when we are root, else through sudo (without a prompt
// when the user may, else prompting on the terminal), else through pkexec in a desktop session.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

// How a script gets to run as root.
enum class QSPrivilegeMethod {
  direct,              // we are root: /bin/bash SCRIPT
  sudoNoPrompt,        // sudo -n /bin/bash SCRIPT (cached or password-less sudo)
  sudoPrompt,          // sudo -v on the terminal first, then as above
  pkexec,              // pkexec --disable-internal-agent /bin/bash SCRIPT (the desktop's agent asks)
  unavailable,         // no way to ask: refuse
};

// What decides the method; gathered from the process and the system.
struct QSPrivilegeSituation {
  bool isRoot = false;
  std::optional<std::filesystem::path> sudo;
  bool sudoWithoutPrompt = false;  // `sudo -n true` succeeds
  bool onTerminal = false;         // standard input and standard error are terminals
  bool desktopSession = false;     // DISPLAY or WAYLAND_DISPLAY is set
  std::optional<std::filesystem::path> pkexec;
};

// The first of: root → direct; sudo without a prompt → sudoNoPrompt; sudo and a terminal →
// sudoPrompt; a desktop session with pkexec → pkexec; else unavailable.
QSPrivilegeMethod choosePrivilegeMethod(const QSPrivilegeSituation& situation);

// Runs scripts as root. A seam: tests of the callers substitute their own.
class QSPrivilegedRunner {
public:
  virtual ~QSPrivilegedRunner() = default;

  // Runs `script` (a whole bash script) as root and returns what it printed on standard output.
  // Throws QSPrivilegedException: requiresInteractiveSession with `refusal` when there is no way
  // to ask for the password; cancelled when the prompt was dismissed or failed (the script did
  // not run); scriptFailed with the exit status and the script's standard error when it ran and
  // failed. Blocks until the script ends: call it off the service loop.
  virtual std::string run(std::string_view script, std::string_view refusal) = 0;
};

// The real runner: the script goes to a temporary file (qs-privileged-UUID, mode 0600, removed
// afterwards) and runs with the method the situation allows.
class QSSystemPrivilegedRunner : public QSPrivilegedRunner {
public:
  using SituationProbe = std::function<QSPrivilegeSituation()>;

  // `mayPromptOnTerminal` false: never prompt on this process's terminal (the daemon, whose
  // terminal, if any, nobody watches); the other methods stay. `probe` tells the situation at
  // each run (currentSituation unless a test describes another).
  explicit QSSystemPrivilegedRunner(bool mayPromptOnTerminal = true, SituationProbe probe = currentSituation)
      : mayPromptOnTerminal_(mayPromptOnTerminal), probe_(std::move(probe)) {}

  std::string run(std::string_view script, std::string_view refusal) override;

  // The situation of this process (runs `sudo -n true` when not root and sudo exists).
  static QSPrivilegeSituation currentSituation();

private:
  bool mayPromptOnTerminal_;
  SituationProbe probe_;
};

}  // namespace qs
