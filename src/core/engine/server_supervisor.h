// Running project servers for the engine: launches them through the process manager, reads their
// consoles, recognises readiness, reports exits and stops them, and keeps each server's record
// and its last console lines. Run-time knowledge only: nothing here is saved.
//
// Lives on the service loop, owned by the engine. An operation that awaits (a launch, a stop)
// looks its project up again afterwards: the project may have been removed meanwhile.
#pragma once

#include "core/engine/build_setup.h"
#include "core/engine/launch_gate.h"
#include "core/engine/project_watch.h"
#include "core/engine/server_launches.h"
#include "core/engine/server_records.h"
#include "core/engine/server_watches.h"
#include "core/mail/mail_environment.h"
#include "core/models/project.h"
#include "core/models/server.h"
#include "core/protocol/event.h"
#include "core/runtime/server_process_managing.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/thread_pool.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSServerSupervisor : public std::enable_shared_from_this<QSServerSupervisor> {
public:
  struct Hooks {
    // The engine's current record of a project; null once it has been removed.
    std::function<const QSProject*(const QSUUID&)> findProject;
    // Publishes serverChanged and logLine events.
    std::function<void(QSEvent)> emit;
    // Where the mail catcher listens; nothing while it does not (servers then keep their MAIL_PORT).
    std::function<std::optional<QSCatcherPorts>()> mailPorts;
  };

  QSServerSupervisor(asio::any_io_executor executor, asio::thread_pool& workers,
                     std::shared_ptr<QSServerProcessManaging> processManager, Hooks hooks,
                     QSWatchOptions watchOptions = {});

  // Builds and runs the project's server: record `building`, console lines as logLine events,
  // `running` at the readiness line, `stopped`/`error` at its exit. Throws QSDaemonException (and
  // records `error`) when it cannot be launched: no compiler, another project's server on the
  // same port, a missing folder, the project removed meanwhile, or launches refused. A project in
  // watch mode is watched from then on (see QSProjectWatch) while its server is active.
  asio::awaitable<void> start(QSUUID projectID);
  // Stops the server (its whole process group) and records it `stopped`; no exit line is logged.
  // A watch build under way is ended with it.
  asio::awaitable<void> stop(QSUUID projectID);
  asio::awaitable<void> restart(QSUUID projectID);
  // Forgets the record and console of a removed project (stop its server first).
  void forget(const QSUUID& projectID);
  // For shutdown: refuses every later launch, then stops every server that runs, including one
  // launched while this waits.
  asio::awaitable<void> stopAll();
  // Stops servers of these projects that an earlier daemon left running (it crashed).
  asio::awaitable<void> stopLeftovers(const std::vector<QSProject>& projects);

  // The project's watch mode was switched: an active server starts or stops being watched.
  void watchSettingChanged(const QSUUID& projectID);

  // Records an error for a server that is not running (e.g. a rename whose move failed).
  void recordError(const QSUUID& projectID, std::string message);

  // Each server's record and console.
  const QSServerRecords& records() const { return *records_; }
  // The processes of the servers, for the process of each one that is building or running.
  const QSServerLaunches& launches() const { return *launches_; }

private:
  const QSProject& requireProject(const QSUUID& projectID) const;
  asio::awaitable<void> launch(QSUUID projectID, bool skipBuild);
  QSProjectWatch::Hooks watchHooks(const QSUUID& projectID);
  asio::awaitable<void> runNewBuild(QSUUID projectID);
  void refuseIfPortTaken(const QSProject& project);
  void checkStillWanted(const QSUUID& projectID) const;
  [[noreturn]] void fail(const QSProject& project, const std::string& message);

  std::shared_ptr<QSServerProcessManaging> processManager_;
  Hooks hooks_;
  QSLaunchGate gate_;
  std::shared_ptr<QSServerRecords> records_;
  QSBuildSetup builds_;
  // Declared before the launches: on destruction every launch is cancelled, then every watch ended.
  QSServerWatches watches_;
  std::shared_ptr<QSServerLaunches> launches_;
};

}  // namespace qs
