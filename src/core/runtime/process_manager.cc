#include "core/runtime/process_manager.h"

#include "core/platform/child_process.h"
#include "core/platform/file_status.h"
#include "core/platform/port_probe.h"
#include "core/platform/proc_table.h"
#include "core/runtime/port_scanner.h"
#include "core/runtime/toolchain_service.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>

namespace qs {

struct QSProcessManager::RunningServer {
  std::shared_ptr<QSChildProcess> process;
  int port = 0;
  std::string executableTarget;
  std::filesystem::path projectPath;
};

namespace {

// Waits on the loop for the child to end, reaps it and hands the status to the stream. Holds
// the process and the stream, never the manager, so it outlives a dropped entry.
asio::awaitable<void> watchTermination(std::shared_ptr<QSChildProcess> process,
                                       std::shared_ptr<QSTerminationStream> termination) {
  try {
    std::int32_t status = co_await process->waitForExit();
    termination->deliver(status);
  } catch (const std::exception&) {
    termination->finish();
  }
}

// A timer wait that a cancellation of the caller cuts short instead of aborting.
asio::awaitable<void> graceWait(asio::any_io_executor executor, std::chrono::milliseconds period) {
  asio::steady_timer timer(executor, period);
  std::error_code ignored;
  co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
}

// Waits until `process` and every member of its group have ended or `period` has passed,
// whichever comes first; a cancellation of the caller cuts the wait short. A server that honours
// SIGTERM at once is not kept waiting for the whole grace period.
asio::awaitable<void> waitForGroupExitWithin(asio::any_io_executor executor, const QSChildProcess& process,
                                             std::chrono::milliseconds period) {
  constexpr std::chrono::milliseconds kPollInterval{10};
  auto deadline = std::chrono::steady_clock::now() + period;
  while (process.isRunning() || process.signalGroup(0)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) co_return;
    co_await graceWait(executor, std::min(left, kPollInterval));
    auto state = co_await asio::this_coro::cancellation_state;
    if (state.cancelled() != asio::cancellation_type::none) co_return;
  }
}

bool isSameFolder(const std::optional<std::string>& a, const std::filesystem::path& b) {
  return a && std::filesystem::path(*a).lexically_normal() == b.lexically_normal();
}

// Runs every operation at once on `executor` and returns when all have finished.
asio::awaitable<void> runAll(asio::any_io_executor executor, std::vector<asio::awaitable<void>> operations) {
  auto left = std::make_shared<std::size_t>(operations.size());
  auto allDone = std::make_shared<asio::steady_timer>(executor, asio::steady_timer::time_point::max());
  for (auto& operation : operations) {
    asio::co_spawn(executor, std::move(operation), [left, allDone](std::exception_ptr) {
      if (--*left == 0) allDone->cancel();
    });
  }
  if (*left == 0) co_return;
  std::error_code ignored;
  co_await allDone->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
}

std::vector<std::string> serveArguments(int port) {
  return {"serve", "--hostname", "0.0.0.0", "--port", std::to_string(port)};
}

// What runs the server: `swift run TARGET serve …`, or for a product already built, the program
// itself (through `swift run --skip-build` when it is not where the debug build puts it).
std::pair<std::filesystem::path, std::vector<std::string>> serverCommand(const std::filesystem::path& swift,
                                                                         const std::filesystem::path& projectPath,
                                                                         const std::string& target, int port,
                                                                         bool skipBuild) {
  auto built = projectPath / ".build" / "debug" / target;
  if (skipBuild && isExecutableFile(built)) return {built, serveArguments(port)};
  std::vector<std::string> arguments{"run", target};
  if (skipBuild) arguments.insert(arguments.begin() + 1, "--skip-build");
  auto serve = serveArguments(port);
  arguments.insert(arguments.end(), serve.begin(), serve.end());
  return {swift, std::move(arguments)};
}

}  // namespace

QSProcessManager::QSProcessManager(asio::any_io_executor executor, QSProcessManagerOptions options)
    : executor_(std::move(executor)), options_(std::move(options)) {
  if (!options_.listeningProcesses) {
    // Reading the socket tables takes milliseconds on a busy machine; a port nobody can be
    // listening on (the usual case at a start) needs no look.
    options_.listeningProcesses = [](int port) {
      return mayBeListenedOn(port) ? QSPortScanner().processesListening(port) : std::vector<ListeningProcess>{};
    };
  }
}

QSProcessManager::~QSProcessManager() = default;

std::filesystem::path QSProcessManager::swiftExecutable(const std::optional<std::filesystem::path>& toolchainPath) {
  if (toolchainPath) return *toolchainPath / "usr/bin/swift";
  return QSToolchainService::defaultCompilerPath();
}

