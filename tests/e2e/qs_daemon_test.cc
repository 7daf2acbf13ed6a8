// qs without a daemon, its usage errors, and `qs daemon install`. (Start, status and stop: the
// quaysided start tests.)
#include "e2e/e2e_support.h"
#include "support/test_locations.h"

#include <sys/stat.h>

namespace qs::testing {
namespace {

const std::string kUnavailable =
    "qs: The Quayside daemon isn't running. Start it with 'quayside daemon start'.\n";

using WithoutDaemon = E2ETest;

// A plain request, a follower, a wait and the commands that resolve a folder first: each path
// of qs that connects.
TEST_F(WithoutDaemon, EveryCommandThatNeedsOneSaysHowToStartIt) {
  const std::vector<std::vector<std::string>> commands = {
      {"projects"}, {"add", "."}, {"logs", "blog", "-f"}, {"start", "blog", "--wait"}, {"events"},
      {"new", "blog"}};
  for (const auto& command : commands) {
    auto result = qs(command);
    EXPECT_EQ(result.status, 1) << command[0];
    EXPECT_EQ(result.err, kUnavailable) << command[0];
    EXPECT_EQ(result.out, "") << command[0];
  }
  // A socket file left behind by a daemon that died is no daemon either.
  writeTextFile(socketPath(), "");
  EXPECT_EQ(qsFails({"ping"}), kUnavailable);

  // A socket path that is not UTF-8 is printed with a replacement character, never a crash.
  environment["QS_DAEMON_SOCKET"] = (home.home() / "sock\xff").string();
  auto status = qs({"daemon", "status", "--json"});
  EXPECT_EQ(status.status, 1) << status.err;
  EXPECT_EQ(json::parse(status.out)["socket"], (home.home() / "sock\xef\xbf\xbd").string());
}

TEST_F(WithoutDaemon, UsageErrorsVersionHelpAndToolchains) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"frobnicate"}, "qs: Unknown command 'frobnicate' (see 'qs --help')\n"},
      {{"env", "blog", "get"}, "qs: KEY is required (see 'qs env get --help')\n"},
      {{"pin", "blog"}, "qs: Give either a VERSION (like 6.0.3) or --clear.\n"},
      {{"pin", "blog", "latest"}, "qs: 'latest' isn't a Swift version; give one like 6.0 or 6.0.3.\n"},
  };
  for (const auto& [arguments, error] : cases) EXPECT_EQ(qsFails(arguments, 2), error);
  EXPECT_EQ(qs({}).status, 2);

  EXPECT_EQ(qsOK({"--version"}), std::string("qs ") + QS_VERSION + "\n");
  EXPECT_NE(qsOK({"start", "--help"}).find("qs start blog --wait"), std::string::npos);
  environment["QS_TOOLCHAIN_DIRS"] = qs::testing::fakeToolchainsFolder();
  // The machine's own toolchains (a real one in /opt/swift, on PATH) are listed too.
  auto listed = json::parse(qsOK({"toolchains", "--json"}));
  auto fake = std::find_if(listed.begin(), listed.end(), [](const json& t) { return t["id"] == "swift-6.0.3"; });
  ASSERT_NE(fake, listed.end()) << listed.dump();
  EXPECT_EQ((*fake)["source"], "QS_TOOLCHAIN_DIRS");
  auto table = qsOK({"toolchains"});
  EXPECT_NE(table.find("Swift 6.0.3"), std::string::npos) << table;
  EXPECT_NE(table.find("FOUND IN"), std::string::npos) << table;
}

using DaemonCommands = E2ETest;

// What qs links and prints; the links, the unit and the systemctl calls themselves: the installer's test.
TEST_F(DaemonCommands, InstallAndUninstallTheLinks) {
  auto systemctl = home.home() / "systemctl";
  writeTextFile(systemctl, "#!/bin/sh\n");
  ::chmod(systemctl.c_str(), 0755);
  environment["QS_SYSTEMCTL"] = systemctl.string();
  auto bin = home.home() / "bin";

  auto installed = qsOK({"daemon", "install", "--prefix", bin.string(), "--autostart"});
  EXPECT_EQ(std::filesystem::read_symlink(bin / "qs"), std::filesystem::canonical(qsPath()));
  EXPECT_NE(installed.find("starts at login"), std::string::npos) << installed;
  EXPECT_NE(installed.find("Note: " + bin.string() + " isn't on your PATH."), std::string::npos) << installed;

  // On PATH, there is no hint; --json gives the report.
  environment["PATH"] = bin.string() + "/:" + std::getenv("PATH");
  auto report = json::parse(qsOK({"daemon", "install", "--prefix", bin.string(), "--json"}));
  EXPECT_EQ(report["onPath"], true);
  EXPECT_EQ(report["cliPath"], (bin / "qs").string());

  EXPECT_EQ(qsOK({"daemon", "uninstall", "--prefix", bin.string()}),
            "Removed the qs, quayside and quaysided links from " + bin.string() + " and the daemon's login item.\n");

  // Without systemd the links are still made.
  environment["QS_SYSTEMCTL"] = (home.home() / "no-systemctl").string();
  auto withoutSystemd = qs({"daemon", "install", "--prefix", bin.string(), "--autostart"});
  EXPECT_EQ(withoutSystemd.status, 1);
  EXPECT_EQ(withoutSystemd.out.rfind("Linked " + (bin / "qs").string(), 0), 0u) << withoutSystemd.out;
  EXPECT_EQ(withoutSystemd.err, "qs: systemd isn't running on this machine, so the daemon can't be started at login; "
                                "start it with 'qs daemon start'.\n");
}

}  // namespace
}  // namespace qs::testing
