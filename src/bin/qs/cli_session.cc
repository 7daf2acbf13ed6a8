#include "bin/qs/cli_session.h"

#include "core/daemon/owner_lock.h"
#include "core/daemon/socket_path.h"

#include <asio/co_spawn.hpp>
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace qs {
namespace {

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

QSCliSession::QSCliSession() = default;

QSCliSession::~QSCliSession() { disconnect(); }

std::string QSCliSession::socketPath() {
  std::string configured = environmentValue("QS_DAEMON_SOCKET");
  return configured.empty() ? QSSocketPath::defaultPath() : configured;
}

std::string QSCliSession::lockPath() {
  std::string configured = environmentValue("QS_DAEMON_LOCK");
  return configured.empty() ? QSOwnerLock::defaultPath().string() : configured;
}

std::filesystem::path QSCliSession::ownExecutable() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw QSCliError("Couldn't tell where the qs executable is: " + error.message());
  return path;
}

std::filesystem::path QSCliSession::daemonExecutable() {
  std::string configured = environmentValue("QS_DAEMON_EXECUTABLE");
  if (!configured.empty()) return std::filesystem::absolute(configured);
  return ownExecutable().parent_path() / "quaysided";
}

asio::awaitable<std::shared_ptr<QSDaemonClient>> QSCliSession::client() {
  if (client_ && client_->isConnected()) co_return client_;
  auto fresh = QSDaemonClient::make(executor(), socketPath());
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
