#include "core/mail/smtp_server.h"

#include "core/mail/mail_parser.h"
#include "core/mail/smtp_session.h"
#include "core/runtime/port_scanner.h"
#include "core/runtime/listener_readiness.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <array>

namespace qs {
namespace {

using asio::ip::tcp;

constexpr int kPortCandidates = 64;
constexpr std::size_t kReadBytes = 64 * 1024;
constexpr std::string_view kTooManySessions = "421 4.7.0 Too many connections; try again later\r\n";
constexpr std::string_view kMessageTooSlow = "421 4.4.2 The message took too long to arrive; closing\r\n";

}  // namespace

struct QSSMTPServer::Connection {
  Connection(tcp::socket s, std::uint64_t identity)
      : socket(std::move(s)), idle(socket.get_executor()), messageTime(socket.get_executor()), id(identity) {}
  tcp::socket socket;
  asio::steady_timer idle;
  asio::steady_timer messageTime;  // armed from a DATA to the end of its message
  bool timingMessage = false;
  bool messageTooSlow = false;
  std::uint64_t id;
  QSSMTPSession session;
  std::size_t buffered = 0;  // the session's share of bufferedBytes_
  std::optional<QSMailOrigin> origin;
  bool closed = false;
};

QSSMTPServer::QSSMTPServer(asio::any_io_executor executor, std::uint16_t port, Options options)
    : executor_(executor), preferredPort_(port), options_(std::move(options)) {}

QSSMTPServer::~QSSMTPServer() { stop(); }

asio::awaitable<void> QSSMTPServer::start(std::optional<std::uint16_t> preferred) {
  if (running_) co_return;
  int wanted = preferred.value_or(preferredPort_);
  int port = QSPortScanner().availablePort(wanted, {}, kPortCandidates);
  auto acceptor = std::make_shared<tcp::acceptor>(executor_);
  tcp::endpoint endpoint(asio::ip::address_v4::loopback(), static_cast<std::uint16_t>(port));
  try {
    co_await awaitListenerReady(listenOn(*acceptor, endpoint));
  } catch (...) {
    asio::error_code ignored;
    acceptor->close(ignored);
    throw;
  }
  if (running_) co_return;  // another start won meanwhile
  acceptor_ = acceptor;
  boundPort_ = acceptor->local_endpoint().port();
  running_ = true;
  asio::co_spawn(executor_, acceptLoop(acceptor), asio::detached);
}

void QSSMTPServer::stop() {
  if (auto acceptor = std::static_pointer_cast<tcp::acceptor>(std::exchange(acceptor_, nullptr))) {
    asio::error_code ignored;
    acceptor->close(ignored);
  }
  running_ = false;
  auto sessions = std::move(sessions_);
  sessions_.clear();
  for (auto& [id, connection] : sessions) close(*connection);
}

asio::awaitable<void> QSSMTPServer::acceptLoop(std::shared_ptr<void> handle) {
  auto acceptor = std::static_pointer_cast<tcp::acceptor>(handle);
  std::weak_ptr<QSSMTPServer> weak = weak_from_this();
  while (acceptor->is_open()) {
    asio::error_code error;
    tcp::socket socket = co_await acceptor->async_accept(asio::redirect_error(asio::use_awaitable, error));
    auto self = weak.lock();
    if (!self || !acceptor->is_open() || self->acceptor_ != acceptor) co_return;
    if (error) {
      // The client gave up before we took it, or no descriptor was free: in the second case
      // accepting again at once would only spin, so give the sessions a moment to end.
      asio::steady_timer pause(self->executor_, std::chrono::milliseconds(100));
      self.reset();
      co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, error));
      continue;
    }
    if (self->sessions_.size() >= self->options_.maxSessions) {
      self->turnAway(socket);
      continue;
    }
    auto connection = std::make_shared<Connection>(std::move(socket), self->nextSessionID_++);
    self->sessions_.emplace(connection->id, connection);
    asio::co_spawn(self->executor_, self->serve(connection), asio::detached);
  }
}

void QSSMTPServer::armIdleTimer(const std::shared_ptr<Connection>& connection) {
  // Setting the expiry cancels the wait armed for the previous read.
  connection->idle.expires_after(options_.idleTimeout);
  std::weak_ptr<Connection> weak = connection;
  connection->idle.async_wait([weak](const asio::error_code& error) {
    auto c = weak.lock();
    if (error || !c) return;
    asio::error_code ignored;
    c->socket.shutdown(tcp::socket::shutdown_both, ignored);
    c->socket.close(ignored);
  });
}

