#include "core/engine/server_supervisor.h"

#include "core/engine/off_loop.h"
#include "core/models/swift_version_file.h"
#include "core/platform/file_status.h"
#include "core/protocol/daemon_error.h"
#include "core/runtime/cold_build.h"
#include "core/runtime/console_line_splitter.h"
#include "core/runtime/process_manager.h"
#include "core/runtime/project_detector.h"
#include "core/runtime/server_readiness.h"
#include "core/runtime/toolchain_service.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

namespace qs {

// One launched process of a project. Its readers and exit monitor hold it, not the supervisor.
struct QSServerSupervisor::Launch {
  Launch(QSUUID id, asio::any_io_executor executor) : projectID(id), drained(std::move(executor)) {}
  QSUUID projectID;
  std::int32_t pid = 0;    // the launched process, which leads its process group
  bool cancelled = false;  // stopped, replaced or removed: its exit is not reported
  int openReaders = 0;     // console pipes not yet at their end
  asio::steady_timer drained;
};

namespace {

// A server's last words are written before it exits, but its pipes and its exit reach the loop
// independently: the exit waits this long at most for the console to be read to its end (a
// helper the server forked may keep the pipes open for ever).
constexpr std::chrono::seconds kConsoleDrainLimit{1};

// The port recorded for a server whose project has gone.
constexpr int kFallbackPort = 8080;

const char* const kShuttingDown = "quaysided is shutting down; no server is started now.";

[[noreturn]] void throwError(QSDaemonError error) { throw QSDaemonException(std::move(error)); }

// Why a server cannot be built at all, in words that say what to install; nothing when a
// compiler is there.
std::optional<std::string> missingCompiler(const QSProject& project,
                                           const std::optional<std::filesystem::path>& toolchain) {
  if (toolchain || isExecutableFile(QSToolchainService::defaultCompilerPath())) return std::nullopt;
  std::optional<std::string> pinned = QSSwiftVersionFile::read(project.path);
  if (!pinned) pinned = project.swiftVersion;
  std::string wanted = pinned ? "Swift " + *pinned + " (pinned for " + project.name + ") isn't installed" : "";
  return (pinned ? wanted + " and no" : "No") +
         std::string(" swift compiler was found on this machine. Install Swift (with swiftly, or unpacked into "
                     "/opt/swift), or list a folder of toolchains in QS_TOOLCHAIN_DIRS, then start ") +
         project.name + " again.";
}

struct ToolchainChoice {
  std::optional<std::filesystem::path> path;
  std::optional<std::string> note;  // said on the console when the choice is not the obvious one
};

// The pinned toolchain; else the default compiler; else, when there is none, the newest
// installed toolchain rather than no compiler at all.
ToolchainChoice chooseToolchainFor(const std::optional<std::string>& pin) {
  QSToolchainService service;
  if (pin) {
    if (auto path = service.toolchainPath(pin)) return {path, std::nullopt};
    // The default compiler builds it, which may not be what the pin asked for: say so.
    auto note = service.missingPinNote(pin);
    return {std::nullopt, note ? std::optional<std::string>("[" + *note + "]") : std::nullopt};
  }
  if (isExecutableFile(QSToolchainService::defaultCompilerPath())) return {};
  auto newest = service.newestInstalledToolchain();
  if (!newest) return {};
  return {newest->path, "[No swift compiler on PATH: building with " + newest->id + " (Swift " + newest->version +
                            "), the newest installed toolchain]"};
}

std::map<std::string, std::string> enabledEnvironment(const QSProject& project) {
  std::map<std::string, std::string> environment;
  for (const auto& variable : project.environmentVariables)
    if (variable.isEnabled) environment[variable.key] = variable.value;
  return environment;
}

}  // namespace

QSServerSupervisor::QSServerSupervisor(asio::any_io_executor executor, asio::thread_pool& workers,
                                       std::shared_ptr<QSServerProcessManaging> processManager, Hooks hooks,
                                       QSWatchOptions watchOptions)
    : executor_(executor), workers_(workers), processManager_(std::move(processManager)), hooks_(std::move(hooks)),
      startsSettled_(executor), watchOptions_(watchOptions) {}

QSServerSupervisor::~QSServerSupervisor() {
  for (auto& [id, launch] : launches_) launch->cancelled = true;
  for (auto& [id, watch] : watches_) watch->end();
}

const QSProject& QSServerSupervisor::requireProject(const QSUUID& projectID) const {
  if (const QSProject* p = hooks_.findProject(projectID)) return *p;
  throwError(daemonError::ProjectNotFound{projectID.string()});
}

void QSServerSupervisor::checkStillWanted(const QSUUID& projectID) const {
  requireProject(projectID);
  if (launchesRefused_) throwError(daemonError::OperationFailed{kShuttingDown});
}

void QSServerSupervisor::fail(const QSProject& project, const std::string& message) {
  update(QSServer{project.id, QSServerStatus::error, project.port, std::nullopt, std::nullopt, message});
  throwError(daemonError::OperationFailed{message});
}

// Two projects may share a port on paper; only one server can have it. The one already running
// keeps it, and nothing of it is touched.
void QSServerSupervisor::refuseIfPortTaken(const QSProject& project) {
  for (const auto& [id, server] : servers_) {
    if (id == project.id || server.port != project.port || !isActive(id)) continue;
    const QSProject* holder = hooks_.findProject(id);
    std::string name = holder ? holder->name : id.string();
    fail(project, "Port " + std::to_string(project.port) + " is used by " + name + "'s server. Stop " + name +
                     ", or give " + project.name + " another port, then start it again.");
  }
}

asio::awaitable<std::optional<std::filesystem::path>> QSServerSupervisor::chooseToolchain(const QSProject& project) {
  std::optional<std::string> pin = QSSwiftVersionFile::read(project.path);
  if (!pin) pin = project.swiftVersion;
  // Discovery may run the default compiler's --version: not on the loop.
  auto lookup = [pin] { return chooseToolchainFor(pin); };
  ToolchainChoice choice = co_await runOffLoop(workers_, executor_, lookup);
  if (choice.note) appendLog(project.id, *choice.note);
  co_return choice.path;
}

asio::awaitable<void> QSServerSupervisor::start(QSUUID projectID) { co_await launch(projectID, false); }

asio::awaitable<void> QSServerSupervisor::launch(QSUUID projectID, bool skipBuild) {
  checkStillWanted(projectID);
  // Counted, so that stopAll can wait for a launch under way and catch the server it started.
  ++startsInProgress_;
  struct Settle {
    QSServerSupervisor& self;
    ~Settle() {
      if (--self.startsInProgress_ == 0) self.startsSettled_.cancel();
    }
  } settle{*this};

  refuseIfPortTaken(requireProject(projectID));
  // A watch restart keeps the console: it holds the build that led to it.
  if (!skipBuild) logBuffers_[projectID].clear();
  auto toolchain = co_await chooseToolchain(requireProject(projectID));
  checkStillWanted(projectID);  // removed, or shutting down, while the toolchain was chosen

  QSProject snapshot = requireProject(projectID);
  if (!skipBuild) {
    if (auto notice = coldBuildNotice(detectColdBuild(snapshot.path))) appendLog(projectID, "[" + *notice + "]");
  }
  std::string target = QSProjectDetector().executableTargetName(snapshot.path).value_or("App");
  std::map<std::string, std::string> environment = enabledEnvironment(snapshot);
  if (auto ports = hooks_.mailPorts ? hooks_.mailPorts() : std::nullopt)
    if (auto note = pointMailAtCatcher(environment, *ports)) appendLog(projectID, *note);
  if (auto missing = missingCompiler(snapshot, toolchain)) fail(snapshot, *missing);

  QSLaunchedServer launched;
  try {
    launched = co_await processManager_->launchServer(projectID, snapshot.path, target, snapshot.port, toolchain,
                                                      environment, skipBuild);
  } catch (const std::exception& e) {
    fail(snapshot, e.what());
  }
  if (!hooks_.findProject(projectID) || launchesRefused_) {
    co_await processManager_->stopServer(projectID);
    checkStillWanted(projectID);
  }

  cancelExitMonitor(projectID);
  auto launch = std::make_shared<Launch>(projectID, executor_);
  launch->pid = launched.pid;
  launches_[projectID] = launch;
  update(QSServer{projectID, QSServerStatus::building, snapshot.port, launched.pid, std::nullopt, std::nullopt});
  startConsoleReader(std::move(launched.consolePipe), launch);
  startExitMonitor(launched.termination, launch);
  if (snapshot.watchesSources() && !watches_.contains(projectID)) startWatch(projectID);
}

asio::awaitable<void> QSServerSupervisor::stop(QSUUID projectID) {
  co_await stopWatch(projectID);
  cancelExitMonitor(projectID);
  co_await processManager_->stopServer(projectID);
  int port = servers_.contains(projectID) ? servers_[projectID].port : kFallbackPort;
  if (const QSProject* p = hooks_.findProject(projectID)) port = p->port;
  update(QSServer{projectID, QSServerStatus::stopped, port, std::nullopt, std::nullopt, std::nullopt});
}

asio::awaitable<void> QSServerSupervisor::restart(QSUUID projectID) {
  requireProject(projectID);
  // The restart builds anyway; a watch build beside it would only contend for the build folder.
  co_await stopWatch(projectID);
  cancelExitMonitor(projectID);
  co_await processManager_->stopServer(projectID);
  co_await start(projectID);
}

void QSServerSupervisor::forget(const QSUUID& projectID) {
  if (auto it = watches_.find(projectID); it != watches_.end()) {
    it->second->end();
    watches_.erase(it);
  }
  cancelExitMonitor(projectID);
  servers_.erase(projectID);
  logBuffers_.erase(projectID);
}

asio::awaitable<void> QSServerSupervisor::stopAll() {
  launchesRefused_ = true;
  // A start under way stops the server it launched once it sees the refusal.
  while (startsInProgress_ > 0) {
    startsSettled_.expires_at(asio::steady_timer::time_point::max());
    asio::error_code ignored;
    co_await startsSettled_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  std::vector<QSUUID> watched;
  for (const auto& [id, watch] : watches_) watched.push_back(id);
  for (const auto& id : watched) co_await stopWatch(id);
  for (auto& [id, launch] : launches_) launch->cancelled = true;
  launches_.clear();
  co_await processManager_->stopAll();
  std::vector<QSServer> active;
  for (const auto& [id, server] : servers_)
    if (isActive(id)) active.push_back(server);
  for (auto server : active) {
    server.status = QSServerStatus::stopped;
    server.startedAt.reset();
    server.pid.reset();
    update(server);
  }
}

asio::awaitable<void> QSServerSupervisor::stopLeftovers(const std::vector<QSProject>& projects) {
  for (const auto& project : projects) co_await processManager_->stopLeftovers(project.path, project.port);
}

void QSServerSupervisor::watchSettingChanged(const QSUUID& projectID) {
  const QSProject* project = hooks_.findProject(projectID);
  bool wanted = project && project->watchesSources() && isActive(projectID);
  auto it = watches_.find(projectID);
  if (wanted && it == watches_.end()) startWatch(projectID);
  if (wanted || it == watches_.end()) return;
  it->second->end();
  watches_.erase(it);
  appendLog(projectID, "[Watch mode is off: saved changes no longer rebuild the server]");
  setActivity(projectID, std::nullopt, std::nullopt);
}

bool QSServerSupervisor::isWatched(const QSUUID& projectID) const { return watches_.contains(projectID); }

void QSServerSupervisor::startWatch(const QSUUID& projectID) {
  const QSProject& project = requireProject(projectID);
  auto watch = QSProjectWatch::start(executor_, project.path, project.name, watchHooks(projectID), watchOptions_);
  if (!watch->hasEnded()) watches_[projectID] = watch;
}

asio::awaitable<void> QSServerSupervisor::stopWatch(QSUUID projectID) {
  auto it = watches_.find(projectID);
  if (it == watches_.end()) co_return;
  auto watch = it->second;
  watches_.erase(it);
  co_await watch->stop();
  setActivity(projectID, std::nullopt, std::nullopt);
}

QSProjectWatch::Hooks QSServerSupervisor::watchHooks(const QSUUID& projectID) {
  std::weak_ptr<QSServerSupervisor> weak = weak_from_this();
  QSProjectWatch::Hooks hooks;
  hooks.console = [weak, projectID](std::string line) {
    if (auto self = weak.lock()) self->appendLog(projectID, std::move(line));
  };
  hooks.rebuilding = [weak, projectID](bool on) {
    if (auto self = weak.lock()) self->setActivity(projectID, on ? std::optional<std::string>("rebuilding") : std::nullopt,
                                                   std::nullopt);
  };
  hooks.build = [weak, projectID]() -> asio::awaitable<std::optional<QSBuildRequest>> {
    auto self = weak.lock();
    if (!self) co_return std::nullopt;
    co_return co_await self->buildRequest(projectID);
  };
  hooks.runNewBuild = [weak, projectID]() -> asio::awaitable<void> {
    if (auto self = weak.lock()) co_await self->runNewBuild(projectID);
  };
  hooks.buildFailed = [weak, projectID](std::string failure) {
    if (auto self = weak.lock()) self->setActivity(projectID, std::nullopt, std::move(failure));
  };
  hooks.ended = [weak, projectID] {
    auto self = weak.lock();
    if (!self) return;
    self->watches_.erase(projectID);
    self->setActivity(projectID, std::nullopt, std::nullopt);
  };
  return hooks;
}

asio::awaitable<std::optional<QSBuildRequest>> QSServerSupervisor::buildRequest(QSUUID projectID) {
  if (!hooks_.findProject(projectID)) co_return std::nullopt;
  auto toolchain = co_await chooseToolchain(requireProject(projectID));
  const QSProject* project = hooks_.findProject(projectID);
  if (!project) co_return std::nullopt;
  QSBuildRequest request;
  request.swift = QSProcessManager::swiftExecutable(toolchain);
  request.projectPath = project->path;
  request.target = QSProjectDetector().executableTargetName(project->path).value_or("App");
  request.environment = enabledEnvironment(*project);
  co_return request;
}

// The new build replaces the server: stop, then run it as built. A launch that fails is
// recorded as any start's failure is, and the watch goes on for the next save.
asio::awaitable<void> QSServerSupervisor::runNewBuild(QSUUID projectID) {
  cancelExitMonitor(projectID);
  co_await processManager_->stopServer(projectID);
  try {
    co_await launch(projectID, true);
  } catch (const std::exception& e) {
    appendLog(projectID, std::string("[The new build could not be started: ") + e.what() + "]");
  }
}

void QSServerSupervisor::setActivity(const QSUUID& projectID, std::optional<std::string> activity,
                                     std::optional<std::string> error) {
  auto it = servers_.find(projectID);
  if (it == servers_.end()) return;
  QSServer changed = it->second;
  changed.activity = std::move(activity);
  if (error) changed.errorMessage = std::move(error);
  if (changed != it->second) update(changed);
}

void QSServerSupervisor::recordError(const QSUUID& projectID, std::string message) {
  const QSProject* p = hooks_.findProject(projectID);
  int port = p ? p->port : status(projectID).port;
  update(QSServer{projectID, QSServerStatus::error, port, std::nullopt, std::nullopt, std::move(message)});
}

void QSServerSupervisor::update(QSServer server) {
  servers_[server.id] = server;
  hooks_.emit(evt::ServerChanged{std::move(server)});
}

// Reads one pipe until its end, handing each complete line to the supervisor.
void QSServerSupervisor::startConsoleReader(UniqueFd pipe, std::shared_ptr<Launch> launch) {
  if (!pipe) return;
  ++launch->openReaders;
  auto stream = std::make_shared<asio::posix::stream_descriptor>(executor_, pipe.release());
  std::weak_ptr<QSServerSupervisor> weak = weak_from_this();
  asio::co_spawn(
      executor_,
      [stream, weak, launch]() -> asio::awaitable<void> {
        QSConsoleLineSplitter splitter;
        // Modest reads: a server that floods its console then hands the loop back after a few
        // hundred lines, so their events reach the sockets between reads instead of piling up.
        std::vector<char> buffer(16 * 1024);
        for (;;) {
          asio::error_code ec;
          std::size_t n = co_await stream->async_read_some(asio::buffer(buffer),
                                                           asio::redirect_error(asio::use_awaitable, ec));
          auto lines = ec ? splitter.finish() : splitter.feed(std::string_view(buffer.data(), n));
          auto self = weak.lock();
          if (!self) co_return;
          for (auto& line : lines) self->appendLog(launch->projectID, std::move(line));
          if (!ec) continue;
          if (--launch->openReaders == 0) launch->drained.cancel();
          co_return;
        }
      },
      asio::detached);
}

void QSServerSupervisor::startExitMonitor(std::shared_ptr<QSTerminationStream> termination,
                                          std::shared_ptr<Launch> launch) {
  std::weak_ptr<QSServerSupervisor> weak = weak_from_this();
  asio::co_spawn(
      executor_,
      [termination, launch, weak]() -> asio::awaitable<void> {
        auto status = co_await termination->next();
        if (!status || launch->cancelled) co_return;
        if (launch->openReaders > 0) {
          launch->drained.expires_after(kConsoleDrainLimit);
          asio::error_code ignored;
          co_await launch->drained.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
        }
        if (launch->cancelled) co_return;
        if (auto self = weak.lock()) self->handleExit(launch->projectID, *status);
      },
      asio::detached);
}

void QSServerSupervisor::cancelExitMonitor(const QSUUID& projectID) {
  auto it = launches_.find(projectID);
  if (it == launches_.end()) return;
  it->second->cancelled = true;
  launches_.erase(it);
}

void QSServerSupervisor::appendLog(const QSUUID& projectID, std::string line) {
  auto& buffer = logBuffers_[projectID];
  // A full buffer reuses its oldest entry's storage: a flooding console costs no allocation here.
  std::string kept;
  if (buffer.size() >= static_cast<std::size_t>(maxLogLines)) {
    kept = std::move(buffer.front());
    buffer.pop_front();
  }
  kept.assign(line);
  buffer.push_back(std::move(kept));
  while (buffer.size() > static_cast<std::size_t>(maxLogLines)) buffer.pop_front();
  bool readiness = QSServerReadiness::indicatesServerReady(line);
  hooks_.emit(evt::LogLine{QSServiceRef(svc::Server{projectID}), std::move(line)});
  if (!readiness) return;
  auto it = servers_.find(projectID);
  if (it == servers_.end() || it->second.status != QSServerStatus::building) return;
  QSServer ready = it->second;
  ready.status = QSServerStatus::running;
  ready.startedAt = QSTime::now();
  update(ready);
}

void QSServerSupervisor::handleExit(const QSUUID& projectID, std::int32_t status) {
  launches_.erase(projectID);
  auto it = servers_.find(projectID);
  if (it == servers_.end() || !isActive(projectID)) return;
  const QSProject* p = hooks_.findProject(projectID);
  int port = p ? p->port : it->second.port;
  auto outcome = QSServerExit::outcome(status);
  appendLog(projectID, outcome.logLine);
  update(QSServer{projectID, outcome.status, port, std::nullopt, std::nullopt, outcome.errorMessage});
}

std::map<std::int32_t, QSUUID> QSServerSupervisor::serverProcessIDs() const {
  std::map<std::int32_t, QSUUID> pids;
  for (const auto& [projectID, launch] : launches_)
    if (launch->pid > 0 && !launch->cancelled && isActive(projectID)) pids[launch->pid] = projectID;
  return pids;
}

QSServer QSServerSupervisor::status(const QSUUID& projectID) const {
  if (auto it = servers_.find(projectID); it != servers_.end()) return it->second;
  QSServer stopped{projectID, QSServerStatus::stopped, kFallbackPort, std::nullopt, std::nullopt, std::nullopt};
  if (const QSProject* p = hooks_.findProject(projectID)) stopped.port = p->port;
  return stopped;
}

std::vector<QSServer> QSServerSupervisor::servers() const {
  std::vector<QSServer> all;
  for (const auto& [id, server] : servers_) all.push_back(server);
  return all;
}

std::vector<std::string> QSServerSupervisor::logLines(const QSUUID& projectID, int count) const {
  auto it = logBuffers_.find(projectID);
  if (it == logBuffers_.end() || count <= 0) return {};
  const auto& buffer = it->second;
  std::size_t take = std::min(buffer.size(), static_cast<std::size_t>(count));
  return std::vector<std::string>(buffer.end() - static_cast<std::ptrdiff_t>(take), buffer.end());
}

bool QSServerSupervisor::isActive(const QSUUID& projectID) const {
  auto it = servers_.find(projectID);
  return it != servers_.end() &&
         (it->second.status == QSServerStatus::building || it->second.status == QSServerStatus::running);
}

}  // namespace qs
