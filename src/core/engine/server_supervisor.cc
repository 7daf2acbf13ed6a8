#include "core/engine/server_supervisor.h"

#include "core/protocol/daemon_error.h"
#include "core/runtime/cold_build.h"
#include "core/runtime/project_detector.h"

#include <exception>
#include <map>

namespace qs {
namespace {

const char* const kShuttingDown = "quaysided is shutting down; no server is started now.";

[[noreturn]] void throwError(QSDaemonError error) { throw QSDaemonException(std::move(error)); }

}  // namespace

QSServerSupervisor::QSServerSupervisor(asio::any_io_executor executor, asio::thread_pool& workers,
                                       std::shared_ptr<QSServerProcessManaging> processManager, Hooks hooks,
                                       QSWatchOptions watchOptions)
    : processManager_(std::move(processManager)), hooks_(std::move(hooks)), gate_(executor),
      records_(std::make_shared<QSServerRecords>(QSServerRecords::Hooks{hooks_.findProject, hooks_.emit})),
      builds_(workers, executor, records_, hooks_.findProject), watches_(executor, watchOptions, records_),
      launches_(std::make_shared<QSServerLaunches>(executor, records_)) {}

const QSProject& QSServerSupervisor::requireProject(const QSUUID& projectID) const {
  if (const QSProject* p = hooks_.findProject(projectID)) return *p;
  throwError(daemonError::ProjectNotFound{projectID.string()});
}

void QSServerSupervisor::checkStillWanted(const QSUUID& projectID) const {
  requireProject(projectID);
  if (gate_.isClosed()) throwError(daemonError::OperationFailed{kShuttingDown});
}

void QSServerSupervisor::fail(const QSProject& project, const std::string& message) {
  records_->update(QSServer{project.id, QSServerStatus::error, project.port, std::nullopt, std::nullopt, message});
  throwError(daemonError::OperationFailed{message});
}

// Two projects may share a port on paper; only one server can have it. The one already running
// keeps it, and nothing of it is touched.
void QSServerSupervisor::refuseIfPortTaken(const QSProject& project) {
  for (const auto& server : records_->servers()) {
    const QSUUID& id = server.id;
    if (id == project.id || server.port != project.port || !records_->isActive(id)) continue;
    const QSProject* holder = hooks_.findProject(id);
    std::string name = holder ? holder->name : id.string();
    fail(project, "Port " + std::to_string(project.port) + " is used by " + name + "'s server. Stop " + name +
                     ", or give " + project.name + " another port, then start it again.");
  }
}

asio::awaitable<void> QSServerSupervisor::start(QSUUID projectID) { co_await launch(projectID, false); }

asio::awaitable<void> QSServerSupervisor::launch(QSUUID projectID, bool skipBuild) {
  checkStillWanted(projectID);
  // Counted, so that stopAll can wait for a launch under way and catch the server it started.
  QSLaunchGate::Pass pass = gate_.enter();

  refuseIfPortTaken(requireProject(projectID));
  // A watch restart keeps the console: it holds the build that led to it.
  if (!skipBuild) records_->clearLog(projectID);
  QSToolchainChoice toolchain = co_await builds_.chooseToolchain(requireProject(projectID));
  checkStillWanted(projectID);  // removed, or shutting down, while the toolchain was chosen

  QSProject snapshot = requireProject(projectID);
  if (!skipBuild) {
    if (auto notice = coldBuildNotice(detectColdBuild(snapshot.path)))
      records_->appendLog(projectID, "[" + *notice + "]");
  }
  std::string target = QSProjectDetector().executableTargetName(snapshot.path).value_or("App");
  std::map<std::string, std::string> environment = enabledEnvironment(snapshot);
  if (auto ports = hooks_.mailPorts ? hooks_.mailPorts() : std::nullopt)
    if (auto note = pointMailAtCatcher(environment, *ports)) records_->appendLog(projectID, *note);
  if (toolchain.missing) fail(snapshot, *toolchain.missing);

  QSLaunchedServer launched;
  try {
    launched = co_await processManager_->launchServer(projectID, snapshot.path, target, snapshot.port, toolchain.path,
                                                      environment, skipBuild);
  } catch (const std::exception& e) {
    fail(snapshot, e.what());
  }
  if (!hooks_.findProject(projectID) || gate_.isClosed()) {
    co_await processManager_->stopServer(projectID);
    checkStillWanted(projectID);
  }

  launches_->cancel(projectID);
  launches_->add(projectID, launched.pid);
  records_->update(
      QSServer{projectID, QSServerStatus::building, snapshot.port, launched.pid, std::nullopt, std::nullopt});
  launches_->follow(projectID, std::move(launched.consolePipe), launched.termination);
  if (snapshot.watchesSources() && !watches_.isWatched(projectID))
    watches_.start(requireProject(projectID), watchHooks(projectID));
}

asio::awaitable<void> QSServerSupervisor::stop(QSUUID projectID) {
  co_await watches_.stop(projectID);
  launches_->cancel(projectID);
  co_await processManager_->stopServer(projectID);
  int port = records_->status(projectID).port;
  if (const QSProject* p = hooks_.findProject(projectID)) port = p->port;
  records_->update(QSServer{projectID, QSServerStatus::stopped, port, std::nullopt, std::nullopt, std::nullopt});
}

asio::awaitable<void> QSServerSupervisor::restart(QSUUID projectID) {
  requireProject(projectID);
  // The restart builds anyway; a watch build beside it would only contend for the build folder.
  co_await watches_.stop(projectID);
  launches_->cancel(projectID);
  co_await processManager_->stopServer(projectID);
  co_await start(projectID);
}

void QSServerSupervisor::forget(const QSUUID& projectID) {
  watches_.end(projectID);
  launches_->cancel(projectID);
  records_->forget(projectID);
}

asio::awaitable<void> QSServerSupervisor::stopAll() {
  // A start under way stops the server it launched once it sees the refusal.
  co_await gate_.close();
  co_await watches_.stopAll();
  launches_->cancelAll();
  co_await processManager_->stopAll();
  std::vector<QSServer> active;
  for (const auto& server : records_->servers())
    if (records_->isActive(server.id)) active.push_back(server);
  for (auto server : active) {
    server.status = QSServerStatus::stopped;
    server.startedAt.reset();
    server.pid.reset();
    records_->update(server);
  }
}

asio::awaitable<void> QSServerSupervisor::stopLeftovers(const std::vector<QSProject>& projects) {
  for (const auto& project : projects) co_await processManager_->stopLeftovers(project.path, project.port);
}

void QSServerSupervisor::watchSettingChanged(const QSUUID& projectID) {
  const QSProject* project = hooks_.findProject(projectID);
  bool wanted = project && project->watchesSources() && records_->isActive(projectID);
  bool watched = watches_.isWatched(projectID);
  if (wanted && !watched) watches_.start(requireProject(projectID), watchHooks(projectID));
  if (wanted || !watched) return;
  watches_.end(projectID);
  records_->appendLog(projectID, "[Watch mode is off: saved changes no longer rebuild the server]");
  records_->setActivity(projectID, std::nullopt, std::nullopt);
}

QSProjectWatch::Hooks QSServerSupervisor::watchHooks(const QSUUID& projectID) {
  std::weak_ptr<QSServerSupervisor> weak = weak_from_this();
  QSProjectWatch::Hooks hooks;
  hooks.console = [weak, projectID](std::string line) {
    if (auto self = weak.lock()) self->records_->appendLog(projectID, std::move(line));
  };
  hooks.rebuilding = [weak, projectID](bool on) {
    if (auto self = weak.lock())
      self->records_->setActivity(projectID, on ? std::optional<std::string>("rebuilding") : std::nullopt,
                                  std::nullopt);
  };
  hooks.build = [weak, projectID]() -> asio::awaitable<std::optional<QSBuildRequest>> {
    auto self = weak.lock();
    if (!self) co_return std::nullopt;
    co_return co_await self->builds_.buildRequest(projectID);
  };
  hooks.runNewBuild = [weak, projectID]() -> asio::awaitable<void> {
    if (auto self = weak.lock()) co_await self->runNewBuild(projectID);
  };
  hooks.buildFailed = [weak, projectID](std::string failure) {
    if (auto self = weak.lock()) self->records_->setActivity(projectID, std::nullopt, std::move(failure));
  };
  hooks.ended = [weak, projectID] {
    if (auto self = weak.lock()) self->watches_.ended(projectID);
  };
  return hooks;
}

// The new build replaces the server: stop, then run it as built. A launch that fails is
// recorded as any start's failure is, and the watch goes on for the next save.
asio::awaitable<void> QSServerSupervisor::runNewBuild(QSUUID projectID) {
  launches_->cancel(projectID);
  co_await processManager_->stopServer(projectID);
  try {
    co_await launch(projectID, true);
  } catch (const std::exception& e) {
    records_->appendLog(projectID, std::string("[The new build could not be started: ") + e.what() + "]");
  }
}

void QSServerSupervisor::recordError(const QSUUID& projectID, std::string message) {
  const QSProject* p = hooks_.findProject(projectID);
  int port = p ? p->port : records_->status(projectID).port;
  records_->update(QSServer{projectID, QSServerStatus::error, port, std::nullopt, std::nullopt, std::move(message)});
}

}  // namespace qs
