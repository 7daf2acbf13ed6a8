// The real install and uninstall scripts, run against a scratch system root with stand-in tools.
#include "core/platform/paths.h"
#include "core/routing/privileged_helper.h"
#include "core/routing/privileged_test_support.h"
#include "support/process_helpers.h"

#include <fmt/format.h>
#include <gmock/gmock.h>

namespace qs {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

// A port nothing listens on while the test runs: the proxy is "down".
constexpr int kDownPort = 1;

// Temporary files the helper left behind (the tests' own folders aside).
std::vector<std::string> stagedLeftovers() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(QSPaths::temporaryFolder())) {
    auto name = entry.path().filename().string();
    if (name.rfind("qs-", 0) == 0 && name.rfind("qs-test-", 0) != 0) names.push_back(name);
  }
  return names;
}

struct Fixture {
  IsolatedHome home;
  StandInSystem stand;
  std::shared_ptr<RecordingRunner> runner = std::make_shared<RecordingRunner>();
  QSPrivilegedHelper helper{stand.system(), runner};
  const QSRoutingLayout& layout() const { return helper.layout(); }
};

TEST(PrivilegedInstallTest, EnableWritesEveryPieceAndStartsTheWatchdog) {
  Fixture f;
  f.stand.markSystemdRunning();
  f.stand.setActiveUnits("systemd-resolved\n");
  f.helper.enableTestRouting({.http = kDownPort, .https = 7443, .dns = 5300});

  EXPECT_EQ(readTextFile(f.layout().resolverFile),
            "# Quayside — routes .test domains to local DNS server\n[Resolve]\nDNS=127.0.0.1:5300\nDomains=~test\n");
  EXPECT_EQ(permissionsOf(f.layout().resolverFile), fs::perms(0644));
  EXPECT_THAT(readTextFile(f.layout().redirectFile),
              HasSubstr("oifname \"lo\" ip daddr 127.0.0.1 tcp dport 443 redirect to :7443\n"));
  EXPECT_EQ(permissionsOf(f.layout().watchdogScript), fs::perms(0755));
  EXPECT_THAT(readTextFile(f.layout().unitFile), HasSubstr("ExecStart=/bin/bash " + f.layout().watchdogScript.string() + "\n"));
  EXPECT_FALSE(fs::exists(f.layout().resolverBackup));

  EXPECT_THAT(f.stand.calls("systemctl"),
              ElementsAre("is-active --quiet systemd-resolved", "restart systemd-resolved", "daemon-reload",
                          "enable quayside-redirect.service", "restart quayside-redirect.service"));
  // Checked, not loaded: the proxy is down, so the watchdog loads it when the proxy comes up.
  EXPECT_THAT(f.stand.calls("nft"), ElementsAre("-c -f " + f.layout().redirectFile.string()));
  EXPECT_TRUE(f.helper.isTestRoutingEnabled(5300));
  EXPECT_EQ(f.helper.activeResolver(), QSResolverService::systemdResolved);
  EXPECT_THAT(stagedLeftovers(), ElementsAre());
}

TEST(PrivilegedInstallTest, LoadsTheTableAtOnceWhenTheProxyListens) {
  Fixture f;
  TemporaryFolder bin;
  auto listener = testing::startListener(testing::listenerNamed(bin.path(), "proxy"), 0);
  f.helper.enableTestRouting({.http = listener.port, .https = 7443, .dns = 5300});
  listener.process->signal(SIGKILL);
  EXPECT_THAT(f.stand.calls("nft"), ElementsAre("-c -f " + f.layout().redirectFile.string(),
                                                "-f " + f.layout().redirectFile.string()));
  EXPECT_TRUE(f.stand.tableLoaded());
}

TEST(PrivilegedInstallTest, AnotherToolsResolverIsKeptOnceAndRestored) {
  Fixture f;
  std::string foreign = "[Resolve]\nDNS=127.0.0.1:53535\nDomains=~test\n";
  writeTextFile(f.layout().resolverFile, foreign);
  f.helper.enableTestRouting({.http = kDownPort, .https = 7443, .dns = 5300});
  EXPECT_EQ(readTextFile(f.layout().resolverBackup), foreign);
  // Enabling again, even for another DNS port, neither backs up our own file nor adds anything twice.
  f.helper.enableTestRouting({.http = kDownPort, .https = 7443, .dns = 5400});
  EXPECT_EQ(readTextFile(f.layout().resolverBackup), foreign);
  EXPECT_EQ(f.helper.configuredResolverPort(), 5400);

  EXPECT_EQ(f.helper.disableTestRouting(), QSRoutingRemoval::removed);
  EXPECT_EQ(readTextFile(f.layout().resolverFile), foreign);
  EXPECT_FALSE(fs::exists(f.layout().resolverBackup));
  for (const auto& gone : {f.layout().redirectFile, f.layout().unitFile, f.layout().watchdogScript, f.layout().redirectFolder})
    EXPECT_FALSE(fs::exists(gone)) << gone;
  // Nothing of ours is left: a second disable asks for nothing.
  auto scripts = f.runner->scripts.size();
  EXPECT_EQ(f.helper.disableTestRouting(), QSRoutingRemoval::nothingToRemove);
  EXPECT_EQ(f.runner->scripts.size(), scripts);
}

