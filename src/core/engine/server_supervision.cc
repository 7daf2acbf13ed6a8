// Running project servers: start, console capture, readiness, exit, stop, and the console buffer.
#include "core/engine/daemon_service.h"

#include "core/engine/off_loop.h"
#include "core/platform/file_status.h"
#include "core/runtime/console_line_splitter.h"
#include "core/runtime/project_detector.h"
#include "core/runtime/server_readiness.h"
#include "core/runtime/swift_version_file.h"
#include "core/runtime/toolchain_service.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>

namespace qs {
namespace {

constexpr int kFallbackPort = 8080;

// Why a server cannot be built at all, in words that say what to install; nullopt when a
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

}  // namespace

void QSDaemonService::updateServer(QSServer server) {
  servers_[server.id] = server;
  emit(evt::ServerChanged{std::move(server)});
}

asio::awaitable<std::optional<std::filesystem::path>> QSDaemonService::toolchainPath(const QSProject& p) {
  std::optional<std::string> version = QSSwiftVersionFile::read(p.path);
  if (!version) version = p.swiftVersion;
  if (!version) co_return std::nullopt;
  // Discovery runs the default compiler's --version: not on the loop.
  // Named, not a temporary: g++ 12 copies temporaries inside co_await expressions bitwise.
  auto lookup = [version] { return QSToolchainService().toolchainPath(version); };
  co_return co_await runOffLoop(workers_, executor_, lookup);
}

asio::awaitable<void> QSDaemonService::startServer(const QSUUID& projectID) {
  requireProject(projectID);
  // Linked databases are brought in line with their engines here once the database layer exists.
  QSProject snapshot = requireProject(projectID);
  std::string target = QSProjectDetector().executableTargetName(snapshot.path).value_or("App");
  std::map<std::string, std::string> environment;
  for (const auto& variable : snapshot.environmentVariables)
    if (variable.isEnabled) environment[variable.key] = variable.value;
  auto toolchain = co_await toolchainPath(snapshot);

  QSLaunchedServer launched;
  try {
    if (auto missing = missingCompiler(snapshot, toolchain)) throw std::runtime_error(*missing);
    launched = co_await processManager_->launchServer(projectID, snapshot.path, target, snapshot.port, toolchain,
                                                      environment);
  } catch (const std::exception& e) {
    std::string description = e.what();
    QSServer failed{projectID, QSServerStatus::error, snapshot.port, std::nullopt, std::nullopt, description};
    updateServer(failed);
    throw QSDaemonException(QSDaemonError(derr::OperationFailed{description}));
  }
  updateServer(QSServer{projectID, QSServerStatus::building, snapshot.port, std::nullopt, std::nullopt, std::nullopt});
  logBuffers_[projectID].clear();
  startConsoleReader(std::move(launched.stdoutPipe), projectID);
  startConsoleReader(std::move(launched.stderrPipe), projectID);
  cancelServerExitMonitor(projectID);
  startExitMonitor(launched.termination, projectID);
}

// Reads one pipe until end of file, handing each complete line to the engine.
void QSDaemonService::startConsoleReader(UniqueFd pipe, const QSUUID& projectID) {
  if (!pipe) return;
  auto stream = std::make_shared<asio::posix::stream_descriptor>(executor_, pipe.release());
  std::weak_ptr<QSDaemonService> weak = weak_from_this();
  asio::co_spawn(
      executor_,
      [stream, weak, projectID]() -> asio::awaitable<void> {
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
          for (auto& line : lines) self->appendLog(projectID, std::move(line));
          if (ec) co_return;
        }
      },
      asio::detached);
}

void QSDaemonService::startExitMonitor(std::shared_ptr<QSTerminationStream> termination, const QSUUID& projectID) {
  auto cancelled = std::make_shared<bool>(false);
  serverExitTasks_[projectID] = cancelled;
  std::weak_ptr<QSDaemonService> weak = weak_from_this();
  asio::co_spawn(
      executor_,
      [termination, cancelled, weak, projectID]() -> asio::awaitable<void> {
        while (auto status = co_await termination->next()) {
          if (*cancelled) co_return;
          if (auto self = weak.lock()) self->handleServerExit(projectID, *status);
        }
      },
      asio::detached);
}

void QSDaemonService::cancelServerExitMonitor(const QSUUID& projectID) {
  auto it = serverExitTasks_.find(projectID);
  if (it == serverExitTasks_.end()) return;
  *it->second = true;
  serverExitTasks_.erase(it);
}

void QSDaemonService::appendLog(const QSUUID& projectID, std::string line) {
  auto& buffer = logBuffers_[projectID];
  buffer.push_back(line);
  while (buffer.size() > static_cast<std::size_t>(maxLogLines)) buffer.pop_front();
  emit(evt::LogLine{QSServiceRef(svc::Server{projectID}), line});
  if (!QSServerReadiness::indicatesServerReady(line)) return;
  auto it = servers_.find(projectID);
  if (it == servers_.end() || it->second.status != QSServerStatus::building) return;
  QSServer ready = it->second;
  ready.status = QSServerStatus::running;
  ready.startedAt = QSTime::now();
  updateServer(ready);
}

void QSDaemonService::handleServerExit(const QSUUID& projectID, std::int32_t status) {
  serverExitTasks_.erase(projectID);
  auto it = servers_.find(projectID);
  if (it == servers_.end() ||
      (it->second.status != QSServerStatus::building && it->second.status != QSServerStatus::running))
    return;
  const QSProject* p = project(projectID);
  int port = p ? p->port : it->second.port;
  auto outcome = QSServerExit::outcome(status);
  appendLog(projectID, outcome.logLine);
  updateServer(QSServer{projectID, outcome.status, port, std::nullopt, std::nullopt, outcome.errorMessage});
}

asio::awaitable<void> QSDaemonService::stopServer(const QSUUID& projectID) {
  cancelServerExitMonitor(projectID);
  co_await processManager_->stopServer(projectID);
  const QSProject* p = project(projectID);
  updateServer(QSServer{projectID, QSServerStatus::stopped, p ? p->port : kFallbackPort, std::nullopt, std::nullopt,
                        std::nullopt});
}

QSServer QSDaemonService::serverStatus(const QSUUID& projectID) const {
  if (auto it = servers_.find(projectID); it != servers_.end()) return it->second;
  int port = kFallbackPort;
  for (const auto& p : config_.projects)
    if (p.id == projectID) port = p.port;
  return QSServer{projectID, QSServerStatus::stopped, port, std::nullopt, std::nullopt, std::nullopt};
}

std::vector<std::string> QSDaemonService::logLines(const QSUUID& projectID, int count) const {
  auto it = logBuffers_.find(projectID);
  if (it == logBuffers_.end() || count <= 0) return {};
  const auto& buffer = it->second;
  std::size_t take = std::min(buffer.size(), static_cast<std::size_t>(count));
  return std::vector<std::string>(buffer.end() - static_cast<std::ptrdiff_t>(take), buffer.end());
}

}  // namespace qs
