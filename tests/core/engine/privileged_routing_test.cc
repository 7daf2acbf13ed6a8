// The engine's half of .test routing's system-wide install: requests through the privileged
// helper (the real scripts, run by a recording runner against a scratch root), refusals kept
// as the daemon's errors, and what the health report says.
#include "core/routing/privileged_helper.h"
#include "core/routing/privileged_test_support.h"
#include "engine_test_support.h"

#include <gmock/gmock.h>

namespace qs {
namespace {

using testing::RecordingRunner;
using testing::RefusingRunner;

struct PrivilegedEngine : testing::EngineFixture {
  explicit PrivilegedEngine(std::shared_ptr<QSPrivilegedRunner> runner) {
    // The TLS listener starts only with an HTTPS domain; its port must be known before that.
    int tlsPort = testing::freeTestPort(testing::PortBand::routing);
    remakeEngine([&](QSDaemonServiceOptions& o) {
      o.network = {.proxyPort = 0, .proxyTLSPort = tlsPort, .dnsPort = 0, .sslDirectory = home.home() / "ssl",
                   .privilegedRunner = std::move(runner), .systemRoot = stand.system({"/usr/bin"})};
    });
    testing::runUntilDone(io, engine->bootstrap());
  }
  // The engine ends before the stand-in system it was given goes.
  ~PrivilegedEngine() {
    testing::runUntilDone(io, engine->shutdown());
    engine.reset();
  }

  QSNetworkStatus network() { return handle(cmd::Status{}).get<res::Status>()->value.network; }
  std::string failure(QSDaemonCommand command) {
    auto result = handle(std::move(command));
    auto* failed = result.get<res::Failure>();
    return failed ? std::string(failed->value.caseName()) + ": " + failed->value.message() : "no failure";
  }

  testing::StandInSystem stand;
};

TEST(PrivilegedRoutingEngineTest, TheRedirectGoesToTheProxysPortsHealthSeesTheResolverAndAnotherPortConflicts) {
  PrivilegedEngine e(std::make_shared<RecordingRunner>());
  ASSERT_TRUE(e.handle(cmd::EnableTestRouting{}).is<res::Ok>());
  auto on = e.network();
  EXPECT_TRUE(on.testRoutingEnabled);
  QSPrivilegedHelper helper(e.stand.system(), nullptr);
  EXPECT_THAT(testing::readTextFile(helper.layout().redirectFile),
              ::testing::HasSubstr("tcp dport 80 redirect to :" + std::to_string(*on.proxyPort) + "\n"));
  EXPECT_TRUE(e.handle(cmd::Health{}).get<res::Health>()->value.resolverInstalled);

  // A resolver for another port: a conflict. (Disabling: the end-to-end test.)
  int other = on.dnsPort == 65535 ? 65534 : on.dnsPort + 1;
  testing::writeTextFile(helper.layout().resolverFile,
                         "[Resolve]\nDNS=127.0.0.1:" + std::to_string(other) + "\nDomains=~test\n");
  auto status = e.network();
  EXPECT_FALSE(status.testRoutingEnabled);
  EXPECT_TRUE(status.testRoutingPortConflict);
  EXPECT_EQ(status.testRoutingExpectedPort, other);
  EXPECT_FALSE(e.handle(cmd::Health{}).get<res::Health>()->value.resolverInstalled);
}

TEST(PrivilegedRoutingEngineTest, RefusalsReachTheClient) {
  {
    PrivilegedEngine e(std::make_shared<RefusingRunner>(false));
    EXPECT_EQ(e.failure(cmd::EnableTestRouting{}),
              "requiresInteractiveSession: This operation needs an interactive session: Enabling .test routing needs an "
              "admin prompt; run it once from a terminal with sudo, or pre-provision the resolver and nftables rules on "
              "headless hosts.");
    EXPECT_FALSE(e.network().testRoutingEnabled);
  }
  PrivilegedEngine e(std::make_shared<RefusingRunner>(true));
  EXPECT_EQ(e.failure(cmd::EnableTestRouting{}),
            "operationFailed: The administrator password prompt was cancelled; nothing was changed.");
  // Nothing installed: disabling asks for nothing and succeeds.
  EXPECT_TRUE(e.handle(cmd::DisableTestRouting{}).is<res::Ok>());
}

}  // namespace
}  // namespace qs
