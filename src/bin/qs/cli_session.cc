#include "bin/qs/cli_session.h"

#include "core/daemon/daemon_paths.h"
#include "core/daemon/with_timeout.h"
#include "core/platform/process_environment.h"
#include "core/platform/system_error.h"

#include <asio/co_spawn.hpp>
#include <fmt/format.h>

#include <cstdio>
#include <exception>

namespace qs {

QSCliSession::QSCliSession() = default;

QSCliSession::~QSCliSession() { disconnect(); }

std::filesystem::path QSCliSession::ownExecutable() {
  try {
    return currentExecutable();
  } catch (const QSSystemError& e) {
    throw QSCliError(std::string("Couldn't tell where the qs executable is: ") + e.what());
  }
}

std::filesystem::path QSCliSession::daemonExecutable() {
  if (auto configured = environmentValue("QS_DAEMON_EXECUTABLE")) return std::filesystem::absolute(*configured);
  return ownExecutable().parent_path() / "quaysided";
}

asio::awaitable<std::shared_ptr<QSDaemonClient>> QSCliSession::client() {
  if (client_ && client_->isConnected()) co_return client_;
  auto fresh = QSDaemonClient::make(executor(), QSDaemonPaths::socketPath());
  // Every way of not reaching the socket (no file, a stale file, a refused connection) means
  // the same to the user: no daemon is serving.
  bool connected = true;
  try {
    co_await fresh->connect();
  } catch (const std::exception&) {
    connected = false;
  }
  if (!connected) throw QSCliError(QSDaemonError(daemonError::DaemonUnavailable{}).message());
  client_ = fresh;
  co_return client_;
}

namespace {

std::string secondsText(std::chrono::seconds limit) {
  return fmt::format("{} second{}", limit.count(), limit.count() == 1 ? "" : "s");
}

// The client is an argument, so that the call keeps it alive when the limit wins and the
// session lets go of it.
asio::awaitable<QSDaemonResult> sendOn(std::shared_ptr<QSDaemonClient> client, QSDaemonCommand command) {
  co_return co_await client->send(std::move(command));
}

asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> subscribeOn(std::shared_ptr<QSDaemonClient> client,
                                                                    QSEventKind kind) {
  co_return co_await client->events(kind);
}

}  // namespace

template <class T>
asio::awaitable<T> QSCliSession::withinLimit(asio::awaitable<T> operation) {
  double seconds = std::chrono::duration<double>(requestLimit).count();
  try {
    co_return co_await withTimeout(executor(), seconds, std::move(operation));
  } catch (const QSTimeoutError&) {
    // The abandoned call ends with the connection.
    disconnect();
  }
  throw QSCliError("The Quayside daemon isn't answering: no reply within " + secondsText(requestLimit) + ".");
}

asio::awaitable<QSDaemonResult> QSCliSession::answer(QSDaemonCommand command) {
  auto connection = co_await client();
  co_return co_await withinLimit(sendOn(connection, std::move(command)));
}

asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> QSCliSession::events(QSEventKind kind) {
  auto connection = co_await client();
  co_return co_await withinLimit(subscribeOn(connection, kind));
}

void QSCliSession::disconnect() {
  if (client_) client_->disconnect();
  client_.reset();
}

int QSCliSession::run(const std::function<asio::awaitable<int>()>& action) {
  int exitCode = QSExitCode::failure;
  bool finished = false;
  asio::co_spawn(loop_, action(), [&](std::exception_ptr error, int code) {
    finished = true;
    exitCode = code;
    if (error) {
      try {
        std::rethrow_exception(error);
      } catch (const QSCliError& e) {
        printError(e.what());
        exitCode = e.exitCode();
      } catch (const QSDaemonException& e) {
        printError(e.error().message());
        exitCode = QSExitCode::failure;
      } catch (const std::exception& e) {
        printError(e.what());
        exitCode = QSExitCode::failure;
      }
    }
    // Whatever the command left behind (a connection's reader, a signal wait) must not keep
    // the loop alive.
    disconnect();
    loop_.stop();
  });
  loop_.run();
  if (!finished) printError("The command ended without an outcome.");
  std::fflush(stdout);
  return exitCode;
}

void printError(const std::string& message) {
  std::fflush(stdout);
  fmt::print(stderr, "qs: {}\n", message);
  std::fflush(stderr);
}

}  // namespace qs
