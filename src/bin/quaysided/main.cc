// quaysided: the headless daemon. Takes the owner lock, builds the engine, serves the control
// socket, and shuts down cleanly on SIGTERM, SIGINT or a client's shutdownDaemon.
#include "core/daemon/daemon_build.h"
#include "core/daemon/daemon_paths.h"
#include "core/daemon/daemon_server.h"
#include "core/daemon/owner_lock.h"
#include "core/engine/daemon_service.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void logLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qs;
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quaysided %s (build %s)\n", QS_VERSION, QSDaemonBuild::current().c_str());
    return 0;
  }
  if (argc > 1) {
    std::fprintf(stderr, "quaysided takes no arguments; start it with 'qs daemon start'.\n");
    return 2;
  }
  // A client that goes away mid-write must not kill the daemon.
  std::signal(SIGPIPE, SIG_IGN);

  std::string socketPath, lockPath;
  try {
    socketPath = QSDaemonPaths::socketPath();
    lockPath = QSDaemonPaths::lockPath();
  } catch (const std::exception& e) {
    logLine(std::string("quaysided: can't prepare the data folder: ") + e.what());
    return 1;
  }
  QSOwnerLock lock(lockPath);
  if (!lock.tryAcquire()) {
    logLine("quaysided: another Quayside process already owns the services (the lock " + lockPath +
            " is held); not starting a second one.");
    return 1;
  }

  asio::io_context io;
  auto engine = QSDaemonService::make(io.get_executor(), {.log = logLine});
  auto server = std::make_shared<QSDaemonServer>(io.get_executor(), engine, socketPath, QS_VERSION,
                                                 QSDaemonBuild::current());
  asio::signal_set signals(io, SIGTERM, SIGINT);
  signals.async_wait([server](const asio::error_code& ec, int) {
    if (!ec) server->stop();
  });

  int status = 0;
  auto run = [&]() -> asio::awaitable<void> {
    co_await engine->bootstrap();
    co_await server->start();
    logLine("quaysided: serving on " + socketPath + " (version " + QS_VERSION + ")");
    co_await server->waitUntilStopped();
    logLine("quaysided: shutting down");
    co_await engine->shutdown();
    signals.cancel();
  };
  asio::co_spawn(io, run(), [&](std::exception_ptr error) {
    if (!error) return;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      logLine(std::string("quaysided: ") + e.what());
    }
    status = 1;
    signals.cancel();
    server->stop();
  });
  io.run();
  lock.release();
  return status;
}
