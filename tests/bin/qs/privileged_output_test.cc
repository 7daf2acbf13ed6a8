// What `qs routing status` says about the system-wide half of .test routing.
#include "bin/qs/privileged_output.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

QSNetworkStatus network() {
  QSNetworkStatus n;
  n.dnsRunning = true;
  n.dnsPort = 5300;
  n.proxyPort = 7080;
  n.proxyTLSPort = 7443;
  return n;
}

QSWebPortConflict nginx() {
  QSWebPortConflict conflict;
  conflict.listeners.push_back({{.pid = 812, .name = "nginx", .isRoot = true}, {80, 443}});
  return conflict;
}

TEST(PrivilegedOutput, RoutingStatusTexts) {
  auto off = network();
  EXPECT_EQ(formatTestRouting(off, std::nullopt),
            ".test routing: off; 'qs routing enable' installs it (it asks for the administrator password once)\n"
            "  Resolver: not installed\n"
            "  Redirect of ports 80/443: not installed\n");
  EXPECT_TRUE(nothingInstalled(off));

  auto on = network();
  on.testRoutingEnabled = true;
  on.testRoutingExpectedPort = 5300;
  on.testRoutingRedirectInstalled = true;
  on.testRoutingWatchdogActive = true;
  on.testRoutingResolver = "systemd-resolved";
  on.caTrusted = true;
  EXPECT_EQ(formatTestRouting(on, nginx()),
            ".test routing: on\n"
            "  Resolver: installed for DNS port 5300, read by systemd-resolved\n"
            "  Redirect of ports 80/443: installed, to 7080/7443\n"
            "  Watchdog: active (quayside-redirect.service)\n"
            "  Certificate authority: trusted\n"
            "  Ports 80/443: nginx (PID 812, ports 80 and 443) is using ports 80/443 — taking them over breaks its "
            "sites.\n");

  // In a container: written, but nothing reads it yet, and nothing keeps the redirect loaded.
  auto container = on;
  container.testRoutingResolver.reset();
  container.testRoutingWatchdogActive = false;
  container.caTrusted = false;
  EXPECT_EQ(formatTestRouting(container, std::nullopt),
            ".test routing: on\n"
            "  Resolver: installed for DNS port 5300; .test names resolve once systemd-resolved runs\n"
            "  Redirect of ports 80/443: installed, to 7080/7443\n"
            "  Watchdog: not running, so the redirect is not kept loaded (quayside-redirect.service starts it where "
            "systemd runs)\n"
            "  Certificate authority: not trusted yet ('qs ca trust')\n");

  auto moved = on;
  moved.testRoutingEnabled = false;
  moved.testRoutingPortConflict = true;
  moved.testRoutingExpectedPort = 5301;
  moved.caTrusted.reset();
  EXPECT_EQ(formatTestRouting(moved, std::nullopt),
            ".test routing: off (the resolver entry names another DNS port)\n"
            "  Resolver: installed for DNS port 5301, but the DNS server listens on 5300; run 'qs routing enable' "
            "again\n"
            "  Redirect of ports 80/443: installed, to 7080/7443\n"
            "  Watchdog: active (quayside-redirect.service)\n");
  EXPECT_FALSE(nothingInstalled(moved));
}

TEST(PrivilegedOutput, RoutingStatusJsonCarriesTheConflict) {
  auto json = testRoutingJson(network(), nginx());
  EXPECT_EQ(json["dnsPort"], 5300);
  EXPECT_EQ(json["webPortConflict"]["listeners"][0]["process"]["name"], "nginx");
  EXPECT_EQ(json["webPortConflict"]["listeners"][0]["ports"], nlohmann::json({80, 443}));
  EXPECT_EQ(json["webPortConflict"]["title"], "Another server is using ports 80/443");
  EXPECT_TRUE(testRoutingJson(network(), std::nullopt)["webPortConflict"].is_null());
}

}  // namespace
}  // namespace qs
