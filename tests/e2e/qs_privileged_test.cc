// `qs routing`, `qs ca` and `qs ports` against the real daemon, with every system path under a
// scratch root and stand-in systemctl, nft and update-ca-certificates (the real certutil).
#include "e2e/e2e_support.h"

#include "core/platform/privileges.h"
#include "core/routing/shell_quoting.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

namespace qs::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace fs = std::filesystem;

class QsPrivilegedRoutingTest : public E2ETest {
protected:
  QsPrivilegedRoutingTest() {
    fs::create_directories(root);
    fs::create_directories(tools);
    auto q = [](const fs::path& p) { return shellQuoted(p.string()); };
    tool("systemctl", "echo \"$*\" >> " + q(scratch / "systemctl.log") + "\n[ \"$1\" != is-active ]\n");
    tool("nft", "echo \"$*\" >> " + q(scratch / "nft.log") + "\n");
    tool("update-ca-certificates", "echo \"$*\" >> " + q(scratch / "update-ca-certificates.log") + "\n");
    tool("certutil", "exec /usr/bin/certutil \"$@\"\n");
    environment["QS_SYSTEM_ROOT"] = root.string();
    environment["QS_SYSTEM_TOOL_PATH"] = tools.string();
    // The TLS listener starts only with an HTTPS domain; the redirect needs its port before that.
    environment["QS_PROXY_TLS_PORT"] = std::to_string(freePort());
    startDaemon();
  }

  void tool(const std::string& name, const std::string& body) {
    writeTextFile(tools / name, "#!/bin/bash\n" + body);
    fs::permissions(tools / name, fs::perms::owner_all);
  }
  nlohmann::json statusJson() { return nlohmann::json::parse(qsOK({"routing", "status", "--json"})); }

  TemporaryFolder scratch;
  fs::path root = scratch / "root";
  fs::path tools = scratch / "tools";
};

TEST_F(QsPrivilegedRoutingTest, PortsStopAndRoutingEnableStatusDisable) {
  // Only what holds the proxy ports can be stopped.
  EXPECT_THAT(qsFails({"ports", "stop", std::to_string(daemon->pid()), "--yes"}),
              HasSubstr("isn't listening on ports 80, 443, 7080 or 7443"));
  EXPECT_EQ(qs({"ports", "stop", "0"}).err, "qs: No process with id 0.\n");
  EXPECT_THAT(qsOK({"routing", "status"}), StartsWith(".test routing: off; 'qs routing enable' installs it"));
  if (!isRunningAsRoot()) {
    // Neither the daemon nor this qs (no terminal) can ask for a password.
    EXPECT_EQ(qsFails({"routing", "enable", "--yes"}),
              "qs: This operation needs an interactive session: Enabling .test routing needs an admin prompt; run it "
              "once from a terminal with sudo, or pre-provision the resolver and nftables rules on headless hosts.\n");
    return;
  }
  auto enabled = qsOK({"routing", "enable", "--yes"});
  auto status = statusJson();
  ASSERT_TRUE(status["dnsRunning"].get<bool>()) << status.dump();
  int dnsPort = status["dnsPort"].get<int>();
  EXPECT_THAT(enabled, StartsWith(".test routing installed.\n.test routing: on\n  Resolver: installed for DNS port " +
                                  std::to_string(dnsPort) + "; .test names resolve once systemd-resolved runs\n"));
  EXPECT_EQ(status["testRoutingEnabled"], true);
  EXPECT_EQ(status["testRoutingRedirectInstalled"], true);
  EXPECT_EQ(status["testRoutingExpectedPort"], dnsPort);
  EXPECT_EQ(qsOK({"routing", "disable"}), ".test routing removed; the system resolves and serves ports 80/443 as before.\n");
  EXPECT_EQ(qsOK({"routing", "disable"}), ".test routing wasn't installed; there was nothing to remove.\n");
}

// Without a terminal nobody can answer the question: --yes is named instead.
TEST_F(QsPrivilegedRoutingTest, PortsStopWithoutATerminalAsksForYes) {
  if (!isRunningAsRoot()) GTEST_SKIP() << "holding port 80 needs root";
  TemporaryFolder bin;
  std::optional<RunningListener> holder;
  try {
    holder = startListener(listenerNamed(bin.path(), "web-holder"), 80);
  } catch (const std::exception&) {
    GTEST_SKIP() << "port 80 is taken on this machine";
  }
  std::string pid = std::to_string(holder->process->pid());
  EXPECT_EQ(qs({"ports", "stop", pid}).err,
            "qs: Stopping web-holder (PID " + pid + ", runs as root) needs a yes; pass --yes to stop it without a "
            "terminal.\n");
  EXPECT_EQ(qsOK({"ports", "stop", pid, "--yes"}), "Asked web-holder (PID " + pid + ", runs as root) to stop.\n");
  EXPECT_TRUE(waitUntilGone(holder->process->pid()));
}

TEST_F(QsPrivilegedRoutingTest, TrustAndUntrust) {
  if (!isRunningAsRoot()) GTEST_SKIP() << "the system store needs the tests to run as root";
  EXPECT_EQ(qsOK({"ca", "trust"}), "The Quayside certificate authority is trusted by your browsers and the system.\n");
  EXPECT_EQ(nlohmann::json::parse(qsOK({"ca", "status", "--json"}))["caTrusted"], true);
  EXPECT_EQ(qsOK({"ca", "untrust"}), "The Quayside certificate authority is no longer trusted.\n");
  EXPECT_EQ(qsOK({"ca", "status"}), "The Quayside certificate authority is not trusted yet; 'qs ca trust' trusts it.\n");
}

}  // namespace
}  // namespace qs::testing
