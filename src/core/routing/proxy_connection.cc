#include "core/routing/proxy_connection.h"

#include "core/routing/domain_names.h"
#include "core/routing/proxy_exchange_log.h"
#include "core/routing/proxy_pages.h"
#include "core/routing/proxy_request_head.h"

#include <asio/experimental/as_tuple.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/ssl/error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <array>

namespace qs {
namespace {

constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);
constexpr std::size_t kRelayChunk = 65536;

using SecureStream = asio::ssl::stream<asio::ip::tcp::socket&>;

// The end of a stream: a TCP FIN, a TLS close_notify, or a TLS peer that just closed.
bool isEndOfStream(const asio::error_code& ec) {
  return ec == asio::error::eof || ec == asio::ssl::error::stream_truncated;
}

// Sends close_notify without waiting for the client's own: the connection is closed right
// after, as the client has nothing more to receive.
asio::awaitable<void> sendCloseNotify(SecureStream& stream) {
  SSL* ssl = stream.native_handle();
  SSL_set_shutdown(ssl, SSL_get_shutdown(ssl) | SSL_RECEIVED_SHUTDOWN);
  co_await stream.async_shutdown(kTuple);
}

}  // namespace

QSProxyConnection::QSProxyConnection(std::shared_ptr<QSProxyServer> proxy, asio::ip::tcp::socket client,
                                     std::shared_ptr<asio::ssl::context> tls)
    : proxy_(std::move(proxy)),
      tls_(std::move(tls)),
      client_(std::move(client)),
      project_(client_.get_executor()),
      deadline_(client_.get_executor()),
      count_(proxy_->connectionCount_) {
  if (tls_) secure_.emplace(client_, *tls_);
  ++*count_;
}

QSProxyConnection::~QSProxyConnection() { --*count_; }

void QSProxyConnection::armDeadline(std::chrono::steady_clock::duration limit) {
  deadline_.expires_after(limit);
  std::weak_ptr<QSProxyConnection> weak = weak_from_this();
  deadline_.async_wait([weak](const asio::error_code& ec) {
    auto self = weak.lock();
    if (!ec && self) self->closeAll();
  });
}

void QSProxyConnection::closeAll() {
  asio::error_code ignored;
  client_.shutdown(asio::socket_base::shutdown_both, ignored);
  client_.close(ignored);
  project_.close(ignored);
}

asio::awaitable<void> QSProxyConnection::serve(std::shared_ptr<QSProxyConnection> self) {
  (void)self;  // held for the lifetime of the coroutine
  armDeadline(proxy_->firstChunkLimit);
  if (secure_) {
    auto [ec] = co_await secure_->async_handshake(asio::ssl::stream_base::server, kTuple);
    if (ec) {
      closeAll();
      co_return;
    }
    co_await route(*secure_);
  } else {
    co_await route(client_);
  }
  deadline_.cancel();
  closeAll();
}

// Reads until routing can decide: the head is complete, its Host line has come, 8 KiB have
// come, or the client has stopped sending.
template <class Client>
asio::awaitable<std::string> QSProxyConnection::readHead(Client& client) {
  std::string head;
  std::array<char, QSProxyRequestHead::routingLimit> buffer;
  while (!QSProxyRequestHead::hasEnoughToRoute(head)) {
    std::size_t room = QSProxyRequestHead::routingLimit - head.size();
    auto [ec, n] = co_await client.async_read_some(asio::buffer(buffer.data(), room), kTuple);
    head.append(buffer.data(), n);
    if (ec) break;
  }
  co_return head;
}

template <class Client>
asio::awaitable<void> QSProxyConnection::route(Client& client) {
  std::string head = co_await readHead(client);
  deadline_.cancel();
  if (head.empty()) co_return;
  auto host = QSProxyRequestHead::extractHost(head);
  if (!host || host->empty()) co_return co_await answer(client, QSProxyPages::error(400, "Bad Request"));
  auto route = proxy_->route(*host);
  if (!route) co_return co_await answer(client, QSProxyPages::unknownHost(*host));

  std::shared_ptr<QSProxyExchangeLog> log;
  if (proxy_->onRequest_) {
    log = std::make_shared<QSProxyExchangeLog>(lowercased(*host), route->projectID, proxy_->onRequest_);
    log->observeRequest(head);
  }
  asio::ip::tcp::endpoint project(asio::ip::address_v4::loopback(), static_cast<unsigned short>(route->port));
  auto [connectError] = co_await project_.async_connect(project, kTuple);
  if (connectError) co_return co_await answer(client, QSProxyPages::projectNotRunning(*host, route->port));
  asio::error_code ignored;
  project_.set_option(asio::ip::tcp::no_delay(true), ignored);  // as for the client (see acceptLoop)
  auto [writeError, written] = co_await asio::async_write(project_, asio::buffer(head), kTuple);
  if (writeError) co_return;

  using namespace asio::experimental::awaitable_operators;
  co_await (relay(project_, client, log, false) && relay(client, project_, log, true));
}

// The page, then the client's side is wound down: a plain client is told the end of the
// response and read until it closes; a TLS client gets close_notify. Both within the time limit.
template <class Client>
asio::awaitable<void> QSProxyConnection::answer(Client& client, const std::string& page) {
  armDeadline(proxy_->firstChunkLimit);
  auto [ec, n] = co_await asio::async_write(client, asio::buffer(page), kTuple);
  if (ec) co_return;
  if constexpr (std::is_same_v<Client, SecureStream>) {
    co_await client.async_shutdown(kTuple);
  } else {
    asio::error_code ignored;
    client.shutdown(asio::socket_base::shutdown_send, ignored);
    std::array<char, 4096> discard;
    for (;;) {
      auto [readError, read] = co_await client.async_read_some(asio::buffer(discard), kTuple);
      if (readError) break;
    }
  }
}

template <class From, class To>
asio::awaitable<void> QSProxyConnection::relay(From& from, To& to, std::shared_ptr<QSProxyExchangeLog> log,
                                               bool toProject) {
  std::unique_ptr<char[]> buffer(new char[kRelayChunk]);
  for (;;) {
    auto [ec, n] = co_await from.async_read_some(asio::buffer(buffer.get(), kRelayChunk), kTuple);
    if (n > 0) {
      std::string_view chunk(buffer.get(), n);
      if (log) toProject ? log->observeRequest(chunk) : log->observeResponse(chunk);
      auto [writeError, written] = co_await asio::async_write(to, asio::buffer(buffer.get(), n), kTuple);
      if (writeError) break;
    }
    if (isEndOfStream(ec)) {
      if constexpr (std::is_same_v<To, asio::ip::tcp::socket>) {
        asio::error_code ignored;
        to.shutdown(asio::socket_base::shutdown_send, ignored);
        co_return;
      } else {
        // The project has finished: the TLS client is told so with close_notify (a bare close
        // would look like a truncated response), then the connection is closed. A client that
        // no longer reads cannot hold the connection open past the time limit.
        armDeadline(proxy_->firstChunkLimit);
        co_await sendCloseNotify(to);
      }
      break;
    }
    if (ec) break;
  }
  closeAll();
}

}  // namespace qs
