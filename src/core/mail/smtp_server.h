// The mail catcher's SMTP listener: accepts any client on 127.0.0.1, runs one QSSMTPSession per
// connection, and hands each completed message, parsed, to a sink before it answers the client.
// Nothing is ever relayed. Lives on the service loop.
#pragma once

#include "core/mail/mail_index.h"
#include "core/mail/mail_message.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace qs {

// A message as the catcher received it, when it arrived, and the project whose server sent it
// when known.
struct QSCaughtMail {
  QSMailMessage message;
  QSTimestamp arrivedAt;
  std::optional<QSMailOrigin> origin;
};

class QSSMTPServer : public std::enable_shared_from_this<QSSMTPServer> {
public:
  struct Options {
    // Keeps a message; false when it could not be kept (the client is told to try again).
    std::function<asio::awaitable<bool>(QSCaughtMail)> sink;
    // Which project sent the mail of a connection, from the client's source port; asked once per
    // connection, before the greeting.
    std::function<asio::awaitable<std::optional<QSMailOrigin>>(std::uint16_t clientPort)> identifySender;
    // A client that sends nothing for this long is disconnected.
    std::chrono::steady_clock::duration idleTimeout = std::chrono::minutes(5);
    // A message not complete this long after its DATA ends the connection (with a 421), however
    // steadily its bytes trickle in.
    std::chrono::steady_clock::duration dataTimeLimit = std::chrono::minutes(10);
    // Connections beyond this many open ones are answered 421 and closed.
    std::size_t maxSessions = 256;
    // Unfinished lines and messages of all sessions together; the message that goes beyond is
    // refused (452) and its bytes dropped as they come.
    std::size_t maxBufferedBytes = 256u << 20;
  };

  // A server that will listen on `port` (0: any free port) once started.
  QSSMTPServer(asio::any_io_executor executor, std::uint16_t port, Options options);
  ~QSSMTPServer();

  // Listens on 127.0.0.1: the first free port from `preferred` (else the port given at
  // construction) upwards, within 64. Does nothing while running. Throws when no listener comes
  // up (the bind error, or QSListenerError when it is not ready within 5 seconds).
  asio::awaitable<void> start(std::optional<std::uint16_t> preferred = std::nullopt);
  // Stops listening and closes every open session. A later start() listens again.
  void stop();

  bool isRunning() const { return running_; }
  std::uint16_t boundPort() const { return boundPort_; }
  std::size_t sessionCount() const { return sessions_.size(); }
  // The bytes all sessions hold of unfinished lines and messages.
  std::size_t bufferedBytes() const { return bufferedBytes_; }

private:
  struct Connection;
  asio::awaitable<void> acceptLoop(std::shared_ptr<void> acceptor);
  asio::awaitable<void> serve(std::shared_ptr<Connection> connection);
  asio::awaitable<bool> deliver(std::shared_ptr<Connection> connection, std::string_view data,
                                std::string envelopeFrom);
  void armIdleTimer(const std::shared_ptr<Connection>& connection);
  void watchMessageTime(const std::shared_ptr<Connection>& connection);
  void account(Connection& connection);
  void turnAway(asio::ip::tcp::socket& socket);
  void close(Connection& connection);

  asio::any_io_executor executor_;
  std::uint16_t preferredPort_;
  Options options_;
  std::shared_ptr<void> acceptor_;  // an asio::ip::tcp::acceptor while listening
  std::uint16_t boundPort_ = 0;
  bool running_ = false;
  std::uint64_t nextSessionID_ = 0;
  std::map<std::uint64_t, std::shared_ptr<Connection>> sessions_;
  std::size_t bufferedBytes_ = 0;
};

}  // namespace qs
