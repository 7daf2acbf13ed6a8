// The .test DNS responder on UDP 127.0.0.1: one socket, one receive loop on the service loop.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <memory>
#include <optional>

namespace qs {

class QSDNSServer : public std::enable_shared_from_this<QSDNSServer> {
public:
  static constexpr int defaultPort = 5300;
  // How far above the preferred port a start looks for a free one.
  static constexpr int portSearchLimit = 64;

  QSDNSServer(asio::any_io_executor executor, int port = defaultPort);
  ~QSDNSServer();

  // Binds 127.0.0.1 on `preferred` (else the port given at construction), or on the next free
  // UDP port up to 64 above it, and starts answering. Does nothing while running. Throws
  // asio::system_error when no socket can be bound.
  asio::awaitable<void> start(std::optional<int> preferred = std::nullopt);
  // Closes the socket; the receive loop ends. Does nothing while stopped.
  void stop();

  bool isRunning() const { return socket_ != nullptr; }
  // The port bound by the last start (the construction port before any).
  int boundPort() const { return boundPort_; }

private:
  struct Socket;
  static asio::awaitable<void> serve(std::shared_ptr<Socket> socket, std::weak_ptr<QSDNSServer> owner);

  asio::any_io_executor executor_;
  int preferredPort_;
  int boundPort_;
  std::shared_ptr<Socket> socket_;
};

}  // namespace qs
