// The daemon's side of the control socket: accepts clients, runs their requests through the
// engine and pushes engine events to the clients that subscribed to them.
#pragma once

#include "core/protocol/daemon_backend.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace qs {

class QSDaemonServer {
public:
  // Frames waiting to be written to one client may hold at most this many bytes; a client that
  // stops reading is disconnected once its frames would exceed it.
  static constexpr std::size_t maxQueuedBytesPerPeer = 16 * 1024 * 1024;
  // Console lines are the one kind of event a server can produce faster than a client can take
  // them. While this many bytes wait for a client, its log lines are skipped rather than queued;
  // once it has caught up it gets one line per console saying how many it missed, so a follower
  // of a flooding server falls behind visibly instead of being disconnected.
  static constexpr std::size_t logBacklogBytesPerPeer = 4 * 1024 * 1024;
  // A client subscribed to `logBatches` gets the lines that came while its previous write was in
  // flight as one `logBatch` frame, split at about this many bytes.
  static constexpr std::size_t batchFrameBytes = 256 * 1024;
  // A client whose frame has begun and then brings nothing for this long is disconnected: a
  // half-sent frame must not hold a connection (and its buffer) for ever.
  static constexpr std::chrono::seconds frameStallLimit{30};

  // Stores the arguments; does not touch the socket. `version` and `build` answer `ping`.
  QSDaemonServer(asio::any_io_executor executor, std::shared_ptr<QSDaemonBackend> backend, std::string socketPath,
                 std::string version, std::string build);
  // Stops the server. It must go before the loop it runs on.
  ~QSDaemonServer();
  QSDaemonServer(const QSDaemonServer&) = delete;
  QSDaemonServer& operator=(const QSDaemonServer&) = delete;

  // Creates the socket's folder (mode 0700) when missing, removes a stale socket file, binds the
  // socket (mode 0600) and listens; from then on clients are served and events forwarded.
  // Throws QSSystemError when the folder or the socket cannot be made, and as "bind PATH:
  // Address already in use" when someone still listens on the socket file (it is left alone);
  // std::logic_error when called a second time or after stop().
  asio::awaitable<void> start();
  // Closes every connection and the listener, stops forwarding events and deletes the socket
  // file (when this server made it). Safe to call more than once.
  void stop();
  // Returns once the server has stopped (at once when it has).
  asio::awaitable<void> waitUntilStopped();

  // From now on `shutdownDaemon` is answered with a failure carrying `message` and the server
  // keeps serving: the desktop app serves the socket for the services it owns and stops them
  // only when it quits.
  void refuseShutdown(std::string message);

  // The number of open client connections.
  std::size_t connectionCount() const;

private:
  class State;
  std::shared_ptr<State> state_;
};

}  // namespace qs