TEST(PrivilegedInstallTest, NetworkManagerFallbackWhereResolvedDoesNotRun) {
  Fixture f;
  f.stand.markSystemdRunning();
  f.stand.setActiveUnits("NetworkManager\n");
  f.helper.enableTestRouting({.http = kDownPort, .https = 7443, .dns = 5300});
  EXPECT_THAT(readTextFile(f.layout().dnsmasqFile), HasSubstr("\nserver=/test/127.0.0.1#5300\n"));
  EXPECT_THAT(readTextFile(f.layout().networkManagerFile), HasSubstr("\n[main]\ndns=dnsmasq\n"));
  EXPECT_TRUE(fs::exists(f.layout().resolverFile));  // read once systemd-resolved runs
  EXPECT_EQ(f.helper.activeResolver(), QSResolverService::networkManagerDnsmasq);
  EXPECT_THAT(f.stand.calls("systemctl"), ::testing::Contains("restart NetworkManager"));

  fs::remove(f.stand.log("systemctl"));
  f.helper.disableTestRouting();
  EXPECT_FALSE(fs::exists(f.layout().dnsmasqFile));
  EXPECT_FALSE(fs::exists(f.layout().networkManagerFile));
  EXPECT_THAT(f.stand.calls("systemctl"),
              ElementsAre("disable --now quayside-redirect.service", "daemon-reload", "is-active --quiet systemd-resolved",
                          "is-active --quiet NetworkManager", "restart NetworkManager"));
}

TEST(PrivilegedInstallTest, PathsWithSingleQuotesStayOneWord) {
  IsolatedHome home;
  TemporaryFolder quotedTemp;
  auto temp = quotedTemp.path() / "it's tmp";
  fs::create_directories(temp);
  testing::ScopedEnvironment environment({{"TMPDIR", temp.string()}});
  StandInSystem stand("root 'quoted' $(touch pwned)");
  auto runner = std::make_shared<RecordingRunner>();
  QSPrivilegedHelper helper(stand.system(), runner);
  helper.enableTestRouting({.http = kDownPort, .https = 7443, .dns = 5300});
  EXPECT_TRUE(helper.isTestRoutingEnabled(5300));
  EXPECT_THAT(runner->scripts.at(0), HasSubstr("'\\''quoted'\\'' $(touch pwned)/etc/quayside"));
  EXPECT_FALSE(fs::exists(stand.folder.path() / "pwned"));
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_EQ(helper.disableTestRouting(), QSRoutingRemoval::removed);
  EXPECT_FALSE(fs::exists(helper.layout().resolverFile));
}

TEST(PrivilegedInstallTest, BadInputAndRefusalsChangeNothing) {
  for (auto [ports, bad] : {std::pair{QSRoutingPorts{.http = 7080, .https = 7443, .dns = 65536}, 65536},
                            std::pair{QSRoutingPorts{.http = 0, .https = 7443, .dns = 5300}, 0}}) {
    Fixture f;
    EXPECT_EQ(thrownMessage<QSPrivilegedException>([&] { f.helper.enableTestRouting(ports); }),
              "Port " + std::to_string(bad) + " can't be used for .test routing; ports run from 1 to 65535.");
    EXPECT_TRUE(f.runner->scripts.empty());
    EXPECT_THAT(stagedLeftovers(), ElementsAre());
  }

  for (bool cancelled : {true, false}) {
    IsolatedHome home;
    StandInSystem stand;
    QSPrivilegedHelper helper(stand.system(), std::make_shared<RefusingRunner>(cancelled));
    EXPECT_EQ(thrownMessage<QSPrivilegedException>([&] { helper.enableTestRouting({.http = 7080, .https = 7443, .dns = 5300}); }),
              cancelled ? "The administrator password prompt was cancelled; nothing was changed." : kRoutingNeedsPromptText);
    EXPECT_TRUE(fs::is_empty(stand.root));
    EXPECT_THAT(stagedLeftovers(), ElementsAre());
  }
}

TEST(PrivilegedInstallTest, AFailingStepIsNamedAndStopsTheScript) {
  Fixture f;
  f.stand.rejectTables();
  std::string message = thrownMessage<QSPrivilegedException>(
      [&] { f.helper.enableTestRouting({.http = kDownPort, .https = 7443, .dns = 5300}); });
  EXPECT_THAT(message, ::testing::StartsWith("The change as administrator failed (exit 1):\nError: syntax error\n"
                                             "Failed step: "));
  EXPECT_THAT(message, HasSubstr("-c -f "));
  EXPECT_FALSE(fs::exists(f.layout().watchdogScript));  // set -e: nothing after the failing check ran
  EXPECT_FALSE(f.helper.isTestRoutingEnabled(5300));
}

TEST(PrivilegedInstallTest, TerminateAsRootEndsTheProcess) {
  Fixture f;
  TemporaryFolder bin;
  auto listener = testing::startListener(testing::listenerNamed(bin.path(), "holder"), 0);
  auto& process = *listener.process;
  // A process on none of the given ports is left alone, whoever owns it: the check runs as root.
  int elsewhere = listener.port == 80 ? 81 : 80;
  EXPECT_EQ(thrownMessage<QSPrivilegedException>([&] { f.helper.terminateAsRoot(process.pid(), {elsewhere, 7080}); }),
            fmt::format("The change as administrator failed (exit 3):\nProcess {} isn't listening on port {}, 7080.",
                        process.pid(), elsewhere));
  EXPECT_TRUE(process.isRunning());
  f.helper.terminateAsRoot(process.pid(), {elsewhere, listener.port});
  EXPECT_EQ(testing::readFromPipe(process.takeStandardError().get()), "");
  EXPECT_TRUE(testing::waitUntilGone(process.pid()));
  EXPECT_EQ(thrownMessage<QSPrivilegedException>([&] { f.helper.terminateAsRoot(1, {80}); }),
            "Process id 1 can't be stopped this way.");
}

}  // namespace
}  // namespace qs
