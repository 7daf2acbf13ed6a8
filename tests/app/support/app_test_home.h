// The desktop app's tests: an isolated HOME with its own control socket and owner lock, the .test
// services on ports the system picks, the mail catcher off, the fake Swift toolchain the only one.
#pragma once

#include "core/platform/settings.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <QString>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace qs::testing {

// How long the app's tests wait for what the services do in the background, in milliseconds.
constexpr int kLong = 30000;

class AppTestHome {
public:
  // PATH for the app and its children: the fake toolchain first, then the system.
  static std::string testPath() { return fakeToolchainRoot() + "/usr/bin:/usr/bin:/bin"; }

  AppTestHome()
      : environment_({{"QS_DAEMON_SOCKET", (home_.home() / "daemon.sock").string()},
                      {"QS_DAEMON_LOCK", (home_.home() / "owner.lock").string()},
                      {"QS_PROXY_PORT", "0"},
                      {"QS_PROXY_TLS_PORT", "0"},
                      {"QS_DNS_PORT", "0"},
                      {"QS_TOOLCHAIN_DIRS", qs::testing::fakeToolchainsFolder()},
                      // Only the test toolchain's swift on PATH: servers build with it, as in the
                      // children, never with a real toolchain the machine has (/opt/swift).
                      {"PATH", testPath()},
                      {"QS_DAEMON_EXECUTABLE", std::nullopt},
                      {"QS_CLI_EXECUTABLE", qs::testing::binFolder() + "/qs"},
                      // The app's single-instance socket: this home's, never the session's.
                      {"XDG_RUNTIME_DIR", (home_.home() / "run").string()}}) {
    QSSettings settings = QSSettings::standard();
    settings.set("qs.mailEnabled", false);
  }

  const std::filesystem::path& home() const { return home_.home(); }
  std::string socketPath() const { return (home_.home() / "daemon.sock").string(); }
  std::string lockPath() const { return (home_.home() / "owner.lock").string(); }
  // The variables a child process (quaysided, qs, the app) needs to share this home.
  std::map<std::string, std::string> childEnvironment() const {
    return {{"HOME", home().string()},
            {"XDG_DATA_HOME", (home() / ".local/share").string()},
            {"XDG_CONFIG_HOME", (home() / ".config").string()},
            {"TMPDIR", (home() / "tmp").string()},
            {"QS_DAEMON_SOCKET", socketPath()},
            {"QS_DAEMON_LOCK", lockPath()},
            {"QS_PROXY_PORT", "0"},
            {"QS_PROXY_TLS_PORT", "0"},
            {"QS_DNS_PORT", "0"},
            {"QS_TOOLCHAIN_DIRS", qs::testing::fakeToolchainsFolder()},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"XDG_RUNTIME_DIR", (home() / "run").string()},
            {"PATH", testPath()}};
  }
  // A Vapor package named `name` in HOME; its folder.
  std::filesystem::path vaporProject(const std::string& name, const std::string& dotenv = "") const {
    std::filesystem::path folder = home() / name;
    writeVaporPackage(folder, name, dotenv);
    return folder;
  }

private:
  IsolatedHome home_;
  ScopedEnvironment environment_;
};

inline QString qstr(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace qs::testing
