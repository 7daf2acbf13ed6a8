// The engine with everything that runs beside it (database engines, snapshots) and the daemon
// server in front of it: what quaysided runs, and what the desktop app runs in its own process
// when it owns the services.
#pragma once

#include "core/platform/async_queue.h"
#include "core/protocol/event.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSDaemonBackups;
class QSDaemonServer;
class QSDaemonService;
class QSDatabaseServiceAdapter;
class QSEventTee;

struct QSEngineHostOptions {
  std::string socketPath;
  // Receives every log line of the engine and the host (already prefixed "quaysided: ").
  std::function<void(const std::string&)> log;
  // What `ping` answers with.
  std::string version;
  std::string build;
};

// Lives on the service loop; every call is made there.
class QSEngineHost {
public:
  // Builds the engine over the standard data folder and the settings; serves nothing yet.
  QSEngineHost(asio::any_io_executor executor, QSEngineHostOptions options);
  // Stops serving; the engine must have been shut down (shutdown()) when it ran.
  ~QSEngineHost();
  QSEngineHost(const QSEngineHost&) = delete;
  QSEngineHost& operator=(const QSEngineHost&) = delete;

  // A second stream of every engine event, for a process that shows them itself (the desktop
  // app). Call before start(); the stream finishes when the host shuts down.
  std::shared_ptr<QSAsyncQueue<QSEvent>> mirrorEvents();

  // The engine's bootstrap (orphans reaped, network services and linked databases started,
  // flagged servers started), the snapshot schedule, then the control socket. `stopRequested`
  // is read after the bootstrap: a stop asked for meanwhile leaves the socket unserved.
  // Rethrows what made the bootstrap or the socket fail; the engine then still needs shutdown().
  asio::awaitable<void> start(const bool& stopRequested);
  // Closes the socket, stops the snapshots and shuts the engine down (servers, databases and
  // network services stopped). Safe to call more than once.
  asio::awaitable<void> shutdown();
  // Waits for the blocking work still under way on the worker threads (a tool run, a /proc scan,
  // a snapshot) to end. Such work posts its result to the loop when it ends, so a process that
  // stops its loop calls this before the loop is destroyed: a result posted into a loop being
  // destroyed is undefined behaviour. Call after shutdown(), off the loop (it blocks).
  void waitForBlockingWork();

  QSDaemonService& engine() { return *engine_; }
  QSDaemonServer& server() { return *server_; }

private:
  asio::any_io_executor executor_;
  QSEngineHostOptions options_;
  std::shared_ptr<QSDatabaseServiceAdapter> databases_;
  std::shared_ptr<QSDaemonService> engine_;
  std::unique_ptr<QSDaemonBackups> backups_;
  std::shared_ptr<QSEventTee> tee_;
  std::shared_ptr<QSDaemonServer> server_;
  bool shutDown_ = false;
};

}  // namespace qs
