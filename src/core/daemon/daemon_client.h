// The library side of the control socket, used by the command-line tool and the application:
// sends commands, matches each answer to its caller and turns pushed events into streams.
#pragma once

#include "core/daemon/framed_connection.h"
#include "core/daemon/one_shot.h"
#include "core/platform/async_queue.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_message.h"
#include "core/protocol/daemon_result.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

namespace qs {

// Holds at most one connection. Any number of calls may be in flight at once; each is matched
// to its answer by the request id. Lives on one loop.
class QSDaemonClient : public std::enable_shared_from_this<QSDaemonClient> {
public:
  // A client for the daemon listening at `socketPath`; no connection is made yet.
  static std::shared_ptr<QSDaemonClient> make(asio::any_io_executor executor, std::string socketPath);
  // Closes the connection; open event streams finish.
  ~QSDaemonClient();

  // Opens the connection unless one is open (a connection that broke is replaced). Throws the
  // QSSystemError of the connect when nobody listens, e.g.
  // "connect /x/daemon.sock: No such file or directory"; the client then stays unconnected.
  asio::awaitable<void> connect();

  // Sends `command` and returns its answer; a `failure` answer is returned, not thrown. Throws
  // QSDaemonException(notConnected) when not connected or when disconnect() is called meanwhile,
  // the std::system_error of a failed write, and, when the connection ends before the answer,
  // QSDaemonException(notConnected) for an orderly close, else the read or decoding error.
  // There is no time limit: wrap the call in withTimeout where one is needed.
  asio::awaitable<QSDaemonResult> call(QSDaemonCommand command);
  // Like call(), but a `failure` answer is thrown as QSDaemonException carrying its error.
  asio::awaitable<QSDaemonResult> send(QSDaemonCommand command);

  // Subscribes to `kind` and returns the stream of matching events, buffered without limit. An
  // earlier stream of the same kind is finished (it receives nothing further). All streams
  // finish when the connection ends. Throws like send(); then no stream is made.
  asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> events(QSEventKind kind);
  // Subscribes to `kind` with its events going into `stream`, which may take other kinds too:
  // they then arrive in the order the daemon sent them. Throws like send(); `stream` is then
  // left as it was.
  asio::awaitable<void> events(QSEventKind kind, std::shared_ptr<QSAsyncQueue<QSEvent>> stream);

  // Closes the connection: waiting calls throw QSDaemonException(notConnected), event streams
  // finish. connect() may be called again afterwards.
  void disconnect();
  // Whether a connection is open and has not broken.
  bool isConnected() const;
  const std::string& socketPath() const { return socketPath_; }

  struct Private;
  QSDaemonClient(const Private&, asio::any_io_executor executor, std::string socketPath);

private:
  using Stream = QSAsyncQueue<QSEvent>;

  static asio::awaitable<void> readResponses(std::weak_ptr<QSDaemonClient> client,
                                             std::shared_ptr<QSFramedConnection> connection);
  void deliver(QSDaemonResponse response);
  void connectionEnded(std::exception_ptr error);
  void failAllPending(std::exception_ptr error);
  void finishStreams();
  void withdrawStream(QSEventKind kind, const std::shared_ptr<Stream>& stream, std::shared_ptr<Stream> earlier);

  asio::any_io_executor executor_;
  std::string socketPath_;
  std::shared_ptr<QSFramedConnection> connection_;
  std::unordered_map<QSUUID, std::shared_ptr<QSOneShot<QSDaemonResult>>> pending_;
  std::map<QSEventKind, std::shared_ptr<Stream>> streams_;
  asio::steady_timer connectDone_;
  bool connecting_ = false;
};

}  // namespace qs
