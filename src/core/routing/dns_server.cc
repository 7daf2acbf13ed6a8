#include "core/routing/dns_server.h"

#include "core/routing/dns_query.h"
#include "core/runtime/port_scanner.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <array>
#include <cerrno>
#include <memory>

#include <sys/socket.h>

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

// Datagrams taken (and answers sent) per system call.
constexpr unsigned kBatch = 64;
// Room for each datagram. The answer depends on the header, the first question (a name of at
// most 255 bytes) and the 11 bytes after it, so a longer query cut to this length is answered
// exactly as in full.
constexpr std::size_t kDatagramRoom = 4096;

// One batch's datagrams, their senders and the answers, in place for recvmmsg and sendmmsg.
struct Batch {
  Batch() : data(new std::uint8_t[kBatch * kDatagramRoom]) {
    for (unsigned i = 0; i < kBatch; ++i) {
      received[i] = {data.get() + i * kDatagramRoom, kDatagramRoom};
      incoming[i].msg_hdr = msghdr{&peers[i], sizeof(sockaddr_storage), &received[i], 1, nullptr, 0, 0};
    }
  }
  // Ready to receive again: each name length (which recvmmsg overwrites) reset.
  void reset(unsigned count) {
    for (unsigned i = 0; i < count; ++i) incoming[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
  }

  std::unique_ptr<std::uint8_t[]> data;
  std::array<sockaddr_storage, kBatch> peers;
  std::array<iovec, kBatch> received;
  std::array<mmsghdr, kBatch> incoming;
  std::array<QSDNSMessage, kBatch> answers;
  std::array<iovec, kBatch> sent;
  std::array<mmsghdr, kBatch> outgoing;
};

}  // namespace

// Each wake-up takes every datagram waiting, a batch per system call, answers the batch and
// sends the answers with one call, yielding to the loop's other work between batches (a flood of
// queries must not keep the loop to itself). A query shorter than a header gets no answer;
// answers the socket cannot take now wait for room, and a failed send is dropped (UDP has no
// one to tell). A receive error other than the socket being closed means the socket is
// unusable, and the server stops.
asio::awaitable<void> QSDNSServer::serve(std::shared_ptr<Socket> socket, std::weak_ptr<QSDNSServer> owner) {
  auto batch = std::make_unique<Batch>();
  auto executor = co_await asio::this_coro::executor;
  asio::error_code ec;
  for (;;) {
    batch->reset(kBatch);
    int received = ::recvmmsg(socket->socket.native_handle(), batch->incoming.data(), kBatch, MSG_DONTWAIT, nullptr);
    int error = received < 0 ? errno : 0;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      co_await socket->socket.async_wait(asio::socket_base::wait_read, asio::redirect_error(asio::use_awaitable, ec));
      if (!ec) continue;
      error = ec == asio::error::operation_aborted ? EBADF : ec.value();
    }
    // An ICMP error for an earlier answer's peer: nothing wrong with the socket.
    if (error == ECONNREFUSED || error == ECONNRESET || error == EINTR) continue;
    if (error) {
      auto self = owner.lock();
      if (self && self->socket_ == socket) self->stop();
      co_return;
    }
    unsigned answered = 0;
    for (int i = 0; i < received; ++i) {
      std::size_t n = batch->incoming[i].msg_len;
      if (n < QSDNSQuery::headerSize) continue;
      QSDNSMessage& answer = batch->answers[answered];
      answer = QSDNSQuery::processQuery(std::span<const std::uint8_t>(batch->data.get() + i * kDatagramRoom, n));
      if (answer.empty()) continue;  // a response or a non-query: never answered
      batch->sent[answered] = {answer.data(), answer.size()};
      batch->outgoing[answered].msg_hdr =
          msghdr{&batch->peers[i], batch->incoming[i].msg_hdr.msg_namelen, &batch->sent[answered], 1, nullptr, 0, 0};
      ++answered;
    }
    for (unsigned next = 0; next < answered;) {
      int sent = ::sendmmsg(socket->socket.native_handle(), batch->outgoing.data() + next, answered - next, MSG_DONTWAIT);
      if (sent > 0) {
        next += static_cast<unsigned>(sent);
      } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        co_await socket->socket.async_wait(asio::socket_base::wait_write, asio::redirect_error(asio::use_awaitable, ec));
        if (ec) break;
      } else if (sent < 0 && errno == EINTR) {
        continue;
      } else {
        ++next;  // this answer cannot be sent; the others still can
      }
    }
    if (received == static_cast<int>(kBatch)) co_await asio::post(executor, asio::use_awaitable);
  }
}

}  // namespace qs
