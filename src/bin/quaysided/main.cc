// quaysided: the headless daemon. Takes the owner lock, builds the engine, serves the control
// socket, and shuts down cleanly on SIGTERM, SIGINT or a client's shutdownDaemon.
#include "core/daemon/daemon_build.h"
#include "core/daemon/daemon_paths.h"
#include "core/daemon/daemon_server.h"
#include "core/daemon/engine_host.h"
#include "core/daemon/owner_lock.h"
#include "core/platform/paths.h"
#include "core/platform/file_lock.h"
#include "core/platform/resource_limits.h"
#include "core/platform/system_error.h"
#include "core/platform/timestamp.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

using namespace qs;

// Every line carries the time it was written: daemon.log collects the output of every run.
void logLine(const std::string& line) {
  std::string stamped = QSTime::iso8601(QSTime::now()) + " " + line + "\n";
  std::fputs(stamped.c_str(), stderr);
  std::fflush(stderr);
}

std::string lockHeldLine(const std::string& lockPath) {
  std::optional<pid_t> holder = lockHolder(lockPath);
  std::string who = holder ? " (pid " + std::to_string(*holder) + ")" : "";
  return "quaysided: another Quayside process" + who + " already owns the services (the lock " + lockPath +
         " is held); not starting a second one.";
}

// Start-up, service and wind-down, on the loop. However the run ends (a failure while starting,
// SIGTERM or SIGINT at any point, a client's shutdownDaemon), the engine is shut down before it
// returns, so no server outlives the daemon and nothing the engine started keeps the loop busy.
// Rethrows what made the start fail.
asio::awaitable<void> serve(QSEngineHost& host, const bool& stopRequested, const std::string& socketPath) {
  std::exception_ptr failure;
  try {
    co_await host.start(stopRequested);
    // A signal that came during the bootstrap asked for a stop before there was anything to serve.
    if (!stopRequested) {
      logLine("quaysided: serving on " + socketPath + " (version " + QS_VERSION + ")");
      co_await host.server().waitUntilStopped();
    }
  } catch (...) {
    failure = std::current_exception();
  }
  host.server().stop();
  logLine(failure ? "quaysided: couldn't start: " + describeError(failure) + "; shutting down" : "quaysided: shutting down");
  co_await host.shutdown();
  if (failure) std::rethrow_exception(failure);
}

// Runs the daemon until it stops; its exit status. The owner lock is held throughout.
int runDaemon(const std::string& socketPath) {
  asio::io_context io;
  QSEngineHost host(io.get_executor(),
                    {.socketPath = socketPath, .log = logLine, .version = QS_VERSION, .build = QSDaemonBuild::current()});
  bool stopRequested = false;
  asio::signal_set signals(io, SIGTERM, SIGINT);
  signals.async_wait([&stopRequested, &host](const asio::error_code& ec, int) {
    if (ec) return;
    stopRequested = true;
    host.server().stop();
  });

  int status = 0;
  asio::co_spawn(io, serve(host, stopRequested, socketPath), [&](std::exception_ptr error) {
    if (error) status = 1;
    signals.cancel();
    // Whatever is still pending (a reader of a server that would not die) must not keep the
    // process from exiting.
    io.stop();
  });
  io.run();
  host.waitForBlockingWork();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
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
    logLine(lockHeldLine(lockPath));
    return 1;
  }
  try {
    raiseOpenFileLimit();
  } catch (const std::exception& e) {
    logLine(std::string("quaysided: ") + e.what());  // the default limit still serves a few hundred clients
  }
  int status = runDaemon(socketPath);
  lock.release();
  return status;
}
