// `qs routing`, `qs ca` and `qs ports` against the real daemon, on a scratch system root.
#include "e2e/e2e_support.h"

#include "core/platform/privileges.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

namespace qs::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class QsPrivilegedRoutingTest : public ScratchSystemTest {
protected:
  QsPrivilegedRoutingTest() { startDaemon(); }
};

TEST_F(QsPrivilegedRoutingTest, PortsStopRoutingAndTrust) {
  // Only what holds the proxy ports can be stopped.
  EXPECT_THAT(qsFails({"ports", "stop", std::to_string(daemon->pid()), "--yes"}),
              HasSubstr("isn't listening on ports 80, 443, 7080 or 7443"));
  EXPECT_EQ(qs({"ports", "stop", "0"}).err, "qs: No process with id 0.\n");
  if (!isRunningAsRoot()) {
    // Neither the daemon nor this qs (no terminal) can ask for a password; the rest (the system
    // store included) needs the tests to run as root.
    EXPECT_EQ(qsFails({"routing", "enable", "--yes"}),
              "qs: This operation needs an interactive session: Enabling .test routing needs an admin prompt; run it "
              "once from a terminal with sudo, or pre-provision the resolver and nftables rules on headless hosts.\n");
    return;
  }
  auto enabled = qsOK({"routing", "enable", "--yes"});
  auto status = nlohmann::json::parse(qsOK({"routing", "status", "--json"}));
  ASSERT_TRUE(status["dnsRunning"].get<bool>()) << status.dump();
  int dnsPort = status["dnsPort"].get<int>();
  EXPECT_THAT(enabled, StartsWith(".test routing installed.\n.test routing: on\n"));  // (the rest: qs's output test)
  EXPECT_EQ(status["testRoutingEnabled"], true);
  EXPECT_EQ(status["testRoutingRedirectInstalled"], true);
  EXPECT_EQ(status["testRoutingExpectedPort"], dnsPort);
  EXPECT_EQ(qsOK({"routing", "disable"}), ".test routing removed; the system resolves and serves ports 80/443 as before.\n");
  EXPECT_EQ(qsOK({"routing", "disable"}), ".test routing wasn't installed; there was nothing to remove.\n");

  EXPECT_EQ(qsOK({"ca", "trust"}), "The Quayside certificate authority is trusted by your browsers and the system.\n");
  EXPECT_EQ(nlohmann::json::parse(qsOK({"ca", "status", "--json"}))["caTrusted"], true);
  EXPECT_EQ(qsOK({"ca", "untrust"}), "The Quayside certificate authority is no longer trusted.\n");
  EXPECT_EQ(qsOK({"ca", "status"}), "The Quayside certificate authority is not trusted yet; 'qs ca trust' trusts it.\n");
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

}  // namespace
}  // namespace qs::testing
