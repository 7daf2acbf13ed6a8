// The proxy on real sockets, against a small HTTP backend on the same loop.
#include "core/routing/certificate_service.h"
#include "core/routing/proxy_server.h"
#include "core/routing/tls_identity.h"
#include "support/loop_thread.h"
#include "support/process_helpers.h"
#include "support/test_support.h"

#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/ssl.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <poll.h>

namespace qs {
namespace {

using testing::LoopThread;
using tcp = asio::ip::tcp;
constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);

// Bytes that tell their positions apart (a shifted or dropped run changes the checksum).
std::string pattern(std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 31 + i / 4093) & 0xff);
  return out;
}

// FNV-1a.
std::uint64_t checksum(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

// A project server: answers each request with a body naming the path (and the body's length),
// keeping the connection unless told "Connection: close", and records each request line.
// `readAll` answers with the byte count at the end of the stream; `dieMidResponse` sends 10 of
// 100000 bytes and closes. "/bytes/N" (or "/chunked/N") sends N bytes of pattern(), "/sum" the
// body's checksum too; "/echo" switches protocols and echoes.
class Backend {
public:
  enum class Mode { normal, readAll, dieMidResponse };
  explicit Backend(asio::any_io_executor loop)
      : acceptor_(loop, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
    port = acceptor_.local_endpoint().port();
    asio::co_spawn(loop, acceptLoop(), asio::detached);
  }
  void close() { acceptor_.close(); }

  int port = 0;
  Mode mode = Mode::normal;
  std::atomic<int> open{0};
  std::vector<std::string> requestLines;  // touched on the loop only

private:
  asio::awaitable<void> acceptLoop() {
    for (;;) {
      auto [ec, socket] = co_await acceptor_.async_accept(kTuple);
      if (ec) co_return;
      asio::co_spawn(acceptor_.get_executor(), serve(std::move(socket)), asio::detached);
    }
  }

  asio::awaitable<void> serve(tcp::socket socket) {
    ++open;
    std::string received;
    char buffer[65536];
    for (;;) {
      auto [ec, n] = co_await socket.async_read_some(asio::buffer(buffer), kTuple);
      received.append(buffer, n);
      if (mode == Mode::readAll) {
        if (!ec) continue;
        co_await reply(socket, "read " + std::to_string(received.size()), true);
        break;
      }
      bool close = false;
      // Every complete request that has come, in order (a client may send several at once).
      for (auto end = received.find("\r\n\r\n"); !close && end != std::string::npos; end = received.find("\r\n\r\n")) {
        std::string head = received.substr(0, end);
        std::size_t length = 0;
        if (auto at = head.find("Content-Length: "); at != std::string::npos) length = std::stoul(head.substr(at + 16));
        if (received.size() < end + 4 + length) break;  // the body is still coming
        std::uint64_t sum = checksum(std::string_view(received).substr(end + 4, length));
        received.erase(0, end + 4 + length);
        requestLines.push_back(head.substr(0, head.find("\r\n")));
        if (mode == Mode::dieMidResponse) {
          std::string partial = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n0123456789";
          co_await asio::async_write(socket, asio::buffer(partial), kTuple);
          close = true;
          break;
        }
        std::string path = head.substr(head.find(' ') + 1);
        path = path.substr(0, path.find(' '));
        close = head.find("Connection: close") != std::string::npos;
        if (path == "/echo") {
          co_await echo(socket, std::move(received));
          close = true;  // the stream has ended
          break;
        }
        if (path.starts_with("/bytes/") || path.starts_with("/chunked/")) {
          co_await replyWithPattern(socket, path, close);
          continue;
        }
        std::string body = "path " + path;
        if (length) body += " body " + std::to_string(length);
        if (path == "/sum") body += " sum " + std::to_string(sum);
        co_await reply(socket, body, close);
      }
      if (close || ec) break;
    }
    asio::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    --open;
  }

  // Switches protocols, then sends back everything that comes until the end of the stream.
  asio::awaitable<void> echo(tcp::socket& socket, std::string received) {
    std::string head = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: echo\r\nConnection: Upgrade\r\n\r\n";
    co_await asio::async_write(socket, asio::buffer(head + received), kTuple);
    std::vector<char> buffer(65536);
    for (;;) {
      auto [ec, n] = co_await socket.async_read_some(asio::buffer(buffer), kTuple);
      if (n) co_await asio::async_write(socket, asio::buffer(buffer.data(), n), kTuple);
      if (ec) co_return;
    }
  }

  // "/bytes/N": N bytes of pattern(); "/chunked/N": the same as one chunk.
  asio::awaitable<void> replyWithPattern(tcp::socket& socket, const std::string& path, bool close) {
    bool chunked = path.starts_with("/chunked/");
    std::size_t size = std::stoul(path.substr(path.rfind('/') + 1));
    std::string head = "HTTP/1.1 200 OK\r\n" + (chunked ? "Transfer-Encoding: chunked\r\n" : "Content-Length: " + std::to_string(size) + "\r\n") + (close ? "Connection: close\r\n" : "") + "\r\n";
    if (chunked) head += fmt::format("{:x}\r\n", size);
    std::string response = head + pattern(size) + (chunked ? "\r\n0\r\n\r\n" : "");
    co_await asio::async_write(socket, asio::buffer(response), kTuple);
  }

  asio::awaitable<void> reply(tcp::socket& socket, const std::string& body, bool close) {
    std::string response = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                           (close ? "\r\nConnection: close" : "") + "\r\n\r\n" + body;
    co_await asio::async_write(socket, asio::buffer(response), kTuple);
  }

  tcp::acceptor acceptor_;
};

// How many descriptors this process has open (the listing's own among them).
long openDescriptorCount() {
  std::filesystem::directory_iterator descriptors("/proc/self/fd");
  return std::distance(begin(descriptors), end(descriptors));
}

std::string request(const std::string& host, const std::string& path = "/", bool close = true) {
  return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + (close ? "Connection: close\r\n" : "") + "\r\n";
}

// What the peer sent until it closed the connection, and whether it did (rather than falling
// silent for 30 seconds, which only a broken proxy does).
struct Received {
  std::string bytes;
  bool closed = false;
};
Received readUntilClosed(tcp::socket& socket) {
  Received out;
  char buffer[65536];
  for (;;) {
    pollfd entry{socket.native_handle(), POLLIN, 0};
    if (::poll(&entry, 1, 30000) == 0) return out;
    asio::error_code ec;
    std::size_t n = socket.read_some(asio::buffer(buffer), ec);
    out.bytes.append(buffer, n);
    if (ec) {
      out.closed = ec == asio::error::eof;
      return out;
    }
  }
}

// Reads until the peer ends the stream (or the connection breaks).
std::string readToEnd(tcp::socket& socket) { return readUntilClosed(socket).bytes; }

class ProxyServerTest : public ::testing::Test {
protected:
  ProxyServerTest() {
    loop.await([this] { return proxy->start(); });
    proxyPort = loop.call([this] { return proxy->port(); });
    loop.call([this] {
      proxy->registerRoute("Blog.test", backend.port, project);
      proxy->setRequestHandler([this](QSLogEntry entry) { logged.push_back(std::move(entry)); });
    });
  }
  ~ProxyServerTest() override {
    loop.call([this] {
      proxy->stop();
      backend.close();
    });
  }

  tcp::socket connect() {
    tcp::socket socket(clientIO);
    socket.connect(local(proxyPort));
    return socket;
  }
  std::string exchange(const std::string& bytes) {
    auto socket = connect();
    asio::write(socket, asio::buffer(bytes));
    return readToEnd(socket);
  }
  bool allClosed() {
    auto settled = [this] { return proxy->openConnections() == 0 && backend.open == 0; };
    return testing::pollUntil([&] { return loop.call(settled); }, std::chrono::seconds(30));
  }
  // One whole exchange first: the client loop's own descriptors (epoll, eventfd, timerfd) are
  // made now, and the proxy has surely accepted (and closed) that connection when it ends.
  void countDescriptorsAtRest() {
    exchange(request("blog.test"));
    ASSERT_TRUE(allClosed());
    descriptorsAtRest = openDescriptorCount();
  }
  // Serves TLS with a certificate for `names` from the authority in `certificates`; its port.
  int startTLS(const std::vector<std::string>& names) {
    QSBytes bundle = certificates.serverCertificatePKCS12(names);
    loop.await([&] { return proxy->startTLS(bundle, password); });
    return loop.call([this] { return proxy->tlsPort(); });
  }
  static tcp::endpoint local(int port) {
    return {asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)};
  }

  LoopThread loop;
  asio::io_context clientIO;
  Backend backend{loop.executor()};
  QSUUID project = QSUUID::random();
  std::vector<QSLogEntry> logged;  // touched on the loop only
  std::shared_ptr<QSProxyServer> proxy = std::make_shared<QSProxyServer>(loop.executor(), 0, 0);
  int proxyPort = 0;
  long descriptorsAtRest = 0;
  testing::TemporaryFolder folder;
  QSCertificateService certificates{folder / "ssl"};
  const std::string password = QSCertificateService::pkcs12Password;
};

