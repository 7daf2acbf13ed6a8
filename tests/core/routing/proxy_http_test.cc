// The proxy's pure pieces: request heads, its own pages, and the exchange log with its framing.
#include "core/routing/proxy_exchange_log.h"
#include "core/routing/proxy_pages.h"
#include "core/routing/proxy_request_head.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace qs {
namespace {

namespace head = QSProxyRequestHead;

TEST(ProxyRequestHead, RefusesHeadsThatCannotBeFramedUnambiguously) {
  const std::string host = "Host: blog.test\r\n";
  struct Case {
    std::string head;
    const char* why;
  } cases[] = {
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n", "CL and TE"},
      {"GET / HTTP/1.1\r\nHost: blog.test\nHost: shop.test\r\n\r\n", "bare LF hiding a Host"},
      {"GET / HTTP/1.1\r\n" + host + "X-A: 1\r\n folded\r\n\r\n", "obs-fold"},
      {"GET / HTTP/1.1\r\n" + host + "Host: shop.test\r\n\r\n", "two Hosts"},
      {"GET / HTTP/1.1\r\nAccept: */*\r\n\r\n", "no Host"},
      {"GET / HTTP/1.1\r\nHost: :80\r\n\r\n", "an empty Host"},
      {"GET / HTTP/1.1\r\nHost : blog.test\r\n\r\n", "space before the colon"},
      {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: gzip\r\n\r\n", "TE not ending in chunked"},
      {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked, chunked\r\n\r\n", "chunked twice"},
      {"POST / HTTP/1.0\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n", "TE in HTTP/1.0"},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: 5\r\nContent-Length: 6\r\n\r\n", "two lengths"},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: -1\r\n\r\n", "a negative length"},
      {"GET / HTTP/1.1\r\n" + host + "X-A: a\x01z\r\n\r\n", "a control character"},
      {"GET /  HTTP/1.1\r\n" + host + "\r\n", "two spaces in the request line"},
      {"GET / HTTP/1.1\r\n" + host + "X-A: a\rb\r\n\r\n", "a bare CR"},
  };
  for (const auto& c : cases) {
    auto length = head::headLength(c.head);
    ASSERT_TRUE(length) << c.why;
    EXPECT_TRUE(std::holds_alternative<QSHTTPFault>(head::parseRequest(c.head.substr(0, *length)))) << c.why;
  }
}

TEST(ProxyRequestHead, ReadsSoundHeadsAndTheirBodies) {
  struct Case {
    std::string head;
    QSHTTPBodyFraming::Kind kind;
    std::uint64_t length;
  } cases[] = {
      {"GET /a?b HTTP/1.1\r\nhOsT:\t Blog.Test:443 \r\n\r\n", QSHTTPBodyFraming::none, 0},
      {"POST / HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 5, 5\r\n\r\n", QSHTTPBodyFraming::counted, 5},
      {"POST / HTTP/1.1\r\nHost: blog.test\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n", QSHTTPBodyFraming::chunked, 0},
      {"GET / HTTP/1.0\r\nHost: blog.test\r\n\r\n", QSHTTPBodyFraming::none, 0},
  };
  for (const auto& c : cases) {
    auto parsed = head::parseRequest(c.head);
    ASSERT_TRUE(std::holds_alternative<QSHTTPHead>(parsed)) << c.head;
    auto framing = head::requestBody(std::get<QSHTTPHead>(parsed));
    EXPECT_EQ(framing.kind, c.kind) << c.head;
    EXPECT_EQ(framing.length, c.length) << c.head;
  }
  auto parsed = std::get<QSHTTPHead>(head::parseRequest(cases[0].head));
  EXPECT_EQ(head::hostName(*parsed.field("host")), "Blog.Test");
  // Where a head ends: at its blank line, found by LF so that bare LFs are seen (and refused).
  EXPECT_EQ(head::headLength("GET / HTTP/1.1\r\nHost: a\r\n\r\nbody"), 27u);
  EXPECT_EQ(head::headLength("GET / HTTP/1.1\nHost: a\n\nbody"), 24u);
  EXPECT_FALSE(head::headLength("GET / HTTP/1.1\r\nHost: a\r\n"));
}

// The page's head and the start of its body, split at the blank line.
std::pair<std::string, std::string> split(const std::string& response) {
  auto end = response.find("\r\n\r\n");
  return {response.substr(0, end + 4), response.substr(end + 4)};
}

TEST(ProxyPages, ErrorPagesAndProjectPagesNamingTheHostEscapedAndThePort) {
  auto [errorHead, errorBody] = split(QSProxyPages::error(400, "Bad Request"));
  EXPECT_EQ(errorHead, "HTTP/1.1 400 Bad Request\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                           std::to_string(errorBody.size()) + "\r\nConnection: close\r\n\r\n");

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

// A conversation fed to the log in pieces of `piece` bytes, client and project taking turns as
// listed; what each side let through is kept.
struct Turn {
  bool fromClient;
  std::string bytes;
};

TEST_F(ExchangeLog, FollowsTheFramingHoweverTheBytesAreSplit) {
  const std::string host = "Host: blog.test\r\n";
  // A body that looks like a request head must not be logged as one (nor a chunked one).
  const std::string forged = "DELETE /forged HTTP/1.1\r\n" + host + "\r\n";
  const std::string chunked = fmt::format("{:x}\r\n{}\r\n0\r\nX-Trailer: 1\r\n\r\n", forged.size(), forged);
  const std::vector<Turn> turns = {
      {true, "GET /one HTTP/1.1\r\n" + host + "\r\nPOST /two HTTP/1.1\r\n" + host +
                 fmt::format("Content-Length: {}\r\n\r\n{}", forged.size(), forged)},
      {false, "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\nHTTP/1.1 500"},  // a body like a head
      {false, "HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"},
      {true, "\r\nPUT /three HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n" + chunked},
      // An upload that waits for 100 Continue: the interim responses answer nothing.
      {true, "POST /four HTTP/1.1\r\n" + host + "Expect: 100-continue\r\nContent-Length: 3\r\n\r\n"},
      {false, "HTTP/1.1 204 No Content\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s>\r\n\r\n"},
      {true, "xyz"},
      {false, "HTTP/1.1 413 Too Large\r\ncontent-LENGTH:  0\r\n\r\n"},  // names in any case
      // HEAD: the length is declared, no body follows.
      {true, "HEAD /five HTTP/1.1\r\n" + host + "\r\n"},
      {false, "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n"},
      // An upgrade: from then on both sides pass unexamined.
      {true, "GET /ws HTTP/1.1\r\n" + host + "Upgrade: websocket\r\nConnection: Upgrade\r\n\r\n"},
      {false, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n\x81\x05hello"},
      {true, "GET /not-a-request HTTP/1.1\r\n\n\n"},
      {false, "HTTP/1.1 200 not a response\r\n\r\n"},
  };
  for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(100000)}) {
    entries.clear();
    QSProxyExchangeLog exchange{"blog.test", project, [this](QSLogEntry e) { entries.push_back(std::move(e)); }};
    std::string sent[2], passed[2];
    for (const auto& turn : turns) {
      for (std::size_t at = 0; at < turn.bytes.size(); at += piece) {
        auto bytes = std::string_view(turn.bytes).substr(at, piece);
        passed[turn.fromClient] += turn.fromClient ? exchange.fromClient(bytes) : exchange.fromProject(bytes);
      }
      sent[turn.fromClient] += turn.bytes;
    }
    EXPECT_EQ(summaries(), (std::vector<std::string>{"GET /one 200 12", "POST /two 201 -", "PUT /three 204 -",
                                                     "POST /four 413 0", "HEAD /five 200 99", "GET /ws 101 -"}))
        << piece;
    // Everything passed, once, in order (only the line end between two requests is dropped).
    EXPECT_EQ(passed[false], sent[false]) << piece;
    std::string clientBytes = sent[true];
    clientBytes.erase(clientBytes.find("\r\nPUT"), 2);
    EXPECT_EQ(passed[true], clientBytes) << piece;
    EXPECT_FALSE(exchange.refusal());
  }
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].projectID, project);
  EXPECT_EQ(entries[0].source, QSLogSource::proxy);
  EXPECT_EQ(entries[0].requestHeaders, (std::map<std::string, std::string>{{"Host", "blog.test"}}));
}

TEST_F(ExchangeLog, RefusesARequestItCannotFrameAndPassesNothingAfterIt) {
  const std::string first = "GET /one HTTP/1.1\r\nHost: blog.test\r\n\r\n";
  const std::string chunkedHead = "POST /x HTTP/1.1\r\nHost: blog.test\r\nTransfer-Encoding: chunked\r\n\r\n";
  struct Case {
    std::string next;
    int status;
    std::string passes = "";  // of `next`
  } cases[] = {
      // (Which heads are refused: ProxyRequestHead; here, that one ends the exchange.)
      {"POST /x HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
      {"GET /x HTTP/1.1\nHost: blog.test\n\n", 400},  // its end found by LF alone
      {chunkedHead + "zz\r\n", 400, chunkedHead},  // a bad chunk size, once the head has gone
      {"GET /x HTTP/1.1\r\nHost: SHOP.test\r\n\r\n", 421},
      {"GET /x HTTP/1.1\r\nX-Pad: " + std::string(QSProxyRequestHead::headLimit, 'a'), 431},
  };
  for (const auto& c : cases) {
    QSProxyExchangeLog exchange{"blog.test", project, {}};
    EXPECT_EQ(exchange.fromClient(first + c.next + first), first + c.passes) << c.next;
    ASSERT_TRUE(exchange.refusal()) << c.next;
    EXPECT_EQ(exchange.refusal()->status, c.status) << c.next;
    EXPECT_EQ(exchange.fromClient(first), "");
  }
}

TEST_F(ExchangeLog, LogsOnlyKnownMethodsButFramesEveryExchange) {
  log.fromProject("HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\n\r\n");  // nothing pending
  log.fromClient("BREW /pot HTTP/1.1\r\nHost: blog.test\r\n\r\nGET");
  EXPECT_EQ(log.pendingCount(), 1u);
  log.fromProject("HTTP/1.1 418 I'm a teapot\r\nContent-Length: 2\r\n\r\nno");
  log.fromClient(" /x HTTP/1.1\r\nHost: blog.test\r\n\r\n");
  log.fromProject("HTTP/1.1 200 OK\r\n" + std::string(2100, 'x') + "\r\nContent-Length: lots\r\n\r\n");
  EXPECT_EQ(summaries(), (std::vector<std::string>{"GET /x 200 -"}));
}

TEST_F(ExchangeLog, PendingRequestsAreBounded) {
  for (std::size_t i = 0; i < QSProxyExchangeLog::maxPending + 10; ++i)
    log.fromClient("GET /" + std::to_string(i) + " HTTP/1.1\r\nHost: blog.test\r\n\r\n");
  EXPECT_EQ(log.pendingCount(), QSProxyExchangeLog::maxPending);
  log.fromProject("HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(summaries(), (std::vector<std::string>{"GET /10 200 -"}));
}

}  // namespace
}  // namespace qs
