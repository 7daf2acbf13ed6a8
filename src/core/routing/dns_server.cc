#include "core/routing/dns_server.h"

#include "core/routing/dns_query.h"
#include "core/routing/port_scanner.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <array>

namespace qs {

struct QSDNSServer::Socket {
  explicit Socket(asio::any_io_executor executor) : socket(executor) {}
  asio::ip::udp::socket socket;
};

QSDNSServer::QSDNSServer(asio::any_io_executor executor, int port)
    : executor_(std::move(executor)), preferredPort_(port), boundPort_(port) {}

QSDNSServer::~QSDNSServer() { stop(); }

asio::awaitable<void> QSDNSServer::start(std::optional<int> preferred) {
  if (isRunning()) co_return;
  int port = QSPortScanner().availableUDPPort(preferred.value_or(preferredPort_), portSearchLimit);
  auto socket = std::make_shared<Socket>(executor_);
  asio::ip::udp::endpoint endpoint(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  socket->socket.open(endpoint.protocol());
  // No address reuse: with it, any local account could bind the same port with reuse too and
  // receive the queries (and answer them) in our place.
  socket->socket.bind(endpoint);  // throws asio::system_error, closing the socket with it
  boundPort_ = socket->socket.local_endpoint().port();
  socket_ = socket;
  asio::co_spawn(executor_, serve(socket, weak_from_this()), asio::detached);
}

void QSDNSServer::stop() {
  if (!socket_) return;
  asio::error_code ignored;
  socket_->socket.close(ignored);
  socket_.reset();
}

namespace {
// Queries answered in a row before the loop lets its other work run.
constexpr int kQueriesBeforeYielding = 64;
}  // namespace

// Datagrams are read while the socket has them without suspending the coroutine, which waits
// only when the socket runs dry (under load that saves a suspension and a wake-up per query). A
// query shorter than a header gets no answer; an answer the socket cannot take now waits for
// room, and a failed send is dropped (UDP has no one to tell). A receive error other than the
// socket being closed means the socket is unusable, and the server stops.
asio::awaitable<void> QSDNSServer::serve(std::shared_ptr<Socket> socket, std::weak_ptr<QSDNSServer> owner) {
  std::array<std::uint8_t, 65536> buffer;
  auto executor = co_await asio::this_coro::executor;
  asio::error_code ec;
  socket->socket.non_blocking(true, ec);
  for (int inARow = 1;; ++inARow) {
    // The loop serves everything else too: a flood of queries must not keep it to itself.
    if (inARow % kQueriesBeforeYielding == 0) co_await asio::post(executor, asio::use_awaitable);
    asio::ip::udp::endpoint peer;
    std::size_t n = socket->socket.receive_from(asio::buffer(buffer), peer, 0, ec);
    if (ec == asio::error::would_block) {
      inARow = 0;
      co_await socket->socket.async_wait(asio::socket_base::wait_read, asio::redirect_error(asio::use_awaitable, ec));
      if (!ec) continue;
    }
    // An ICMP error for an earlier answer's peer: nothing wrong with the socket.
    if (ec == asio::error::connection_refused || ec == asio::error::connection_reset) continue;
    if (ec) {
      auto self = owner.lock();
      if (self && self->socket_ == socket) self->stop();
      co_return;
    }
    if (n < QSDNSQuery::headerSize) continue;
    QSDNSMessage response = QSDNSQuery::processQuery(std::span<const std::uint8_t>(buffer.data(), n));
    if (response.empty()) continue;  // a response or a non-query: never answered
    socket->socket.send_to(asio::buffer(response), peer, 0, ec);
    if (ec == asio::error::would_block) {
      co_await socket->socket.async_wait(asio::socket_base::wait_write, asio::redirect_error(asio::use_awaitable, ec));
      if (!ec) socket->socket.send_to(asio::buffer(response), peer, 0, ec);
    }
  }
}

}  // namespace qs
