// Puts the command-line tool and the daemon on the user's PATH and registers the daemon as a
// systemd user service that starts at login.
#pragma once

#include "core/platform/error_exception.h"
#include "core/models/case_coding.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

namespace fs = std::filesystem;

// Cases of QSDaemonInstaller::InstallError.
namespace insterr {
using BinDirectoryNotWritable = QSUnnamedCase<"binDirectoryNotWritable", std::string>;  // the folder
using LaunchctlFailed = QSUnnamedCase<"launchctlFailed", std::int32_t>;  // systemctl's exit status
}  // namespace insterr

class QSDaemonInstaller {
public:
  // The tag that marks the unit as ours (in its Description=).
  static constexpr std::string_view launchAgentLabel = "app.brindle.quaysided";
  static constexpr std::string_view unitName = "quaysided.service";

  struct InstallReport {
    fs::path cliPath;     // the link `qs`
    fs::path aliasPath;   // the link `quayside`
    fs::path daemonPath;  // the link `quaysided`
    bool autoStart = false;
    bool onPath = false;  // whether the folder is on PATH
    bool operator==(const InstallReport&) const = default;
  };

  struct InstallError : QSEnumeration<insterr::BinDirectoryNotWritable, insterr::LaunchctlFailed> {
    using QSEnumeration::QSEnumeration;
    // "Couldn't write to <folder>. Pass --prefix <dir> to choose a writable directory on your PATH."
    // or "systemctl failed (exit N) while registering the daemon's login item."
    std::string message() const;
  };
  using InstallException = QSErrorException<InstallError>;

  // `systemctl` is the program that registers the login item; the default is $QS_SYSTEMCTL when
  // set, else /usr/bin/systemctl.
  explicit QSDaemonInstaller(fs::path systemctl = defaultSystemctl());

  static fs::path defaultSystemctl();
  // ~/.local/bin
  static fs::path defaultBinDirectory();
  // $XDG_CONFIG_HOME/systemd/user/quaysided.service
  static fs::path launchAgentPath();
  // The unit file's text for a daemon at `daemonPath` logging to `logFile`.
  static std::string unitText(const fs::path& daemonPath, const fs::path& logFile);
  // Whether `folder` is one of the entries of `pathVariable` (split at ":", empty entries
  // dropped), trailing slashes on either side ignored.
  static bool isOnPath(const fs::path& folder, std::string_view pathVariable);

  // Creates `binDirectory` when missing and points qs and quayside at `cliSource` and quaysided
  // at `daemonSource`, replacing whatever has those names there; with `autoStart`, also
  // registers the login item for the quaysided link. Throws InstallException
  // (binDirectoryNotWritable, launchctlFailed) or QSSystemError for a failed removal, link or
  // unit write; links made before a failure stay.
  InstallReport install(const fs::path& cliSource, const fs::path& daemonSource, const fs::path& binDirectory,
                        bool autoStart) const;
  // Removes the login item, then the three names in `binDirectory` when they are symbolic links
  // (regular files of those names stay). Throws QSSystemError when a deletion fails.
  void uninstall(const fs::path& binDirectory) const;

  // True exactly when the unit file exists.
  bool isAutoStartInstalled() const;
  // Writes the unit for `daemonPath`, reloads the user manager and enables and starts the
  // unit. Throws InstallException(launchctlFailed) when systemctl exits non-zero (-1 when it
  // cannot be run), QSSystemError when the unit cannot be written.
  void enableAutoStart(const fs::path& daemonPath) const;
  // Stops and disables the unit and deletes its file; failures are ignored.
  void disableAutoStart() const;

private:
  // systemctl --user <arguments>; its exit status, -1 when it cannot be started.
  int runSystemctl(const std::vector<std::string>& arguments) const;
  void requireSystemctl(const std::vector<std::string>& arguments) const;
  void stopAndDisable() const;

  fs::path systemctl_;
};

}  // namespace qs
