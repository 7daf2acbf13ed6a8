#include "core/daemon/daemon_installer.h"

#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_environment.h"
#include "core/platform/process_runner.h"
#include "core/platform/system_error.h"

namespace qs {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLinkNames[] = {"qs", "quayside", "quaysided"};

std::string_view withoutTrailingSlashes(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return path;
}

// systemd expands %-specifiers in paths and $VARIABLES in command lines: double them so a
// path is taken literally.
std::string escapeSpecifiers(std::string_view text, bool dollars) {
  std::string out;
  for (char c : text) {
    if (c == '%' || (dollars && c == '$')) out += c;
    out += c;
  }
  return out;
}

// The program path of ExecStart=, quoted when it holds characters that split or escape words.
std::string execPath(const fs::path& path) {
  std::string text = escapeSpecifiers(path.string(), true);
  if (text.find_first_of(" \t\n\"'\\") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '\n') {
      quoted += "\\n";
      continue;
    }
    quoted += c;
  }
  return quoted + "\"";
}

// KEY=VALUE for Environment=, quoted so that spaces, quotes and backslashes stay part of the
// value and "%" is not taken for a specifier ("$" is not expanded there).
std::string quotedAssignment(const std::string& key, const std::string& value) {
  std::string quoted = "\"";
  for (char c : escapeSpecifiers(key + "=" + value, false)) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

void replaceLink(const fs::path& link, const fs::path& target) {
  // Whatever is there goes, a regular file included; a folder fails the removal and is kept.
  if (fileExists(link)) removeFile(link);
  createSymbolicLink(target, link);
}

}  // namespace

std::string QSDaemonInstaller::InstallError::message() const {
  return visit(QSOverloaded{
      [](const installError::BinDirectoryNotWritable& e) {
        return "Couldn't write to " + e.value + ". Pass --prefix <dir> to choose a writable directory on your PATH.";
      },
      [](const installError::SystemctlFailed& e) {
        return "systemctl failed (exit " + std::to_string(e.value) + ") while registering the daemon's login item.";
      },
      [](const installError::SystemdMissing&) {
        return std::string("systemd isn't running on this machine, so the daemon can't be started at login; start it "
                           "with 'qs daemon start'.");
      },
  });
}

QSDaemonInstaller::QSDaemonInstaller(fs::path systemctl, fs::path systemdRuntime)
    : systemctl_(std::move(systemctl)), systemdRuntime_(std::move(systemdRuntime)) {}

fs::path QSDaemonInstaller::defaultSystemctl() {
  return environmentValue("QS_SYSTEMCTL").value_or("/usr/bin/systemctl");
}

fs::path QSDaemonInstaller::defaultBinDirectory() { return QSPaths::home() / ".local" / "bin"; }

fs::path QSDaemonInstaller::userUnitPath() { return QSPaths::configHome() / "systemd" / "user" / unitName; }

std::map<std::string, std::string> QSDaemonInstaller::toolchainEnvironment() {
  std::map<std::string, std::string> environment;
  for (const char* name : {"PATH", "QS_TOOLCHAIN_DIRS"})
    if (auto value = environmentValue(name); value && !value->empty()) environment[name] = *value;
  return environment;
}

std::string QSDaemonInstaller::unitText(const fs::path& daemonPath, const fs::path& logFile,
                                        const std::map<std::string, std::string>& environment) {
  std::string log = escapeSpecifiers(logFile.string(), false);
  std::string variables;
  for (const auto& [key, value] : environment) variables += "Environment=" + quotedAssignment(key, value) + "\n";
  return "[Unit]\n"
         "Description=Quayside daemon (" + std::string(launchAgentLabel) + ")\n"
         "\n"
         "[Service]\n"
         "ExecStart=" + execPath(daemonPath) + "\n" + variables +
         "StandardOutput=append:" + log + "\n"
         "StandardError=append:" + log + "\n"
         "Restart=no\n"
         "\n"
         "[Install]\n"
         "WantedBy=default.target\n";
}

