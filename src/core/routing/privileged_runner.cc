#include "core/routing/privileged_runner.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/privileges.h"
#include "core/platform/process_environment.h"
#include "core/platform/process_runner.h"
#include "core/platform/terminal.h"
#include "core/platform/uuid.h"
#include "core/routing/privileged_error.h"
#include "core/routing/system_root.h"

#include <vector>

namespace qs {
namespace {

namespace fs = std::filesystem;

// The first line every run prints: without it on standard output, the script never started
// (authentication failed or was refused) and its exit status is not the script's.
constexpr std::string_view kStartedMarker = "quayside-privileged-script-started";

std::string withMarker(std::string_view script) {
  std::string text(script);
  auto firstLineEnd = text.find('\n');
  bool shebang = text.rfind("#!", 0) == 0 && firstLineEnd != std::string::npos;
  auto insertAt = shebang ? firstLineEnd + 1 : 0;
  text.insert(insertAt, "echo " + std::string(kStartedMarker) + "\n");
  return text;
}

// Removes the staged script whatever happens.
struct TemporaryScript {
  fs::path path;
  explicit TemporaryScript(std::string_view script)
      : path(QSPaths::temporaryFolder() / ("qs-privileged-" + QSUUID::random().string())) {
    writeFileAtomically(path, withMarker(script), 0600);
  }
  ~TemporaryScript() { tryRemoveFile(path); }
};

std::vector<std::string> commandFor(QSPrivilegeMethod method, const QSPrivilegeSituation& situation, const fs::path& script) {
  switch (method) {
    case QSPrivilegeMethod::direct:
      return {"/bin/bash", script.string()};
    case QSPrivilegeMethod::sudoNoPrompt:
    case QSPrivilegeMethod::sudoPrompt:
      return {situation.sudo->string(), "-n", "/bin/bash", script.string()};
    case QSPrivilegeMethod::pkexec:
      return {situation.pkexec->string(), "--disable-internal-agent", "/bin/bash", script.string()};
    case QSPrivilegeMethod::unavailable:
      break;
  }
  return {};
}

// Asks for the password on the terminal; false when the user gave up or got it wrong. The
// interrupt key ends sudo, not us.
bool validateSudoOnTerminal(const fs::path& sudo) {
  QSInterruptShield shield;
  return runProcess({sudo.string(), "-v"}).succeeded();
}

[[noreturn]] void throwNotStarted(QSPrivilegeMethod method, int status, std::string_view refusal) {
  // pkexec: 126 = the dialog was dismissed; anything else = no agent or not authorised, which a
  // terminal can still fix.
  if (method == QSPrivilegeMethod::pkexec && status != 126)
    throw QSPrivilegedException(privilegedError::RequiresInteractiveSession{std::string(refusal)});
  throw QSPrivilegedException(privilegedError::Cancelled{});
}

}  // namespace

QSPrivilegeMethod choosePrivilegeMethod(const QSPrivilegeSituation& situation) {
  if (situation.isRoot) return QSPrivilegeMethod::direct;
  if (situation.sudo && situation.sudoWithoutPrompt) return QSPrivilegeMethod::sudoNoPrompt;
  if (situation.sudo && situation.onTerminal) return QSPrivilegeMethod::sudoPrompt;
  if (situation.desktopSession && situation.pkexec) return QSPrivilegeMethod::pkexec;
  return QSPrivilegeMethod::unavailable;
}

QSPrivilegeSituation QSSystemPrivilegedRunner::currentSituation() {
  QSPrivilegeSituation situation;
  situation.isRoot = isRunningAsRoot();
  if (situation.isRoot) return situation;
  QSSystemRoot system;  // sudo and pkexec are the machine's own, never stand-ins
  situation.sudo = system.tool("sudo");
  situation.pkexec = system.tool("pkexec");
  if (situation.sudo) situation.sudoWithoutPrompt = runProcess({situation.sudo->string(), "-n", "true"}).succeeded();
  situation.onTerminal = isTerminal(0) && isTerminal(2);
  situation.desktopSession = environmentValue("DISPLAY") || environmentValue("WAYLAND_DISPLAY");
  return situation;
}

std::string QSSystemPrivilegedRunner::run(std::string_view script, std::string_view refusal) {
  auto situation = probe_();
  situation.onTerminal = situation.onTerminal && mayPromptOnTerminal_;
  auto method = choosePrivilegeMethod(situation);
  if (method == QSPrivilegeMethod::unavailable)
    throw QSPrivilegedException(privilegedError::RequiresInteractiveSession{std::string(refusal)});
  if (method == QSPrivilegeMethod::sudoPrompt && !validateSudoOnTerminal(*situation.sudo))
    throw QSPrivilegedException(privilegedError::Cancelled{});
  TemporaryScript staged(script);
  auto result = runProcess(commandFor(method, situation, staged.path));
  std::string marker = std::string(kStartedMarker) + "\n";
  bool started = result.output.rfind(marker, 0) == 0;
  if (!started) throwNotStarted(method, result.exitStatus, refusal);
  if (!result.succeeded())
    throw QSPrivilegedException(privilegedError::ScriptFailed{result.exitStatus, result.errorOutput});
  return result.output.substr(marker.size());
}

}  // namespace qs
