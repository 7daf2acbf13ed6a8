// The proxy on real sockets: routing, its own pages, TLS, the request log, half-close, failing
// peers and many connections, against a small HTTP backend on the same loop.
#include "core/platform/resource_limits.h"
#include "core/routing/certificate_service.h"
#include "core/routing/proxy_server.h"
#include "core/routing/tls_identity.h"
#include "support/loop_thread.h"
#include "support/process_helpers.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/ssl.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <atomic>

namespace qs {
namespace {

using testing::LoopThread;
using tcp = asio::ip::tcp;
constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);

// A project server: answers each request head with "HTTP/1.1 200 OK" and a body naming the
// path, keeping the connection unless the request says "Connection: close". Other behaviours:
// `readAll` reads to the end of the stream first and answers with the byte count (half-close);
// `dieMidResponse` promises 100000 bytes, sends 10 and closes.
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
        received.erase(0, end + 4);
        if (mode == Mode::dieMidResponse) {
          std::string partial = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n0123456789";
          co_await asio::async_write(socket, asio::buffer(partial), kTuple);
          close = true;
          break;
        }
        std::string path = head.substr(head.find(' ') + 1);
        path = path.substr(0, path.find(' '));
        close = head.find("Connection: close") != std::string::npos;
        co_await reply(socket, "path " + path, close);
      }
      if (close || ec) break;
    }
    asio::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    --open;
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

// Reads until the peer ends the stream (or the connection breaks).
template <class Stream>
std::string readToEnd(Stream& stream) {
  std::string out;
  char buffer[65536];
  for (;;) {
    asio::error_code ec;
    std::size_t n = stream.read_some(asio::buffer(buffer), ec);
    out.append(buffer, n);
    if (ec) return out;
  }
}

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
  ASSERT_EQ(entries.size(), 1u);  // the second request rode in the first request's chunk
  EXPECT_EQ(entries[0].path, "/one");
  EXPECT_EQ(entries[0].projectID, project);
}

TEST_F(ProxyServerTest, AnswersItselfWithoutHostRouteOrProject) {
  std::string bad = exchange("GET / HTTP/1.1\r\nAccept: */*\r\n\r\nHost: blog.test\r\n\r\n");
  EXPECT_TRUE(bad.starts_with("HTTP/1.1 400 Bad Request\r\n")) << bad;

  std::string unknown = exchange(request("sh<op>.test"));
  EXPECT_TRUE(unknown.starts_with("HTTP/1.1 502 Bad Gateway\r\n"));
  EXPECT_NE(unknown.find("<title>sh&lt;op&gt;.test — not served by Quayside</title>"), std::string::npos);

  int refusing = backend.port;
  loop.call([&] { backend.close(); });
  std::string down = exchange(request("blog.test"));
  EXPECT_TRUE(down.starts_with("HTTP/1.1 502 Bad Gateway\r\n"));
  EXPECT_NE(down.find("nothing answered on localhost:" + std::to_string(refusing) + ".</p>"), std::string::npos);
  // 8 KiB without a Host line: the head is read no further.
  std::string huge = exchange("GET / HTTP/1.1\r\nX-Pad: " + std::string(9000, 'a') + "\r\n\r\n");
  EXPECT_TRUE(huge.starts_with("HTTP/1.1 400 Bad Request\r\n"));
  EXPECT_TRUE(loop.call([this] { return logged.empty(); }));
  EXPECT_TRUE(allClosed());
}

TEST_F(ProxyServerTest, PassesHalfCloseThrough) {
  backend.mode = Backend::Mode::readAll;
  auto socket = connect();
  std::string head = "POST /upload HTTP/1.1\r\nHost: blog.test\r\n\r\n";
  std::string body(200000, 'x');
  asio::write(socket, asio::buffer(head + body));
  socket.shutdown(tcp::socket::shutdown_send);
  std::string response = readToEnd(socket);
  EXPECT_TRUE(response.ends_with("read " + std::to_string(head.size() + body.size()))) << response;
  EXPECT_TRUE(allClosed());
}

TEST_F(ProxyServerTest, FailingPeersLeaveNothingOpen) {
  countDescriptorsAtRest();
  // The project dies mid-response: the client gets what was sent, then the end.
  backend.mode = Backend::Mode::dieMidResponse;
  std::string partial = exchange(request("blog.test"));
  EXPECT_TRUE(partial.ends_with("\r\n\r\n0123456789")) << partial;
  // The client vanishes mid-upload (a reset, unread data and all).
  backend.mode = Backend::Mode::readAll;
  {
    auto socket = connect();
    asio::write(socket, asio::buffer("POST / HTTP/1.1\r\nHost: blog.test\r\nContent-Length: 1000000\r\n\r\n" +
                                     std::string(100000, 'y')));
    socket.set_option(asio::socket_base::linger(true, 0));
  }
  // A client that never sends a byte is closed once its time is up.
  loop.call([this] { proxy->firstChunkLimit = std::chrono::milliseconds(50); });
  auto idle = connect();
  EXPECT_EQ(readToEnd(idle), "");
  idle.close();
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(openDescriptorCount(), descriptorsAtRest);
}

TEST_F(ProxyServerTest, AThousandConcurrentConnectionsLeakNothing) {
  raiseOpenFileLimit();
  countDescriptorsAtRest();
  std::vector<tcp::socket> clients;
  for (int i = 0; i < 1000; ++i) {
    clients.push_back(connect());
    asio::write(clients.back(), asio::buffer(request("blog.test", "/" + std::to_string(i))));
  }
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(readToEnd(clients[i]).ends_with("path /" + std::to_string(i))) << i;
  clients.clear();
  ASSERT_TRUE(allClosed());
  EXPECT_EQ(openDescriptorCount(), descriptorsAtRest);
  EXPECT_EQ(loop.call([this] { return logged.size(); }), 1001u);
}

TEST_F(ProxyServerTest, TerminatesTLSWithTheAuthoritysCertificate) {
  QSBytes garbage{1, 2, 3};
  EXPECT_TRUE(testing::thrownMessage<QSProxyException>([&] {
                loop.await([&] { return proxy->startTLS(garbage, password); });
              }).starts_with("Failed to load the TLS certificate for HTTPS (status "));
  EXPECT_FALSE(loop.call([this] { return proxy->isTLSRunning(); }));
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
    asio::write(stream, asio::buffer(request("blog.test", path)));
    return readToEnd(stream);
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

TEST_F(ProxyServerTest, TLSClientIsToldTheEndWhenTheProjectCloses) {
  int tlsPort = startTLS({"blog.test"});
  asio::ssl::context context(asio::ssl::context::tls_client);
  asio::ssl::stream<tcp::socket> stream(clientIO, context);
  stream.lowest_layer().connect(local(tlsPort));
  stream.handshake(asio::ssl::stream_base::client);
  // The project answers and closes its side first ("Connection: close").
  asio::write(stream, asio::buffer(request("blog.test", "/bye")));
  std::string response;
  char buffer[4096];
  asio::error_code ended;
  while (!ended) response.append(buffer, stream.read_some(asio::buffer(buffer), ended));
  EXPECT_TRUE(response.ends_with("path /bye")) << response;
  // close_notify, not a bare TCP close (which reads as stream_truncated).
  EXPECT_EQ(ended, asio::error::eof) << ended.message();
  EXPECT_TRUE(SSL_get_shutdown(stream.native_handle()) & SSL_RECEIVED_SHUTDOWN);
  EXPECT_TRUE(allClosed());
}

}  // namespace
}  // namespace qs