bool QSDaemonInstaller::isOnPath(const fs::path& folder, std::string_view pathVariable) {
  std::string_view wanted = withoutTrailingSlashes(folder.native());
  while (!pathVariable.empty()) {
    std::size_t colon = pathVariable.find(':');
    std::string_view entry = pathVariable.substr(0, colon);
    pathVariable = colon == std::string_view::npos ? std::string_view{} : pathVariable.substr(colon + 1);
    if (!entry.empty() && withoutTrailingSlashes(entry) == wanted) return true;
  }
  return false;
}

QSDaemonInstaller::InstallReport QSDaemonInstaller::install(const fs::path& cliSource, const fs::path& daemonSource,
                                                            const fs::path& binDirectory, bool autoStart) const {
  bool created = true;
  try {
    createDirectories(binDirectory);
  } catch (const QSSystemError&) {
    created = false;
  }
  if (!created || !isWritableFolder(binDirectory))
    throw InstallException(installError::BinDirectoryNotWritable{binDirectory.string()});

  InstallReport report{binDirectory / kLinkNames[0], binDirectory / kLinkNames[1], binDirectory / kLinkNames[2],
                       autoStart, false};
  replaceLink(report.cliPath, cliSource);
  replaceLink(report.aliasPath, cliSource);
  replaceLink(report.daemonPath, daemonSource);
  if (autoStart) enableAutoStart(report.daemonPath);
  report.onPath = isOnPath(binDirectory, environmentValue("PATH").value_or(""));
  return report;
}

void QSDaemonInstaller::uninstall(const fs::path& binDirectory) const {
  if (isAutoStartInstalled()) {
    stopAndDisable();
    removeFile(userUnitPath());
  }
  // The link `enable` made, left behind when systemctl could not run (no user manager).
  fs::path wanted = userUnitPath().parent_path() / "default.target.wants" / unitName;
  if (isSymbolicLink(wanted)) removeFile(wanted);
  for (const char* name : kLinkNames) {
    fs::path link = binDirectory / name;
    if (isSymbolicLink(link)) removeFile(link);
  }
}

bool QSDaemonInstaller::isAutoStartInstalled() const { return fileExists(userUnitPath()); }

void QSDaemonInstaller::enableAutoStart(const fs::path& daemonPath) const {
  if (!isExecutableFile(systemctl_)) throw InstallException(installError::SystemdMissing{});
  fs::path unit = userUnitPath();
  createDirectories(unit.parent_path());
  fs::path log = QSPaths::daemonLogFile();
  try {
    // systemd opens the log itself but does not create its folder. 0700: the data folder
    // holds the control socket.
    createDirectories(log.parent_path(), 0700);
  } catch (const QSSystemError&) {
    // The start below then fails and says so.
  }
  writeFileAtomically(unit, unitText(daemonPath, log));
  int status = runSystemctl({"daemon-reload"});
  if (status == 0) status = runSystemctl({"enable", "--now", std::string(unitName)});
  if (status == 0) return;
  // A unit that is not registered must not look installed (isAutoStartInstalled).
  try {
    removeFile(unit);
  } catch (const QSSystemError&) {
  }
  runSystemctl({"daemon-reload"});  // forgets the unit if the first reload took it in
  if (!isDirectory(systemdRuntime_)) throw InstallException(installError::SystemdMissing{});
  throw InstallException(installError::SystemctlFailed{status});
}

void QSDaemonInstaller::disableAutoStart() const {
  if (!isAutoStartInstalled()) return;
  stopAndDisable();
  try {
    removeFile(userUnitPath());
  } catch (const QSSystemError&) {
  }
}

void QSDaemonInstaller::stopAndDisable() const {
  runSystemctl({"disable", "--now", std::string(unitName)});
}

int QSDaemonInstaller::runSystemctl(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command{systemctl_.string(), "--user"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  try {
    return runProcess(command).exitStatus;
  } catch (const QSSystemError&) {
    return -1;
  }
}

}  // namespace qs
