// The proxy's pure pieces: host extraction, its own pages, and the exchange log.
#include "core/routing/proxy_exchange_log.h"
#include "core/routing/proxy_pages.h"
#include "core/routing/proxy_request_head.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace qs {
namespace {

using QSProxyRequestHead::extractHost;
using QSProxyRequestHead::hasEnoughToRoute;

TEST(ProxyRequestHead, ExtractsTheHostName) {
  struct Case {
    std::string chunk;
    std::optional<std::string> host;
  };
  const std::vector<Case> cases = {
      {"GET / HTTP/1.1\r\nHost: App.Test:443\r\n\r\n", "App.Test"},
      {"GET / HTTP/1.1\r\nAccept: */*\r\nhOsT:\t blog.test \r\n\r\n", "blog.test"},
      {"GET / HTTP/1.1\r\nHost: blog.test", "blog.test"},               // the chunk ends mid-head
      {"GET / HTTP/1.1\r\nAccept: */*\r\n\r\nHost: blog.test\r\n", {}},  // after the head: a body
      {"GET / HTTP/1.1 Host: blog.test", {}},                            // one line
      {"GET / HTTP/1.1\r\nX-Host: blog.test\r\n\r\n", {}},
      {"GET / HTTP/1.1\r\nHost: [::1]:8080\r\n\r\n", "[::1]"},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(extractHost(c.chunk), c.host) << c.chunk;
}

TEST(ProxyRequestHead, WaitsForTheHeadTheHostLineOrEightKilobytes) {
  EXPECT_FALSE(hasEnoughToRoute(""));
  EXPECT_FALSE(hasEnoughToRoute("GET / HTTP/1.1\r\n"));
  EXPECT_FALSE(hasEnoughToRoute("GET / HTTP/1.1\r\nHost: blog.te"));
  EXPECT_TRUE(hasEnoughToRoute("GET / HTTP/1.1\r\nHost: blog.test\r\n"));
  EXPECT_TRUE(hasEnoughToRoute("GET / HTTP/1.1\r\nAccept: */*\r\n\r\n"));
  EXPECT_TRUE(hasEnoughToRoute(std::string(8192, 'x')));
  EXPECT_FALSE(hasEnoughToRoute(std::string(8191, 'x')));
}

// The page's head and the start of its body, split at the blank line.
std::pair<std::string, std::string> split(const std::string& response) {
  auto end = response.find("\r\n\r\n");
  return {response.substr(0, end + 4), response.substr(end + 4)};
}

TEST(ProxyPages, BadRequestPage) {
  auto [head, body] = split(QSProxyPages::error(400, "Bad Request"));
  EXPECT_EQ(head, "HTTP/1.1 400 Bad Request\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
  EXPECT_NE(body.find("<title>400 Bad Request</title>"), std::string::npos);
  EXPECT_TRUE(body.ends_with("<h1>Bad Request</h1>\n\n\n<footer>Quayside proxy</footer>\n</main></body></html>"));
}

TEST(ProxyPages, ProjectPagesNameTheHostEscapedAndThePort) {
  auto [head, body] = split(QSProxyPages::projectNotRunning("a<b>&\"'.test", 8123));
  EXPECT_TRUE(head.starts_with("HTTP/1.1 502 Bad Gateway\r\n"));
  EXPECT_NE(body.find("<title>a&lt;b&gt;&amp;&quot;&#39;.test — project not running</title>"), std::string::npos);
  EXPECT_NE(body.find("<h1><strong>a&lt;b&gt;&amp;&quot;&#39;.test</strong> isn’t running</h1>\n"
                      "<p>The domain is registered with Quayside, but nothing answered on localhost:8123.</p>\n"
                      "<ul><li>Start the project’s server in Quayside, then reload this page.</li>"
                      "<li>If the server is running, check that it listens on port 8123 — the port configured for "
                      "this domain.</li></ul>\n<footer>"),
            std::string::npos)
      << body;
  // The length counts bytes, not characters.
  EXPECT_NE(head.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);

  auto [unknownHead, unknown] = split(QSProxyPages::unknownHost("shop.test"));
  EXPECT_TRUE(unknownHead.starts_with("HTTP/1.1 502 Bad Gateway\r\n"));
  EXPECT_NE(unknown.find("<title>shop.test — not served by Quayside</title>"), std::string::npos);
  EXPECT_NE(unknown.find("<h1><strong>shop.test</strong> isn’t served by Quayside</h1>\n<p>This request reached "
                         "Quayside’s proxy because .test routing is enabled, but no project is registered for this "
                         "domain.</p>"),
            std::string::npos);
  EXPECT_NE(unknown.find("<li>The domain was removed or renamed in Quayside — check the project’s Domains tab.</li></ul>"),
            std::string::npos);
  EXPECT_EQ(QSProxyPages::escapeHTML("&lt;"), "&amp;lt;");  // ampersands first, never twice
}

class ExchangeLog : public ::testing::Test {
protected:
  // The entries logged so far as "METHOD path status size" ("-" for no size).
  std::vector<std::string> summaries() const {
    std::vector<std::string> out;
    for (const auto& e : entries)
      out.push_back(fmt::format("{} {} {} {}", rawValue(e.method), e.path, e.statusCode,
                                e.responseSize ? std::to_string(*e.responseSize) : "-"));
    return out;
  }

  QSUUID project = QSUUID::random();
  std::vector<QSLogEntry> entries;
  QSProxyExchangeLog log{"blog.test", project, [this](QSLogEntry e) { entries.push_back(std::move(e)); }};
};

TEST_F(ExchangeLog, MatchesKeepAliveRequestsAndResponsesInOrder) {
  log.observeRequest("GET /one HTTP/1.1\r\nHost: blog.test\r\n\r\n");
  log.observeRequest("POST /two HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 5\r\n\r\n");
  log.observeRequest("hello");  // the body: not a request
  log.observeResponse("HTTP/1.1 200 OK\r\nContent-Length: 13\r\n\r\nHello, world!");
  log.observeResponse("more body bytes");
  log.observeResponse("HTTP/1.1 404 Not Found\r\ncontent-LENGTH:  0\r\n\r\n");
  EXPECT_EQ(summaries(), (std::vector<std::string>{"GET /one 200 13", "POST /two 404 0"}));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].projectID, project);
  EXPECT_EQ(entries[0].source, QSLogSource::proxy);
  EXPECT_EQ(entries[0].requestHeaders, (std::map<std::string, std::string>{{"Host", "blog.test"}}));
}

TEST_F(ExchangeLog, IgnoresWhatIsNotAHead) {
  log.observeResponse("HTTP/1.1 200 OK\r\n\r\n");  // nothing pending
  log.observeRequest("BREW /pot HTTP/1.1\r\n\r\n");
  log.observeRequest("GET");
  EXPECT_EQ(log.pendingCount(), 0u);
  log.observeRequest("DELETE /x HTTP/1.1\r\n\r\n");
  log.observeResponse("HTTP/1.1 204 No Content\r\nContent-Length: lots\r\n\r\n");
  // Only the first 2 KiB of a chunk are looked at.
  log.observeRequest("GET /late HTTP/1.1\r\n\r\n");
  log.observeResponse("HTTP/1.1 200 OK\r\n" + std::string(2100, 'x') + "\r\nContent-Length: 9\r\n\r\n");
  EXPECT_EQ(summaries(), (std::vector<std::string>{"DELETE /x 204 -", "GET /late 200 -"}));
}

TEST_F(ExchangeLog, PendingRequestsAreBounded) {
  for (std::size_t i = 0; i < QSProxyExchangeLog::maxPending + 10; ++i)
    log.observeRequest("GET /" + std::to_string(i) + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(log.pendingCount(), QSProxyExchangeLog::maxPending);
  log.observeResponse("HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(summaries(), (std::vector<std::string>{"GET /10 200 -"}));
}

}  // namespace
}  // namespace qs