TEST_F(ProxyServerTest, RoutesByHostAndLogsEachExchange) {
  EXPECT_EQ(loop.call([this] { return proxy->registeredRoutes(); }), (std::map<std::string, int>{{"blog.test", backend.port}}));
  // Mixed case with a port; the head sent in two pieces.
  auto socket = connect();
  asio::write(socket, asio::buffer(std::string("GET /one HTTP/1.1\r\n")));
  asio::write(socket, asio::buffer(std::string("Host: BLOG.Test:443\r\n\r\nGET /two HTTP/1.1\r\nHost: blog.test\r\n")));
  asio::write(socket, asio::buffer(std::string("Connection: close\r\n\r\n")));
  std::string responses = readToEnd(socket);
  socket.close();
  EXPECT_NE(responses.find("path /one"), std::string::npos) << responses;
  EXPECT_TRUE(responses.ends_with("path /two")) << responses;
  ASSERT_TRUE(allClosed());
  auto entries = loop.call([this] { return logged; });
  ASSERT_EQ(entries.size(), 2u);  // the second request rode in the first request's chunk: logged too
  EXPECT_EQ(entries[0].path, "/one");
  EXPECT_EQ(entries[1].path, "/two");
  EXPECT_EQ(entries[0].projectID, project);

  // A certificate for blog.test covers *.blog.test; so does its route.
  EXPECT_TRUE(exchange(request("www.Blog.test", "/sub")).ends_with("path /sub"));
  EXPECT_TRUE(exchange(request("xblog.test")).starts_with("HTTP/1.1 502 Bad Gateway\r\n"));
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(loop.call([this] { return logged.size(); }), 3u);
}

