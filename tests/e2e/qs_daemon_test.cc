// qs without a daemon, its usage errors, and the daemon commands (start, stop, status, install)
// with the stand-in daemon that only serves the control socket.
#include "e2e/e2e_support.h"

#include "core/platform/files.h"

#include <sys/stat.h>

namespace qs::testing {
namespace {

const std::string kUnavailable =
    "qs: The Quayside daemon isn't running. Start it with 'quayside daemon start'.\n";

using WithoutDaemon = E2ETest;

TEST_F(WithoutDaemon, EveryCommandThatNeedsOneSaysHowToStartIt) {
  const std::vector<std::vector<std::string>> commands = {
      {"projects"}, {"ls", "--json"},      {"ping"},          {"status"},        {"info", "blog"},
      {"add", "."}, {"env", "blog", "set", "A", "1"},          {"logs", "blog", "-f"},
      {"start", "blog", "--wait"},         {"servers"},       {"events"},        {"pin", "blog", "6.0.3"},
      {"new", "blog"}, {"rm", "blog", "-y"},
  };
  for (const auto& command : commands) {
    auto result = qs(command);
    EXPECT_EQ(result.status, 1) << command[0];
    EXPECT_EQ(result.err, kUnavailable) << command[0];
    EXPECT_EQ(result.out, "") << command[0];
  }
  // A socket file left behind by a daemon that died is no daemon either.
  writeTextFile(socketPath(), "");
  auto result = qs({"ping"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, kUnavailable);
}

TEST_F(WithoutDaemon, UsageErrorsExitWithTwo) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;  // the whole message, or empty to check only the exit status and prefix
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{"frobnicate"}, "qs: Unknown command 'frobnicate' (see 'qs --help')\n"},
      {{"daemon", "strat"}, ""},
      {{"info"}, "qs: PROJECT is required (see 'qs info --help')\n"},
      {{"rename", "blog"}, "qs: NEW_NAME is required (see 'qs rename --help')\n"},
      {{"new", "blog", "--port", "70000"}, ""},
      {{"new", "blog", "--database", "oracle"}, ""},
      {{"events", "everything"}, ""},
      {{"logs", "blog", "-n", "-3"}, ""},
      {{"env", "blog", "get"}, "qs: KEY is required (see 'qs env get --help')\n"},
      {{"daemon"}, ""},
      {{"pin", "blog"}, "qs: Give either a VERSION (like 6.0.3) or --clear.\n"},
      {{"pin", "blog", "6.0.3", "--clear"}, ""},
      {{"pin", "blog", "latest"}, "qs: 'latest' isn't a Swift version; give one like 6.0 or 6.0.3.\n"},
      {{"projects", "--colour"}, ""},
  };
  for (const auto& c : cases) {
    auto result = qs(c.arguments);
    std::string shown = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(result.status, 2) << shown << "\n" << result.err;
    if (!c.error.empty()) {
      EXPECT_EQ(result.err, c.error) << shown;
    } else if (!c.arguments.empty()) {
      EXPECT_EQ(result.err.rfind("qs: ", 0), 0u) << shown << "\n" << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << shown << "\n" << result.err;
    }
  }
}