void QSSMTPServer::turnAway(tcp::socket& socket) {
  // A fresh socket's send buffer takes the one line without waiting.
  asio::error_code ignored;
  asio::write(socket, asio::buffer(kTooManySessions), ignored);
  socket.shutdown(tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
}

void QSSMTPServer::watchMessageTime(const std::shared_ptr<Connection>& connection) {
  bool receiving = connection->session.receivingMessage();
  if (receiving == connection->timingMessage) return;
  connection->timingMessage = receiving;
  if (!receiving) {
    connection->messageTime.cancel();
    return;
  }
  connection->messageTime.expires_after(options_.dataTimeLimit);
  std::weak_ptr<Connection> weak = connection;
  connection->messageTime.async_wait([weak](const asio::error_code& error) {
    auto c = weak.lock();
    if (error || !c || c->closed) return;
    c->messageTooSlow = true;
    asio::error_code ignored;
    // The read ends (now, or at once when it starts after a write); serve() says why and closes.
    c->socket.shutdown(tcp::socket::shutdown_receive, ignored);
  });
}

void QSSMTPServer::account(Connection& connection) {
  auto update = [&] {
    bufferedBytes_ = bufferedBytes_ - connection.buffered + connection.session.bufferedBytes();
    connection.buffered = connection.session.bufferedBytes();
  };
  update();
  if (bufferedBytes_ > options_.maxBufferedBytes && connection.session.receivingMessage()) {
    connection.session.refuseMessage(QSSMTPSession::tooMuchPendingReply);
    update();
  }
}

asio::awaitable<void> QSSMTPServer::serve(std::shared_ptr<Connection> connection) {
  auto self = shared_from_this();
  asio::error_code error;
  armIdleTimer(connection);
  if (options_.identifySender) {
    auto remote = connection->socket.remote_endpoint(error);
    if (!error) connection->origin = co_await options_.identifySender(remote.port());
  }
  std::string replies(QSSMTPSession::greeting);
  std::array<char, kReadBytes> buffer;
  bool closing = false;
  while (!connection->closed) {
    co_await asio::async_write(connection->socket, asio::buffer(replies), asio::redirect_error(asio::use_awaitable, error));
    if (error || closing) break;
    std::size_t n = co_await connection->socket.async_read_some(asio::buffer(buffer),
                                                                 asio::redirect_error(asio::use_awaitable, error));
    if (connection->messageTooSlow && !connection->closed) {
      co_await asio::async_write(connection->socket, asio::buffer(kMessageTooSlow),
                                 asio::redirect_error(asio::use_awaitable, error));
      break;
    }
    if (error || connection->closed) break;  // end of stream, reset, idle time-out or stop()
    armIdleTimer(connection);
    auto out = connection->session.receive(std::string_view(buffer.data(), n));
    account(*connection);
    replies = std::move(out.replies);
    while (out.message) {
      std::string data = std::move(out.message->data);
      bool kept = co_await deliver(connection, data, std::move(out.message->envelopeFrom));
      replies += kept ? QSSMTPSession::queuedReply : QSSMTPSession::notStoredReply;
      out = connection->session.receive({});
      account(*connection);
      replies += out.replies;
    }
    watchMessageTime(connection);
    closing = out.close;
  }
  close(*connection);
}

asio::awaitable<bool> QSSMTPServer::deliver(std::shared_ptr<Connection> connection, std::string_view data,
                                            std::string envelopeFrom) {
  QSTimestamp now = QSTime::now();
  QSCaughtMail mail{QSMailParser::parse(data, std::move(envelopeFrom), now), now, connection->origin};
  if (!options_.sink) co_return true;
  co_return co_await options_.sink(std::move(mail));
}

void QSSMTPServer::close(Connection& connection) {
  if (connection.closed) return;
  connection.closed = true;
  bufferedBytes_ -= connection.buffered;
  connection.buffered = 0;
  asio::error_code ignored;
  connection.idle.cancel();
  connection.messageTime.cancel();
  connection.socket.shutdown(tcp::socket::shutdown_both, ignored);
  connection.socket.close(ignored);
  sessions_.erase(connection.id);
}

}  // namespace qs