// A head the project could frame otherwise than the proxy never reaches it: a later one is
// answered with 400 once the project has answered what came before. (Which heads are refused:
// ProxyRequestHead; a refused first head is answered at once: AnswersItselfWithoutHostOrRoute.)
TEST_F(ProxyServerTest, RefusesRequestsItCannotFrame) {
  // Content-Length and Transfer-Encoding: a request smuggled in the body.
  std::string smuggled = request("blog.test", "/one", false) +
                         "POST /two HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 54\r\n"
                         "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\nGET /hidden HTTP/1.1\r\nHost: blog.test\r\n\r\n";
  std::string responses = exchange(smuggled);
  EXPECT_NE(responses.find("path /one"), std::string::npos) << responses;
  EXPECT_NE(responses.find("HTTP/1.1 400 Bad Request\r\n"), std::string::npos) << responses;
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(loop.call([this] { return backend.requestLines; }), (std::vector<std::string>{"GET /one HTTP/1.1"}));
  EXPECT_EQ(loop.call([this] { return logged.size(); }), 1u);
}

TEST_F(ProxyServerTest, AnswersItselfWithoutHostOrRoute) {
  std::string bad = exchange("GET / HTTP/1.1\r\nAccept: */*\r\n\r\nHost: blog.test\r\n\r\n");
  EXPECT_TRUE(bad.starts_with("HTTP/1.1 400 Bad Request\r\n")) << bad;

  std::string unknown = exchange(request("sh<op>.test"));
  EXPECT_TRUE(unknown.starts_with("HTTP/1.1 502 Bad Gateway\r\n"));
  EXPECT_NE(unknown.find("<title>sh&lt;op&gt;.test — not served by Quayside</title>"), std::string::npos);
  // A head larger than the proxy takes.
  std::string huge = exchange("GET / HTTP/1.1\r\nHost: blog.test\r\nX-Pad: " + std::string(70000, 'a') + "\r\n\r\n");
  EXPECT_TRUE(huge.starts_with("HTTP/1.1 431 Request Header Fields Too Large\r\n")) << huge.substr(0, 100);
  EXPECT_TRUE(loop.call([this] { return logged.empty(); }));
  EXPECT_TRUE(allClosed());
}

