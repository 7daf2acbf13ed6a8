#include "core/routing/proxy_server.h"

#include "core/platform/resource_limits.h"
#include "core/platform/text.h"
#include "core/routing/domain_names.h"
#include "core/routing/proxy_connection.h"
#include "core/routing/tls_identity.h"

#include <asio/experimental/as_tuple.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ssl/context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>

namespace qs {

struct QSProxyServer::Listener {
  explicit Listener(asio::any_io_executor executor) : acceptor(executor) {}
  asio::ip::tcp::acceptor acceptor;
  int port = 0;
};

QSProxyServer::QSProxyServer(asio::any_io_executor executor, int port, int tlsPort)
    : executor_(std::move(executor)), port_(port), tlsPort_(tlsPort) {}

QSProxyServer::~QSProxyServer() { stop(); }

void QSProxyServer::registerRoute(std::string_view hostname, int port, QSUUID projectID) {
  routes_[asciiLowercased(hostname)] = Route{port, projectID};
}

void QSProxyServer::unregisterRoute(std::string_view hostname) { routes_.erase(asciiLowercased(hostname)); }

std::map<std::string, int> QSProxyServer::registeredRoutes() const {
  std::map<std::string, int> out;
  for (const auto& [host, route] : routes_) out[host] = route.port;
  return out;
}

// A certificate covers a domain and its subdomains; so does its route.
std::optional<QSProxyServer::Route> QSProxyServer::route(std::string_view hostname) const {
  std::string name = asciiLowercased(hostname);
  for (;;) {
    auto found = routes_.find(name);
    if (found != routes_.end()) return found->second;
    auto dot = name.find('.');
    if (dot == std::string::npos) return std::nullopt;
    name.erase(0, dot + 1);
  }
}

std::size_t QSProxyServer::connectionCapFor(std::uint64_t descriptorLimit) {
  std::uint64_t reserve = std::max<std::uint64_t>(64, descriptorLimit / 4);
  if (descriptorLimit <= reserve + 2) return 1;
  return static_cast<std::size_t>((descriptorLimit - reserve) / 2);
}

bool QSProxyServer::hasDescriptorsForPipe() const {
  std::uint64_t limit = openFileLimit();
  std::uint64_t reserve = std::max<std::uint64_t>(64, limit / 4);
  return limit > reserve && 2 * *connectionCount_ + *pipeDescriptors_ + 2 <= limit - reserve;
}

bool QSProxyServer::atCapacity() const {
  std::size_t cap = maxConnections ? *maxConnections : connectionCapFor(openFileLimit());
  return *connectionCount_ >= cap;
}

std::optional<int> QSProxyServer::portFor(std::string_view hostname) const {
  auto found = route(hostname);
  return found ? std::optional<int>(found->port) : std::nullopt;
}

int QSProxyServer::port() const { return listener_ ? listener_->port : port_; }
int QSProxyServer::tlsPort() const { return tlsListener_ ? tlsListener_->port : tlsPort_; }

asio::awaitable<std::shared_ptr<QSProxyServer::Listener>> QSProxyServer::listen(int port) {
  auto listener = std::make_shared<Listener>(executor_);
  asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  auto& acceptor = listener->acceptor;
  acceptor.open(endpoint.protocol());
  acceptor.set_option(asio::socket_base::reuse_address(true));
  acceptor.bind(endpoint);
  acceptor.listen(asio::socket_base::max_listen_connections);
  listener->port = acceptor.local_endpoint().port();
  co_return listener;
}

asio::awaitable<void> QSProxyServer::start() {
  if (isRunning()) co_return;
  auto listener = co_await listen(port_);
  if (isRunning()) co_return;  // another start won meanwhile
  listener_ = listener;
  asio::co_spawn(executor_, acceptLoop(listener, weak_from_this(), false), asio::detached);
}

asio::awaitable<void> QSProxyServer::startTLS(const QSBytes& pkcs12, const std::string& password) {
  auto context = makeTLSServerContext(pkcs12, password);
  if (isTLSRunning()) {
    tlsContext_ = context;
    co_return;
  }
  auto listener = co_await listen(tlsPort_);
  tlsContext_ = context;
  if (isTLSRunning()) co_return;
  tlsListener_ = listener;
  asio::co_spawn(executor_, acceptLoop(listener, weak_from_this(), true), asio::detached);
}

void QSProxyServer::closeListener(std::shared_ptr<Listener>& listener) {
  if (!listener) return;
  asio::error_code ignored;
  listener->acceptor.close(ignored);
  listener.reset();
}

void QSProxyServer::stop() {
  closeListener(listener_);
  closeListener(tlsListener_);
}

void QSProxyServer::stopTLS() { closeListener(tlsListener_); }

// Accepts until the listener is closed. Running out of descriptors (or another passing failure)
// pauses accepting briefly instead of spinning on the error.
asio::awaitable<void> QSProxyServer::acceptLoop(std::shared_ptr<Listener> listener, std::weak_ptr<QSProxyServer> owner,
                                                bool tls) {
  auto executor = listener->acceptor.get_executor();
  for (;;) {
    auto [ec, socket] = co_await listener->acceptor.async_accept(asio::experimental::as_tuple(asio::use_awaitable));
    if (!listener->acceptor.is_open()) co_return;
    auto self = owner.lock();
    if (!self) co_return;
    if (ec) {
      asio::steady_timer pause(executor, std::chrono::milliseconds(100));
      co_await pause.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
      continue;
    }
    // Past the cap the connection is closed at once: idle clients must not take the descriptors
    // that the daemon's other clients need.
    if (self->atCapacity()) {
      asio::error_code ignored;
      socket.close(ignored);
      continue;
    }
    // Relayed chunks go out as they come: Nagle's algorithm would hold back each chunk's short
    // tail until the previous segment is acknowledged, stalling on the peer's delayed ACK.
    asio::error_code ignored;
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    auto connection = std::make_shared<QSProxyConnection>(self, std::move(socket), tls ? self->tlsContext_ : nullptr);
    asio::co_spawn(executor, connection->serve(connection), asio::detached);
  }
}

}  // namespace qs
