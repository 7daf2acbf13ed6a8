#include "core/routing/proxy_connection.h"

#include "core/platform/text.h"
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
#include <variant>

namespace qs {
namespace {

constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);
constexpr std::size_t kRelayChunk = 65536;
// The fewest unexamined bytes worth a pipe pair and its system calls rather than a read.
constexpr std::uint64_t kSpliceThreshold = 32768;

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

void QSProxyConnection::watchIdleness() {
  auto quiet = std::chrono::steady_clock::now() - lastActivity_;
  deadline_.expires_after(proxy_->idleLimit - quiet);
  std::weak_ptr<QSProxyConnection> weak = weak_from_this();
  deadline_.async_wait([weak](const asio::error_code& ec) {
    auto self = weak.lock();
    if (ec || !self) return;
    if (std::chrono::steady_clock::now() - self->lastActivity_ >= self->proxy_->idleLimit)
      self->closeAll();
    else
      self->watchIdleness();
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

namespace {

// The first request head of `received`, after any line ends before it.
std::string_view afterLeadingLineEnds(std::string_view received) {
  auto start = received.find_first_not_of("\r\n");
  return start == std::string_view::npos ? std::string_view() : received.substr(start);
}

}  // namespace

// Reads until the first request head is complete, is longer than the proxy takes, or the client
// has stopped sending.
template <class Client>
asio::awaitable<std::string> QSProxyConnection::readHead(Client& client) {
  std::string received;
  std::array<char, 8192> buffer;
  for (;;) {
    std::string_view head = afterLeadingLineEnds(received);
    if (QSProxyRequestHead::headLength(head) || head.size() > QSProxyRequestHead::headLimit) break;
    auto [ec, n] = co_await client.async_read_some(asio::buffer(buffer), kTuple);
    received.append(buffer.data(), n);
    if (ec) break;
  }
  co_return received;
}

// Routes the first request of `received`: the route, with the exchange made and `host_` set;
// nothing, with the page to answer with, when the head is refused or no project owns the name.
std::optional<QSProxyServer::Route> QSProxyConnection::routeFirstRequest(const std::string& received,
                                                                          std::string& page) {
  std::string_view text = afterLeadingLineEnds(received);
  auto length = QSProxyRequestHead::headLength(text);
  if (!length || *length > QSProxyRequestHead::headLimit) {
    bool tooLarge = text.size() > QSProxyRequestHead::headLimit;
    page = tooLarge ? QSProxyPages::error(431, "Request Header Fields Too Large") : QSProxyPages::error(400, "Bad Request");
    return std::nullopt;
  }
  auto parsed = QSProxyRequestHead::parseRequest(text.substr(0, *length));
  if (std::holds_alternative<QSHTTPFault>(parsed)) {
    page = QSProxyPages::error(400, "Bad Request");
    return std::nullopt;
  }
  host_ = QSProxyRequestHead::hostName(*std::get<QSHTTPHead>(parsed).field("host"));
  auto route = proxy_->route(host_);
  if (!route) {
    page = QSProxyPages::unknownHost(host_);
    return std::nullopt;
  }
  exchange_ = std::make_shared<QSProxyExchangeLog>(asciiLowercased(host_), route->projectID, proxy_->onRequest_);
  return route;
}

template <class Client>
asio::awaitable<void> QSProxyConnection::route(Client& client) {
  std::string received = co_await readHead(client);
  deadline_.cancel();
  if (received.empty()) co_return;
  std::string page;
  std::optional<QSProxyServer::Route> route = routeFirstRequest(received, page);
  if (!route) {
    co_await answer(client, page);
    co_return;
  }
  std::string first = exchange_->fromClient(received);
  bool connected = co_await connectToProject(route->port);
  if (!connected) {
    page = QSProxyPages::projectNotRunning(host_, route->port);
    co_await answer(client, page);
    co_return;
  }
  asio::error_code ignored;
  project_.set_option(asio::ip::tcp::no_delay(true), ignored);  // as for the client (see acceptLoop)
  auto [writeError, written] = co_await asio::async_write(project_, asio::buffer(first), kTuple);
  if (writeError) co_return;

  lastActivity_ = std::chrono::steady_clock::now();
  watchIdleness();
  using namespace asio::experimental::awaitable_operators;
  co_await (relayResponses(client) && relayRequests(client));
}

// A project that accepts nothing (a full backlog, a stopped process) must not hang the browser.
asio::awaitable<bool> QSProxyConnection::connectToProject(int port) {
  asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  asio::steady_timer limit(project_.get_executor(), proxy_->connectLimit);
  using namespace asio::experimental::awaitable_operators;
  auto outcome = co_await (project_.async_connect(endpoint, kTuple) || limit.async_wait(kTuple));
  co_return outcome.index() == 0 && !std::get<0>(std::get<0>(outcome));
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

// Client → project, as the exchange lets through. The end of the client's requests, or a request
// refused, is passed on as the end of the project's input; the responses side goes on.
template <class Client>
asio::awaitable<void> QSProxyConnection::relayRequests(Client& client) {
  std::unique_ptr<char[]> buffer(new char[kRelayChunk]);
  while (!exchange_->refusal()) {
    asio::error_code ec;
    std::optional<QSSpliceOutcome> spliced;
    if constexpr (std::is_same_v<Client, asio::ip::tcp::socket>)
      spliced = co_await spliceUnexamined(client, project_, exchange_->clientUnexamined(),
                                          &QSProxyExchangeLog::clientRelayed);
    if (spliced) {
      ec = spliced->writeError ? spliced->writeError : spliced->readError;
    } else {
      auto [readError, n] = co_await client.async_read_some(asio::buffer(buffer.get(), kRelayChunk), kTuple);
      ec = readError;
      if (n > 0) {
        lastActivity_ = std::chrono::steady_clock::now();
        std::string_view in(buffer.get(), n);
        std::string framed;
        if (exchange_->clientUnexamined() >= n)
          exchange_->clientRelayed(n);
        else
          in = framed = exchange_->fromClient(in);
        auto [writeError, written] = co_await asio::async_write(project_, asio::buffer(in), kTuple);
        if (writeError) ec = writeError;
      }
    }
    if (isEndOfStream(ec)) break;
    if (ec) {
      closeAll();
      co_return;
    }
  }
  asio::error_code ignored;
  project_.shutdown(asio::socket_base::shutdown_send, ignored);
}

// Project → client. When the project has finished: the refusal page if a request was refused,
// else the end is passed on (for a TLS client: close_notify, then the connection is closed; a
// client that no longer reads cannot hold it open past the time limit).
template <class Client>
asio::awaitable<void> QSProxyConnection::relayResponses(Client& client) {
  std::unique_ptr<char[]> buffer(new char[kRelayChunk]);
  for (;;) {
    asio::error_code ec;
    std::string_view out;
    std::string framed;
    std::optional<QSSpliceOutcome> spliced;
    if constexpr (std::is_same_v<Client, asio::ip::tcp::socket>)
      spliced = co_await spliceUnexamined(project_, client, exchange_->projectUnexamined(),
                                          &QSProxyExchangeLog::projectRelayed);
    if (spliced) {
      if (spliced->writeError) break;
      ec = spliced->readError;
      if (!ec) continue;
    } else {
      auto [readError, n] = co_await project_.async_read_some(asio::buffer(buffer.get(), kRelayChunk), kTuple);
      ec = readError;
      if (n > 0) {
        lastActivity_ = std::chrono::steady_clock::now();
        out = std::string_view(buffer.get(), n);
        if (exchange_->projectUnexamined() >= n)
          exchange_->projectRelayed(n);
        else
          out = framed = exchange_->fromProject(out);
      }
    }
    if (isEndOfStream(ec)) {
      framed = std::string(out) + exchange_->projectEnded();
      out = framed;
    }
    if (!out.empty()) {
      auto [writeError, written] = co_await asio::async_write(client, asio::buffer(out), kTuple);
      if (writeError) break;
    }
    if (isEndOfStream(ec)) {
      std::optional<QSProxyExchangeLog::Refusal> refusal = exchange_->refusal();
      if (refusal) {
        std::string page = QSProxyPages::error(refusal->status, refusal->reason);
        co_await answer(client, page);
      } else if constexpr (std::is_same_v<Client, asio::ip::tcp::socket>) {
        asio::error_code ignored;
        client.shutdown(asio::socket_base::shutdown_send, ignored);
        co_return;
      } else {
        armDeadline(proxy_->firstChunkLimit);
        co_await sendCloseNotify(client);
      }
      break;
    }
    if (ec) break;
  }
  closeAll();
}

asio::awaitable<std::optional<QSSpliceOutcome>> QSProxyConnection::spliceUnexamined(
    asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, std::uint64_t unexamined,
    void (QSProxyExchangeLog::*relayed)(std::uint64_t)) {
  if (unexamined < kSpliceThreshold || !proxy_->hasDescriptorsForPipe()) co_return std::nullopt;
  std::optional<QSSplicePipe> pipe = QSSplicePipe::open(proxy_->pipeDescriptors_);
  if (!pipe) co_return std::nullopt;
  auto progress = [this, relayed](std::uint64_t n) {
    lastActivity_ = std::chrono::steady_clock::now();
    (exchange_.get()->*relayed)(n);
  };
  co_return co_await spliceRelay(from, to, *pipe, unexamined, progress);
}

}  // namespace qs