// Long bodies (a length, one large chunk, an upload) come through byte for byte, each relayed
// exactly to its end: what follows on the kept connection is still read as the next message.
TEST_F(ProxyServerTest, RelaysLongBodiesExactlyOnAKeptConnection) {
  countDescriptorsAtRest();
  auto socket = connect();
  auto expect = [&](const std::string& expected) {
    std::string received(expected.size(), '\0');
    asio::read(socket, asio::buffer(received));
    EXPECT_EQ(checksum(received), checksum(expected)) << received.substr(0, 200);
  };
  // Two requests in one write: the second response's head comes right after the first body.
  asio::write(socket, asio::buffer(request("blog.test", "/bytes/3000000", false) +
                                   request("blog.test", "/bytes/70000", false)));
  expect("HTTP/1.1 200 OK\r\nContent-Length: 3000000\r\n\r\n" + pattern(3000000));
  expect("HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n\r\n" + pattern(70000));
  std::string upload = pattern(2000000);
  asio::write(socket, asio::buffer("POST /sum HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 2000000\r\n\r\n" +
                                   upload + request("blog.test", "/chunked/1000000")));
  std::string summed = "path /sum body 2000000 sum " + std::to_string(checksum(upload));
  expect("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(summed.size()) + "\r\n\r\n" + summed);
  std::string chunked = readToEnd(socket);
  std::string oneChunk = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\nf4240\r\n" +
                         pattern(1000000) + "\r\n0\r\n\r\n";
  EXPECT_EQ(chunked.size(), oneChunk.size());
  EXPECT_EQ(checksum(chunked), checksum(oneChunk));
  socket.close();
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(openDescriptorCount(), descriptorsAtRest);
  std::vector<std::string> paths;
  for (const auto& entry : loop.call([this] { return logged; })) paths.push_back(entry.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/", "/bytes/3000000", "/bytes/70000", "/sum", "/chunked/1000000"}));
  EXPECT_EQ(loop.call([this] { return backend.requestLines.size(); }), 5u);
}

// After a protocol switch both directions are a tunnel, relayed to their ends, half-close and all.
TEST_F(ProxyServerTest, TunnelsAfterAProtocolSwitch) {
  auto socket = connect();
  asio::write(socket, asio::buffer(std::string("GET /echo HTTP/1.1\r\nHost: blog.test\r\nUpgrade: echo\r\n"
                                               "Connection: Upgrade\r\n\r\n")));
  // As a client of another protocol does: nothing of it before the switch is confirmed.
  std::string head = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: echo\r\nConnection: Upgrade\r\n\r\n";
  std::string switched(head.size(), '\0');
  asio::read(socket, asio::buffer(switched));
  EXPECT_EQ(switched, head);
  std::string data = pattern(1500000);
  // Written while the echo is read: neither side may wait for the other to make room.
  std::thread writer([&] {
    asio::write(socket, asio::buffer(data));
    socket.shutdown(tcp::socket::shutdown_send);
  });
  std::string received = readToEnd(socket);
  writer.join();
  EXPECT_EQ(received.size(), data.size());
  EXPECT_EQ(checksum(received), checksum(data));
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(loop.call([this] { return logged.back().statusCode; }), 101);
}

// Peers that end early, half-way or silently: what was sent still arrives, and nothing stays open.
TEST_F(ProxyServerTest, PeersEndingEarlyLeaveNothingOpen) {
  countDescriptorsAtRest();
  // A client goes away in the middle of a long response (closing, or resetting): the relay ends
  // on both sides, its pipe and all; the test process is not killed by SIGPIPE either.
  for (bool reset : {false, true}) {
    auto socket = connect();
    asio::write(socket, asio::buffer(request("blog.test", "/bytes/30000000", false)));
    std::string some(200000, '\0');
    asio::read(socket, asio::buffer(some));
    if (reset) socket.set_option(asio::socket_base::linger(true, 0));
    socket.close();
    ASSERT_TRUE(allClosed()) << reset;
  }
  // The project dies mid-response: the client gets what was sent, then the end.
  backend.mode = Backend::Mode::dieMidResponse;
  std::string partial = exchange(request("blog.test"));
  EXPECT_TRUE(partial.ends_with("\r\n\r\n0123456789")) << partial;
  // The client ends its side after an upload: the project reads to the end and still answers.
  backend.mode = Backend::Mode::readAll;
  {
    auto socket = connect();
    std::string body(200000, 'x');
    std::string head = "POST /upload HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 200000\r\n\r\n";
    asio::write(socket, asio::buffer(head + body));
    socket.shutdown(tcp::socket::shutdown_send);
    std::string response = readToEnd(socket);
    EXPECT_TRUE(response.ends_with("read " + std::to_string(head.size() + body.size()))) << response;
  }
  // A client that never sends a byte, and one that sends part of a head and stops, are closed
  // once the limit for the first head is up, not routed and held for ever.
  loop.call([this] { proxy->firstChunkLimit = std::chrono::milliseconds(50); });
  auto idle = connect();
  EXPECT_EQ(readToEnd(idle), "");
  idle.close();
  auto partialHead = connect();
  asio::write(partialHead, asio::buffer(std::string("GET / HTTP/1.1\r\nHost: blog.test\r\n")));
  auto received = readUntilClosed(partialHead);
  EXPECT_TRUE(received.closed);
  EXPECT_EQ(received.bytes, "");
  partialHead.close();
  // A routed connection on which nobody says anything is closed after the idle limit, so idle
  // clients cannot hold the proxy's descriptors for ever.
  backend.mode = Backend::Mode::normal;
  loop.call([this] { proxy->idleLimit = std::chrono::milliseconds(50); });
  auto kept = connect();
  asio::write(kept, asio::buffer(request("blog.test", "/kept", false)));
  received = readUntilClosed(kept);
  EXPECT_TRUE(received.closed);
  EXPECT_TRUE(received.bytes.ends_with("path /kept")) << received.bytes;
  kept.close();
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(openDescriptorCount(), descriptorsAtRest);
  // The exchange at rest, the two left, the one that died and the kept one: the partial head
  // never reached the project.
  EXPECT_EQ(loop.call([this] { return backend.requestLines; }),
            (std::vector<std::string>{"GET / HTTP/1.1", "GET /bytes/30000000 HTTP/1.1", "GET /bytes/30000000 HTTP/1.1",
                                      "GET / HTTP/1.1", "GET /kept HTTP/1.1"}));
}

// A project whose backlog is full accepts nothing: after the connect limit the client gets the
// project-not-running page instead of waiting for ever.
TEST_F(ProxyServerTest, AProjectThatAcceptsNothingGetsThePageAfterTheConnectLimit) {
  tcp::acceptor full(clientIO, tcp::v4());
  full.bind(local(0));
  full.listen(0);
  tcp::socket filler(clientIO);
  filler.connect(full.local_endpoint());  // the one place in the queue, never accepted
  int port = full.local_endpoint().port();
  loop.call([&] {
    proxy->registerRoute("stuck.test", port, project);
    proxy->connectLimit = std::chrono::milliseconds(50);
  });
  auto socket = connect();
  asio::write(socket, asio::buffer(request("stuck.test")));
  auto received = readUntilClosed(socket);
  EXPECT_TRUE(received.bytes.starts_with("HTTP/1.1 502 Bad Gateway\r\n")) << received.bytes;
  EXPECT_NE(received.bytes.find("nothing answered on localhost:" + std::to_string(port)), std::string::npos);
}

// Connections beyond the cap are closed at once; the ones served are not disturbed.
TEST_F(ProxyServerTest, ConnectionsBeyondTheCapAreClosedAtOnce) {
  EXPECT_EQ(QSProxyServer::connectionCapFor(256), 96u);  // under 256 / 2, a reserve kept
  EXPECT_EQ(QSProxyServer::connectionCapFor(10), 1u);
  loop.call([this] { proxy->maxConnections = 2; });
  auto first = connect(), second = connect();
  ASSERT_TRUE(testing::pollUntil([&] { return loop.call([this] { return proxy->openConnections(); }) == 2; },
                                 std::chrono::seconds(30)));
  auto third = connect();
  auto refused = readUntilClosed(third);
  EXPECT_TRUE(refused.closed);
  EXPECT_EQ(refused.bytes, "");
  first.close();
  ASSERT_TRUE(testing::pollUntil([&] { return loop.call([this] { return proxy->openConnections(); }) == 1; },
                                 std::chrono::seconds(30)));
  auto fourth = connect();
  asio::write(fourth, asio::buffer(request("blog.test", "/served")));
  EXPECT_TRUE(readToEnd(fourth).ends_with("path /served"));
  asio::write(second, asio::buffer(request("blog.test", "/waited")));
  EXPECT_TRUE(readToEnd(second).ends_with("path /waited"));
}

TEST_F(ProxyServerTest, TerminatesTLSWithTheAuthoritysCertificate) {
  int tlsPort = startTLS({"blog.test"});
  auto fetch = [&](const std::string& path) {
    asio::ssl::context context(asio::ssl::context::tls_client);
    context.load_verify_file((folder / "ssl/ca.pem").string());
    asio::ssl::stream<tcp::socket> stream(clientIO, context);
    stream.set_verify_mode(asio::ssl::verify_peer);
    stream.set_verify_callback(asio::ssl::host_name_verification("blog.test"));
    SSL_set_tlsext_host_name(stream.native_handle(), "blog.test");
    stream.lowest_layer().connect(local(tlsPort));
    stream.handshake(asio::ssl::stream_base::client);
    // The project answers and closes its side first ("Connection: close"): the client is told
    // with close_notify, not a bare TCP close (which reads as stream_truncated).
    asio::write(stream, asio::buffer(request("blog.test", path)));
    std::string response;
    char buffer[4096];
    asio::error_code ended;
    while (!ended) response.append(buffer, stream.read_some(asio::buffer(buffer), ended));
    EXPECT_EQ(ended, asio::error::eof) << ended.message();
    EXPECT_TRUE(SSL_get_shutdown(stream.native_handle()) & SSL_RECEIVED_SHUTDOWN);
    return response;
  };
  EXPECT_TRUE(fetch("/secure").ends_with("path /secure"));
  // A new identity while running: the listener stays where it is.
  EXPECT_EQ(startTLS({"shop.test", "blog.test"}), tlsPort);
  EXPECT_TRUE(fetch("/again").ends_with("path /again"));
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(loop.call([this] { return logged.size(); }), 2u);
  loop.call([this] { proxy->stopTLS(); });
  EXPECT_FALSE(loop.call([this] { return proxy->isTLSRunning(); }));
  EXPECT_TRUE(loop.call([this] { return proxy->isRunning(); }));
}

}  // namespace
}  // namespace qs