TEST_F(WithoutDaemon, VersionAndHelp) {
  auto version = qs({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("qs ") + QS_VERSION + "\n");
  auto help = qs({"start", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("qs start blog --wait"), std::string::npos) << help.out;
}

TEST_F(WithoutDaemon, ToolchainsAreFoundLocally) {
  environment["QS_TOOLCHAIN_DIRS"] = QS_FAKE_TOOLCHAINS_DIR;
  auto listed = json::parse(qsOK({"toolchains", "--json"}));
  ASSERT_EQ(listed.size(), 1u) << listed.dump();
  EXPECT_EQ(listed[0]["id"], "swift-6.0.3");
  EXPECT_EQ(listed[0]["version"], "6.0.3");
  EXPECT_NE(qsOK({"toolchains"}).find("Swift 6.0.3"), std::string::npos);
}

class DaemonCommands : public E2ETest {
protected:
  DaemonCommands() { environment["QS_DAEMON_EXECUTABLE"] = std::string(QS_BIN_DIR) + "/fake_quaysided"; }
  // A daemon started by a test that failed half-way must not outlive it.
  ~DaemonCommands() override { qs({"daemon", "stop"}); }
};

TEST_F(DaemonCommands, StartStatusStop) {
  auto before = qs({"daemon", "status"});
  EXPECT_EQ(before.status, 1);
  EXPECT_EQ(before.out, "The Quayside daemon isn't running.\nSocket: " + socketPath() + "\n");

  auto started = qs({"daemon", "start"});
  ASSERT_EQ(started.status, 0) << started.err;
  EXPECT_EQ(started.out.rfind("The Quayside daemon is running (version 0.0.0-test, build ", 0), 0u) << started.out;

  EXPECT_EQ(qsOK({"ping"}).rfind("pong from quaysided 0.0.0-test (build ", 0), 0u);
  auto status = json::parse(qsOK({"daemon", "status", "--json"}));
  EXPECT_EQ(status["running"], true);
  EXPECT_EQ(status["version"], "0.0.0-test");
  EXPECT_EQ(status["socket"], socketPath());
  EXPECT_EQ(status["isCurrentBuild"], true);

  // A second start finds it running: nothing is replaced.
  EXPECT_EQ(qsOK({"daemon", "start"}), started.out);

  // A `failure` answer is printed as the daemon phrased it.
  auto failed = qs({"projects"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "qs: no engine here: listProjects\n");

  EXPECT_EQ(qsOK({"daemon", "stop"}), "Stopped the Quayside daemon.\n");
  EXPECT_EQ(qs({"daemon", "status"}).status, 1);
  EXPECT_EQ(qs({"ping"}).err, kUnavailable);
  EXPECT_EQ(qsOK({"daemon", "stop"}), "The Quayside daemon isn't running.\n");

  EXPECT_NE(qsOK({"daemon", "restart"}).find("is running"), std::string::npos);
  EXPECT_EQ(qsOK({"daemon", "stop"}), "Stopped the Quayside daemon.\n");
}

TEST_F(DaemonCommands, InstallAndUninstallTheLinks) {
  // systemctl stand-in: records what it was asked.
  auto calls = home.home() / "systemctl.log";
  auto systemctl = home.home() / "systemctl";
  writeTextFile(systemctl, "#!/bin/sh\necho \"$@\" >> " + calls.string() + "\n");
  ::chmod(systemctl.c_str(), 0755);
  environment["QS_SYSTEMCTL"] = systemctl.string();
  auto bin = home.home() / "bin";

  auto installed = qs({"daemon", "install", "--prefix", bin.string(), "--autostart"});
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_EQ(std::filesystem::read_symlink(bin / "qs"), std::filesystem::canonical(qsPath()));
  EXPECT_EQ(std::filesystem::read_symlink(bin / "quayside"), std::filesystem::canonical(qsPath()));
  EXPECT_EQ(std::filesystem::read_symlink(bin / "quaysided"), environment["QS_DAEMON_EXECUTABLE"]);
  EXPECT_NE(installed.out.find("starts at login"), std::string::npos) << installed.out;
  EXPECT_NE(installed.out.find("Note: " + bin.string() + " isn't on your PATH."), std::string::npos) << installed.out;
  auto unit = home.home() / ".config/systemd/user/quaysided.service";
  EXPECT_TRUE(fileExists(unit));
  EXPECT_NE(readTextFile(calls).find("enable --now quaysided.service"), std::string::npos);

  // On PATH, there is no hint; --json gives the report.
  environment["PATH"] = bin.string() + "/:" + std::getenv("PATH");
  auto report = json::parse(qsOK({"daemon", "install", "--prefix", bin.string(), "--json"}));
  EXPECT_EQ(report["onPath"], true);
  EXPECT_EQ(report["cliPath"], (bin / "qs").string());

  EXPECT_EQ(qsOK({"daemon", "uninstall", "--prefix", bin.string()}),
            "Removed the qs, quayside and quaysided links from " + bin.string() + " and the daemon's login item.\n");
  EXPECT_FALSE(std::filesystem::is_symlink(bin / "qs"));
  EXPECT_FALSE(std::filesystem::is_symlink(bin / "quaysided"));
  EXPECT_FALSE(fileExists(unit));

  // Without systemd the links are still made, and no unit is left behind.
  environment["QS_SYSTEMCTL"] = (home.home() / "no-systemctl").string();
  auto withoutSystemd = qs({"daemon", "install", "--prefix", bin.string(), "--autostart"});
  EXPECT_EQ(withoutSystemd.status, 1);
  EXPECT_EQ(withoutSystemd.out.rfind("Linked " + (bin / "qs").string(), 0), 0u) << withoutSystemd.out;
  EXPECT_EQ(withoutSystemd.err, "qs: systemd isn't running on this machine, so the daemon can't be started at login; "
                                "start it with 'qs daemon start'.\n");
  EXPECT_TRUE(std::filesystem::is_symlink(bin / "quaysided"));
  EXPECT_FALSE(fileExists(unit));
}

}  // namespace
}  // namespace qs::testing
