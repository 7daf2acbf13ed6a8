// .test names through qs and the real daemon: a project with an HTTPS domain reached through
// both proxy listeners with curl (the local authority's certificate verified), its request log,
// the status and the refusals.
#include "e2e/e2e_support.h"
#include "support/test_locations.h"

#include <fmt/format.h>

namespace qs::testing {
namespace {

class Routing : public E2ETest {
protected:
  Routing() : port(freePort()) { startDaemon(); }

  // curl through the proxy with the name resolved to 127.0.0.1; the body, or nothing while it
  // fails. `strict`: any answer's body, and a failed transfer fails the test with curl's complaint.
  std::optional<std::string> tryCurl(const std::string& scheme, int proxyPort, const std::string& path,
                                     bool strict = false) {
    std::vector<std::string> arguments{"/usr/bin/curl", strict ? "-sS" : "-sSf", "--resolve",
                                        fmt::format("blog.test:{}:127.0.0.1", proxyPort)};
    if (scheme == "https")
      arguments.insert(arguments.end(), {"--cacert", (home.home() / ".local/share/Quayside/ssl/ca.pem").string()});
    arguments.push_back(fmt::format("{}://blog.test:{}{}", scheme, proxyPort, path));
    auto result = runProcess(arguments, {.mergeErrorIntoOutput = strict});
    EXPECT_TRUE(!strict || result.succeeded()) << result.output;
    return result.succeeded() ? std::optional<std::string>(result.output) : std::nullopt;
  }
  std::string curl(const std::string& scheme, int proxyPort, const std::string& path) {
    return tryCurl(scheme, proxyPort, path, true).value_or("");
  }
  // Waits (at most `limit`) until both of blog's URLs answer through the proxy.
  bool bothURLsAnswer(int http, int https, std::chrono::seconds limit) {
    return pollUntil([&] { return tryCurl("http", http, "/hello") == "Hello, world!" && tryCurl("https", https, "/") == "It works!"; },
                     limit);
  }

  int port;
};

TEST_F(Routing, ServesAProjectUnderItsDomainOverHTTPAndHTTPS) {
  if (!isExecutableFile("/usr/bin/curl")) GTEST_SKIP() << "no curl";
  newProject("blog", port);
  qsOK({"start", "blog", "--wait"});
  EXPECT_EQ(qsFails({"domain", "blog", "Blog.test"}),
            "qs: Invalid hostname: Blog.test. Must match [a-z0-9-]+.test\n");

  auto added = qsOK({"domain", "blog", "blog.test", "--https"});
  json net = json::parse(qsOK({"status", "--json"}))["network"];
  int http = net["proxyPort"], https = net["proxyTLSPort"];
  EXPECT_EQ(added.substr(0, added.find('\n') + 1),
            fmt::format("blog.test now serves blog: http://blog.test:{}/ and https://blog.test:{}/\n", http, https));

  EXPECT_EQ(curl("http", http, "/hello"), "Hello, world!");
  EXPECT_EQ(curl("https", https, "/"), "It works!");

  auto requests = qsOK({"requests", "blog"});
  EXPECT_NE(requests.find("GET         200"), std::string::npos) << requests;
  EXPECT_NE(requests.find("13 B  /hello\n"), std::string::npos) << requests;
  auto entry = json::parse(qsOK({"requests", "blog", "--json", "-n", "1"}));  // one object: one line
  EXPECT_EQ(entry["path"], "/");
  EXPECT_EQ(entry["source"], "proxy");

  EXPECT_EQ(qsOK({"domains"}), fmt::format("PROJECT  DOMAIN     HTTPS  URLS\nblog     blog.test  yes    "
                                            "http://blog.test:{}/ https://blog.test:{}/\n",
                                            http, https));
  EXPECT_EQ(qsOK({"open", "blog", "--print"}), fmt::format("http://127.0.0.1:{}/\n", port));
  EXPECT_NE(qsOK({"status"}).find(fmt::format("Proxy: HTTP on 127.0.0.1:{} (running), HTTPS on 127.0.0.1:{} (running)\n",
                                              http, https)),
            std::string::npos);
  EXPECT_EQ(qsOK({"dns", "stop"}), "DNS server stopped.\n");

  EXPECT_EQ(qsOK({"domain", "blog", "--remove"}), "blog has no .test domain now.\n");
  EXPECT_EQ(qsOK({"domains"}), "No project has a .test domain yet. Give one with 'qs domain PROJECT NAME.test --https'.\n");
  EXPECT_NE(curl("http", http, "/hello").find("isn’t served by Quayside"), std::string::npos);
  qsOK({"stop", "blog"});
}

// On fixed proxy ports, after `qs daemon stop` and `start`, and after a crash, every .test URL answers
// again without `qs proxy start`: the proxy's own closed connections must not keep its ports down.
TEST_F(Routing, EveryURLAnswersAgainAfterTheDaemonRestartsOrCrashes) {
  if (!isExecutableFile("/usr/bin/curl")) GTEST_SKIP() << "no curl";
  daemon.reset();
  int http = freeTestPort(PortBand::endToEnd, {port});
  int https = freeTestPort(PortBand::endToEnd, {http, port});
  environment["QS_PROXY_PORT"] = std::to_string(http);
  environment["QS_PROXY_TLS_PORT"] = std::to_string(https);
  environment["QS_TOOLCHAIN_DIRS"] = qs::testing::fakeToolchainsFolder();
  qsOK({"daemon", "start"});
  newProject("blog", port);
  qsOK({"autostart", "blog", "on"});
  qsOK({"start", "blog", "--wait"});
  qsOK({"domain", "blog", "blog.test", "--https"});
  ASSERT_TRUE(bothURLsAnswer(http, https, std::chrono::seconds(30)));

  // Within 10 seconds of the start, the project's server started again on the way.
  qsOK({"daemon", "stop"});
  qsOK({"daemon", "start"});
  EXPECT_TRUE(bothURLsAnswer(http, https, std::chrono::seconds(10)));

  auto holders = QSPortScanner().processesListening(http);
  ASSERT_EQ(holders.size(), 1u);
  ::kill(holders[0].pid, SIGKILL);
  ASSERT_TRUE(waitUntilGone(holders[0].pid));
  qsOK({"daemon", "start"});
  EXPECT_TRUE(bothURLsAnswer(http, https, std::chrono::seconds(10)));
}

}  // namespace
}  // namespace qs::testing
