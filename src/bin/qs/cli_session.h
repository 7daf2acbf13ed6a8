// What every command of `qs` shares: the loop its coroutines run on, where the daemon is, the
// connection to it, the output mode, and how failures become exit codes.
#pragma once

#include "core/daemon/daemon_client.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_error.h"
#include "core/protocol/daemon_result.h"

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace qs {

// Exit codes of `qs`.
namespace QSExitCode {
inline constexpr int success = 0;
inline constexpr int failure = 1;
inline constexpr int usage = 2;
}  // namespace QSExitCode

// A failure the tool reports itself: `what()` is printed after "qs: " and the program exits
// with `exitCode()`.
class QSCliError : public std::runtime_error {
public:
  explicit QSCliError(const std::string& message, int exitCode = QSExitCode::failure)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

private:
  int exitCode_;
};

// What a command that follows the daemon's events says when the daemon goes away under it.
inline QSCliError daemonWentAway() {
  return QSCliError("The Quayside daemon stopped. Start it again with 'qs daemon start'.");
}

class QSCliSession {
public:
  QSCliSession();
  ~QSCliSession();
  QSCliSession(const QSCliSession&) = delete;
  QSCliSession& operator=(const QSCliSession&) = delete;

  asio::any_io_executor executor() { return loop_.get_executor(); }

  // Set by a command's --json flag: records and lists are printed as JSON.
  bool json = false;
  // The chosen command's coroutine, set while the command line is parsed.
  std::function<asio::awaitable<int>()> action;

  // $QS_DAEMON_SOCKET, else <data folder>/daemon.sock.
  static std::string socketPath();
  // $QS_DAEMON_LOCK, else <data folder>/owner.lock.
  static std::string lockPath();
  // The running executable (links resolved).
  static std::filesystem::path ownExecutable();
  // $QS_DAEMON_EXECUTABLE, else `quaysided` in the folder of the running executable.
  static std::filesystem::path daemonExecutable();

  // The client, connected on first use. Never starts a daemon: when nobody serves the socket it
  // throws QSCliError with "The Quayside daemon isn't running. Start it with 'quayside daemon start'."
  asio::awaitable<std::shared_ptr<QSDaemonClient>> client();
  // Uses `connected` from now on (a client the launcher handed back).
  void adopt(std::shared_ptr<QSDaemonClient> connected) { client_ = std::move(connected); }
  // Closes the connection, if any; open event streams finish.
  void disconnect();

  // Sends `command` and returns the answer's case `R`. A `failure` answer is thrown as
  // QSDaemonException; any other answer as QSDaemonException(invalidResponse).
  template <class R>
  asio::awaitable<R> request(QSDaemonCommand command) {
    auto connection = co_await client();
    QSDaemonResult result = co_await connection->send(command);
    const R* expected = result.get<R>();
    if (!expected) throw QSDaemonException(QSDaemonError(daemonError::InvalidResponse{}));
    co_return *expected;
  }

  // Runs `action` on the loop until it finishes and returns its exit code. A failure is
  // printed as one "qs: …" line on standard error and gives its exit code (1 unless a
  // QSCliError says otherwise).
  int run(const std::function<asio::awaitable<int>()>& action);

private:
  asio::io_context loop_;
  std::shared_ptr<QSDaemonClient> client_;
};

// Prints "qs: " + message on standard error.
void printError(const std::string& message);

}  // namespace qs
