// The engine's .test services: domains with their events, the HTTPS certificate, routes that
// follow the projects, and the network status with a held proxy port.
#include "core/engine/daemon_service.h"
#include "engine_test_support.h"
#include "support/process_helpers.h"
#include "support/socket_states.h"

#include <asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <future>

namespace qs {
namespace {

using testing::EngineFixture;
using testing::failureMessage;
using testing::runUntil;
using testing::runUntilDone;

class NetworkServices : public ::testing::Test {
protected:
  void bootstrap() { runUntilDone(f.io, f.engine->bootstrap()); }
  QSFullStatus status() { return f.handle(cmd::Status{}).get<res::Status>()->value; }
  std::vector<std::string> eventNames() {
    f.collectEvents();
    std::vector<std::string> names;
    for (const auto& e : f.events) names.emplace_back(e.caseName());
    f.events.clear();
    return names;
  }
  QSDaemonResult addDomain(const QSProject& p, const std::string& host, bool ssl) {
    return f.handle(cmd::AddDomain{p.id, host, ssl});
  }
  // A request through the proxy's plain port for `host`, with the loop running meanwhile.
  std::string fetch(const std::string& host) {
    int port = *status().network.proxyPort;
    auto response = std::async(std::launch::async, [port, host] {
      asio::ip::tcp::iostream stream("127.0.0.1", std::to_string(port));
      stream << "GET / HTTP/1.1\r\nHost: " << host << "\r\nConnection: close\r\n\r\n" << std::flush;
      return std::string(std::istreambuf_iterator<char>(stream), {});
    });
    runUntil(f.io, [&] { return response.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return response.get();
  }

  EngineFixture f;
};

TEST_F(NetworkServices, DomainsAreCheckedEmitTheirEventsAndHTTPSOnesGetTheCertificate) {
  bootstrap();
  auto blog = f.addProject("blog");
  auto shop = f.addProject("shop");
  EXPECT_EQ(failureMessage(addDomain(blog, "../blog.test", true)),
            "Invalid hostname: ../blog.test. Must match [a-z0-9-]+.test");
  EXPECT_FALSE(f.engine->configuration().projects[0].domain.has_value());
  EXPECT_FALSE(std::filesystem::exists(f.home.home() / ".local/share/Quayside/ssl"));
  eventNames();

  auto plain = addDomain(blog, "blog.test", false);
  ASSERT_TRUE(plain.is<res::Domain>()) << failureMessage(plain);
  EXPECT_EQ(plain.get<res::Domain>()->value.targetPort, blog.port);
  EXPECT_EQ(eventNames(), (std::vector<std::string>{"projectsChanged"}));
  EXPECT_FALSE(status().network.proxyTLSRunning);
  EXPECT_EQ(failureMessage(addDomain(shop, "blog.test", false)),
            "blog.test is already the domain of blog; remove it there first.");

  ASSERT_TRUE(addDomain(shop, "shop.test", true).is<res::Domain>());
  f.collectEvents();
  ASSERT_EQ(f.events.size(), 2u);
  EXPECT_EQ(f.events[0].caseName(), "projectsChanged");
  // Published once the proxy's certificate covers the new name.
  ASSERT_TRUE(f.events[1].is<evt::NetworkChanged>());
  EXPECT_TRUE(f.events[1].get<evt::NetworkChanged>()->value.network.proxyTLSRunning);
  f.events.clear();

  // `qs proxy stop` closes both listeners; `qs proxy start` must bring HTTPS back too.
  EXPECT_TRUE(f.handle(cmd::StopDNS{}).is<res::Ok>());
  EXPECT_TRUE(f.handle(cmd::StopProxy{}).is<res::Ok>());
  EXPECT_EQ(eventNames(), (std::vector<std::string>{"networkChanged", "networkChanged"}));
  auto stopped = status().network;
  EXPECT_FALSE(stopped.dnsRunning);
  EXPECT_FALSE(stopped.proxyRunning);
  EXPECT_FALSE(stopped.proxyTLSRunning);
  EXPECT_TRUE(f.handle(cmd::StartDNS{}).is<res::Ok>());
  EXPECT_TRUE(f.handle(cmd::StartProxy{}).is<res::Ok>());
  auto network = status().network;
  EXPECT_TRUE(network.dnsRunning);
  EXPECT_TRUE(network.proxyRunning);
  EXPECT_TRUE(network.proxyTLSRunning);
  eventNames();

  // Removing the last HTTPS domain leaves the TLS listener with its identity.
  EXPECT_TRUE(f.handle(cmd::RemoveDomain{shop.id}).is<res::Ok>());
  EXPECT_EQ(eventNames(), (std::vector<std::string>{"projectsChanged", "networkChanged"}));
  EXPECT_TRUE(status().network.proxyTLSRunning);
}

TEST_F(NetworkServices, RoutesFollowTheProjects) {
  auto blog = f.addProject("blog");
  // A record that never passed validation, stored as a client sent it.
  blog.domain = QSDomain{QSUUID::random(), "Blog.TEST", blog.port, false};
  ASSERT_TRUE(f.handle(cmd::UpdateProject{blog}).is<res::Project>());
  bootstrap();
  // Nothing runs on the project's new port: the proxy says so, naming the port. (A name that is
  // no longer routed: the end-to-end routing test.)
  blog.port = blog.port + 1;
  ASSERT_TRUE(f.handle(cmd::UpdateProject{blog}).is<res::Project>());
  std::string page = fetch("blog.test");
  EXPECT_TRUE(page.starts_with("HTTP/1.1 502 Bad Gateway\r\n")) << page;
  EXPECT_NE(page.find("nothing answered on localhost:" + std::to_string(blog.port) + "."), std::string::npos);
  EXPECT_EQ(f.engine->configuration().projects[0].domain->targetPort, blog.port);
}

TEST_F(NetworkServices, StatusNamesWhoHoldsTheProxyPort) {
  testing::TemporaryFolder bin;
  auto holder = testing::startListener(testing::listenerNamed(bin.path(), "web-holder"), 0);
  f.remakeEngine([&](QSDaemonServiceOptions& o) { o.network.proxyPort = holder.port; });
  bootstrap();

  auto network = status().network;
  EXPECT_FALSE(network.proxyRunning);
  EXPECT_TRUE(network.dnsRunning);
  EXPECT_EQ(network.httpPortStatus, QSPortAvailability::inUse());
  ASSERT_EQ(network.conflictingProcesses.size(), 1u);
  EXPECT_EQ(network.conflictingProcesses[0].name, "web-holder");
  // Starting it names the port and the program in the way.
  std::string pid = std::to_string(holder.process->pid());
  std::string root = ::getuid() == 0 ? ", runs as root" : "";
  EXPECT_EQ(failureMessage(f.handle(cmd::StartProxy{})),
            "Port " + std::to_string(holder.port) + " is in use by web-holder (PID " + pid + root +
                "), so the proxy can't listen there. Stop it with 'qs ports stop " + pid +
                "', then run 'qs proxy start' again.");

  EXPECT_FALSE(f.handle(cmd::Health{}).get<res::Health>()->value.proxyRunning);
  holder.process->signal(SIGKILL);
  holder.process->reap();
}

// The proxy's own closed connections wait out TIME_WAIT on its port after the daemon stops;
// they must not keep the next daemon's proxy from starting.
TEST_F(NetworkServices, TheProxyComesBackAfterARestart) {
  int port = testing::freeTestPort(testing::PortBand::engine);
  f.remakeEngine([&](QSDaemonServiceOptions& o) { o.network.proxyPort = port; });
  bootstrap();
  ASSERT_TRUE(fetch("nobody.test").starts_with("HTTP/1.1 502"));  // the proxy closes first
  f.remakeEngine([&](QSDaemonServiceOptions& o) { o.network.proxyPort = port; });
  ASSERT_TRUE(testing::pollUntil([port] { return testing::hasTimeWaitSocket(port); }, std::chrono::seconds(10)));
  bootstrap();
  auto network = status().network;
  EXPECT_TRUE(network.proxyRunning);
  EXPECT_EQ(network.proxyPort, port);
  EXPECT_TRUE(fetch("nobody.test").starts_with("HTTP/1.1 502"));
}

// .test names come first at start-up: the network is up before any project server starts.
TEST_F(NetworkServices, BootstrapStartsTheNetworkBeforeTheServers) {
  auto blog = f.addRunnableProject("blog");
  blog.autoStartServerAtLogin = true;
  ASSERT_TRUE(f.handle(cmd::UpdateProject{blog}).is<res::Project>());
  eventNames();
  bootstrap();
  auto names = eventNames();
  auto network = std::find(names.begin(), names.end(), "networkChanged");
  auto server = std::find(names.begin(), names.end(), "serverChanged");
  ASSERT_NE(server, names.end());
  EXPECT_LT(network, server) << ::testing::PrintToString(names);
}

}  // namespace
}  // namespace qs
