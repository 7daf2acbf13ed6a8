// Puts the command-line tool and the daemon on the user's PATH and registers the daemon as a
// systemd user service that starts at login.
#pragma once

#include "core/platform/error_exception.h"
#include "core/models/case_coding.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// Cases of QSDaemonInstaller::InstallError.
namespace installError {
using BinDirectoryNotWritable = QSUnnamedCase<"binDirectoryNotWritable", std::string>;  // the folder
using SystemctlFailed = QSUnnamedCase<"launchctlFailed", std::int32_t>;  // systemctl's exit status
// No systemd to register the login item with: no systemctl, or systemd does not run here.
using SystemdMissing = QSEmptyCase<"systemdMissing">;
}  // namespace installError

class QSDaemonInstaller {
public:
  // The tag that marks the unit as ours (in its Description=).
  static constexpr std::string_view launchAgentLabel = "app.brindle.quaysided";
  static constexpr std::string_view unitName = "quaysided.service";

  struct InstallReport {
    std::filesystem::path cliPath;     // the link `qs`
    std::filesystem::path aliasPath;   // the link `quayside`
    std::filesystem::path daemonPath;  // the link `quaysided`
    bool autoStart = false;
    bool onPath = false;  // whether the folder is on PATH
    bool operator==(const InstallReport&) const = default;
  };

  struct InstallError : QSEnumeration<installError::BinDirectoryNotWritable, installError::SystemctlFailed,
                                      installError::SystemdMissing> {
    using QSEnumeration::QSEnumeration;
    // "Couldn't write to <folder>. Pass --prefix <dir> to choose a writable directory on your PATH.",
    // "systemctl failed (exit N) while registering the daemon's login item." or
    // "systemd isn't running on this machine, so the daemon can't be started at login; start it
    // with 'qs daemon start'."
    std::string message() const;
  };
  using InstallException = QSErrorException<InstallError>;

  // `systemctl` is the program that registers the login item; the default is $QS_SYSTEMCTL when
  // set, else /usr/bin/systemctl. `systemdRuntime` is the folder that exists while systemd runs
  // the machine (/run/systemd/system): it tells a failed registration from a missing systemd.
  explicit QSDaemonInstaller(std::filesystem::path systemctl = defaultSystemctl(),
                             std::filesystem::path systemdRuntime = "/run/systemd/system");

  static std::filesystem::path defaultSystemctl();
  // ~/.local/bin
  static std::filesystem::path defaultBinDirectory();
  // $XDG_CONFIG_HOME/systemd/user/quaysided.service
  static std::filesystem::path userUnitPath();
  // The unit file's text for a daemon at `daemonPath` logging to `logFile`, started with
  // `environment` (one Environment= line each, in key order).
  static std::string unitText(const std::filesystem::path& daemonPath, const std::filesystem::path& logFile,
                              const std::map<std::string, std::string>& environment = toolchainEnvironment());
  // What a daemon started by the service manager needs to find the toolchains this shell finds:
  // its PATH (a user unit's own PATH lacks /opt/swift/usr/bin and ~/.local/bin) and its
  // QS_TOOLCHAIN_DIRS, those that are set.
  static std::map<std::string, std::string> toolchainEnvironment();
  // Whether `folder` is one of the entries of `pathVariable` (split at ":", empty entries
  // dropped), trailing slashes on either side ignored.
  static bool isOnPath(const std::filesystem::path& folder, std::string_view pathVariable);

  // Creates `binDirectory` when missing and points qs and quayside at `cliSource` and quaysided
  // at `daemonSource`, replacing whatever has those names there; with `autoStart`, then also
  // registers the login item for the quaysided link. Throws InstallException
  // (binDirectoryNotWritable, systemctlFailed, systemdMissing) or QSSystemError for a failed
  // removal, link or unit write; links made before a failure stay.
  InstallReport install(const std::filesystem::path& cliSource, const std::filesystem::path& daemonSource,
                        const std::filesystem::path& binDirectory, bool autoStart) const;
  // Removes the login item (and the unit's link in default.target.wants when systemctl left it),
  // then the three names in `binDirectory` when they are symbolic links (regular files of those
  // names stay). Throws QSSystemError when a deletion fails.
  void uninstall(const std::filesystem::path& binDirectory) const;

  // True exactly when the unit file exists.
  bool isAutoStartInstalled() const;
  // Writes the unit for `daemonPath`, reloads the user manager and enables and starts the
  // unit. Throws InstallException: systemdMissing when there is no systemctl to run (nothing is
  // written) or when registering fails on a machine that systemd does not run; systemctlFailed
  // with systemctl's exit status when registering fails otherwise. After a failed registration
  // the unit file is removed again. QSSystemError when the unit cannot be written.
  void enableAutoStart(const std::filesystem::path& daemonPath) const;
  // Stops and disables the unit and deletes its file; failures are ignored.
  void disableAutoStart() const;

private:
  // systemctl --user <arguments>; its exit status, -1 when it cannot be started.
  int runSystemctl(const std::vector<std::string>& arguments) const;
  void stopAndDisable() const;

  std::filesystem::path systemctl_;
  std::filesystem::path systemdRuntime_;
};

}  // namespace qs
