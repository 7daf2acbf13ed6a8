// Removes what Quayside put on this machine outside the programs themselves, in a fixed order,
// with one result per step: .test routing, trust in the local certificate authority, the
// command-line links with the login items and desktop entries, and the data folder. Project
// folders and their .env files are never touched.
#pragma once

#include "core/daemon/daemon_installer.h"
#include "core/routing/privileged_runner.h"
#include "core/routing/system_root.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSUninstaller {
public:
  // What to remove. All false: nothing runs.
  struct Options {
    bool disableRouting = false;
    bool removeCertificate = false;
    bool removeCLI = false;
    bool deleteData = false;
    bool operator==(const Options&) const = default;
  };

  struct StepResult {
    std::string step;  // the step's title, one of the four below
    bool succeeded = false;
    std::optional<std::string> detail;  // the failure's message
    bool operator==(const StepResult&) const = default;
  };

  static constexpr std::string_view disableRoutingStep = "Disable .test routing";
  static constexpr std::string_view removeCertificateStep = "Remove HTTPS certificate";
  static constexpr std::string_view removeCLIStep = "Remove CLI tools and login item";
  static constexpr std::string_view deleteDataStep = "Delete app data";

  // Where the steps work. `forThisUser` gives this user's and this machine's places.
  struct Places {
    QSSystemRoot system;                          // .test routing's files, the system trust store
    std::shared_ptr<QSPrivilegedRunner> runner;   // how the system's files get changed as root
    QSDaemonInstaller installer;                  // the login item's systemctl
    std::filesystem::path home;                   // the NSS databases below it, ~/.local/bin
    std::filesystem::path dataDirectory;          // the data folder (certificate authority inside)
    std::filesystem::path settingsDirectory;      // the settings folder, deleted with the data
    std::filesystem::path projectsFolder;         // ~/Quayside, never deleted

    // $QS_SYSTEM_ROOT, $HOME, the XDG folders; `runner` asks for the administrator password.
    static Places forThisUser(std::shared_ptr<QSPrivilegedRunner> runner);
  };

  // Told of each step's result as soon as it is known.
  using Progress = std::function<void(const StepResult&)>;

  explicit QSUninstaller(Places places);

  // Runs the steps that `options` asks for, in the order of the titles above, each one whatever
  // became of the ones before, and returns their results in that order. With deleteData, every
  // database engine running from the data folder is stopped first (no result of its own; when
  // it fails, "Delete app data" fails with its message and deletes nothing). Blocks while tools
  // run and the administrator password is asked for: call it off the service loop. Never throws.
  std::vector<StepResult> run(const Options& options, const Progress& progress = {}) const;

  // Why the data folder must not be deleted, when it must not: a path that is not absolute or
  // goes through "." or "..", or one that holds the home folder, the projects folder or a
  // project's folder (recorded in the data folder's config.json). Nothing when it may go.
  std::optional<std::string> dataDirectoryProblem() const;

  const Places& places() const { return places_; }
  // The user's data folder: Quayside under $XDG_DATA_HOME (default ~/.local/share).
  static std::filesystem::path dataDirectory();

private:
  void disableRouting() const;
  void removeCertificate() const;
  void removeCLI() const;
  void deleteData() const;
  std::optional<std::string> stopEngines() const;

  Places places_;
};

}  // namespace qs