asio::awaitable<QSLaunchedServer> QSProcessManager::launchServer(QSUUID projectID, std::filesystem::path projectPath,
                                                                 std::string executableTarget, int port,
                                                                 std::optional<std::filesystem::path> toolchainPath,
                                                                 std::map<std::string, std::string> environment,
                                                                 bool skipBuild) {
  if (runningProcesses_.contains(projectID)) co_await stopServer(projectID);
  co_await reapOrphans(port, executableTarget, projectPath);

  auto [program, arguments] =
      serverCommand(swiftExecutable(toolchainPath), projectPath, executableTarget, port, skipBuild);
  QSChildLaunch launch{program, std::move(arguments), projectPath, std::move(environment)};
  // One pipe for both: the console shows the build's progress and the server's own lines in
  // the order they were written.
  launch.combineOutput = true;
  auto process = QSChildProcess::spawn(launch);
  auto termination = std::make_shared<QSTerminationStream>(executor_);
  asio::co_spawn(executor_, watchTermination(process, termination), asio::detached);

  QSLaunchedServer launched{process->takeStandardOutput(), process->pid(), termination};
  runningProcesses_[projectID] =
      std::make_shared<RunningServer>(RunningServer{process, port, executableTarget, projectPath});
  co_return launched;
}

asio::awaitable<void> QSProcessManager::stopServer(QSUUID projectID) {
  // A stop that has begun runs to the end: a cancelled caller only cuts the waits short, so a
  // server is never left running because its owner gave up waiting.
  bool throwing = co_await asio::this_coro::throw_if_cancelled();
  co_await asio::this_coro::throw_if_cancelled(false);
  co_await stopEntry(projectID);
  co_await asio::this_coro::throw_if_cancelled(throwing);
}

asio::awaitable<void> QSProcessManager::stopEntry(QSUUID projectID) {
  auto found = runningProcesses_.find(projectID);
  if (found == runningProcesses_.end()) co_return;
  auto entry = found->second;
  // The group, not only the server: the server may have ended and left a helper it forked
  // holding the port, which the next launch would then trip over.
  if (entry->process->signalGroup(SIGTERM)) {
    co_await waitForGroupExitWithin(executor_, *entry->process, options_.stopGracePeriod);
    entry->process->signalGroup(SIGKILL);
  }
  forget(projectID, entry);
  co_await reapOrphans(entry->port, entry->executableTarget, entry->projectPath);
}

asio::awaitable<void> QSProcessManager::stopAll() {
  std::vector<asio::awaitable<void>> stops;
  for (const auto& [projectID, entry] : runningProcesses_) stops.push_back(stopServer(projectID));
  co_await runAll(executor_, std::move(stops));
}

asio::awaitable<void> QSProcessManager::stopLeftovers(std::filesystem::path projectPath, int port) {
  co_await reapOrphans(port, std::string(), std::move(projectPath));
}

asio::awaitable<void> QSProcessManager::reapOrphans(int port, std::string name, std::filesystem::path projectPath) {
  // Handles are taken right away, so neither signal can reach a process that reused an id.
  std::vector<UniqueFd> orphans;
  std::set<std::int32_t> groups;
  for (const auto& listener : options_.listeningProcesses(port)) {
    auto group = processGroupID(listener.pid);
    if (!group || isSupervisedGroup(*group)) continue;
    auto identity = processIdentity(listener.pid);
    bool leftover = identity && identity->realUID == currentUserID() &&
                    isSameFolder(processWorkingDirectory(listener.pid), projectPath);
    bool orphan = !listener.isRoot && !name.empty() && listener.name == name;
    if (!leftover && !orphan) continue;
    if (auto handle = openProcessHandle(listener.pid)) orphans.push_back(std::move(handle));
    if (leftover) groups.insert(*group);
  }
  if (orphans.empty()) co_return;
  for (const auto& orphan : orphans) signalProcessHandle(orphan, SIGTERM);
  for (auto group : groups) signalProcessGroup(group, SIGTERM);
  co_await graceWait(executor_, options_.orphanGracePeriod);
  for (const auto& orphan : orphans) {
    if (signalProcessHandle(orphan, 0)) signalProcessHandle(orphan, SIGKILL);
  }
  for (auto group : groups) signalProcessGroup(group, SIGKILL);
}

bool QSProcessManager::isSupervisedGroup(std::int32_t groupID) const {
  for (const auto& [projectID, entry] : runningProcesses_)
    if (entry->process->pid() == groupID) return true;
  return false;
}

void QSProcessManager::forget(const QSUUID& projectID, const std::shared_ptr<RunningServer>& entry) {
  auto found = runningProcesses_.find(projectID);
  if (found != runningProcesses_.end() && found->second == entry) runningProcesses_.erase(found);
}

bool QSProcessManager::isRunning(QSUUID projectID) const {
  auto found = runningProcesses_.find(projectID);
  return found != runningProcesses_.end() && found->second->process->isRunning();
}

std::optional<std::int32_t> QSProcessManager::processID(QSUUID projectID) const {
  auto found = runningProcesses_.find(projectID);
  if (found == runningProcesses_.end()) return std::nullopt;
  return found->second->process->pid();
}

}  // namespace qs
