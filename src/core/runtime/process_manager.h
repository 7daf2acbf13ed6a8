// Starts and stops the servers of projects, one per project, and clears away server processes
// that outlived their parent and still hold a project's port.
#pragma once

#include "core/models/port_availability.h"
#include "core/runtime/server_process_managing.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <chrono>
#include <functional>
#include <unordered_map>
#include <vector>

namespace qs {

struct QSProcessManagerOptions {
  // Lists the processes listening on a TCP port; QSPortScanner::processesListening when empty.
  // Tests replace it to observe and steer orphan reaping.
  std::function<std::vector<ListeningProcess>(int port)> listeningProcesses;
  // How long a stopped server has to exit after SIGTERM before it gets SIGKILL.
  std::chrono::milliseconds stopGracePeriod{2000};
  // How long an orphan has to exit after SIGTERM before it gets SIGKILL.
  std::chrono::milliseconds orphanGracePeriod{500};
};

// Lives on the service loop: every operation runs on `executor` (one thread), and the table of
// running servers is touched only between suspension points. The grace periods are timers on
// the loop, so other calls (even for the same project) may run while a stop waits.
class QSProcessManager final : public QSServerProcessManaging {
public:
  explicit QSProcessManager(asio::any_io_executor executor, QSProcessManagerOptions options = {});
  ~QSProcessManager() override;

  // Stops the project's earlier server (its whole process group, even when its main process has
  // already ended), reaps orphans and leftovers on `port` (see stopLeftovers), then starts
  // swiftExecutable(toolchainPath) with `run`, the target, `serve`, `--hostname`, `0.0.0.0`,
  // `--port`, PORT in `projectPath`. With `skipBuild`, the debug build's program
  // (`.build/debug/TARGET serve …`) when it exists, else `run --skip-build …`: the package manager
  // takes most of a second to start, which would all be time nobody answers between a watch
  // restart's stop and the new server. See QSChildProcess for how the child is set up. The stream
  // delivers the exit status once the process ends, even when its entry has been dropped.
  // Throws QSSystemError when the program or folder is missing; nothing is recorded then.
  asio::awaitable<QSLaunchedServer> launchServer(QSUUID projectID, std::filesystem::path projectPath,
                                                 std::string executableTarget, int port,
                                                 std::optional<std::filesystem::path> toolchainPath,
                                                 std::map<std::string, std::string> environment,
                                                 bool skipBuild) override;

  // Unknown project: nothing. Otherwise SIGTERM to the server's process group (also when the
  // server itself has ended: a helper it forked may still hold the port), up to the stop grace
  // period for the group to empty, SIGKILL to whatever is left, drop the entry, reap orphans.
  // Cancelling the caller cuts a grace period short but skips no step.
  asio::awaitable<void> stopServer(QSUUID projectID) override;

  // False without an entry; else whether the entry's process still runs.
  bool isRunning(QSUUID projectID) const;

  // The entry's pid, also after the process ended, until the entry is dropped.
  std::optional<std::int32_t> processID(QSUUID projectID) const;

  // For shutdown: stops every server this manager started, all at once, each as stopServer does.
  asio::awaitable<void> stopAll() override;

  // Servers an earlier owner left behind (it crashed): this user's processes listening on `port`
  // whose working folder is `projectPath`, stopped with their process groups. Servers this
  // manager runs are never touched.
  asio::awaitable<void> stopLeftovers(std::filesystem::path projectPath, int port) override;

  // The `swift` a launch runs: TOOLCHAIN/usr/bin/swift; without a toolchain /usr/bin/swift when
  // it is executable, else the first `swift` on PATH, else /usr/bin/swift (whose launch then
  // fails naming it).
  static std::filesystem::path swiftExecutable(const std::optional<std::filesystem::path>& toolchainPath);

private:
  struct RunningServer;

  asio::awaitable<void> stopEntry(QSUUID projectID);
  // SIGTERM to the non-root listeners on `port` named exactly `name`, and to the groups of the
  // leftovers of `projectPath` (see stopLeftovers); after the orphan grace period SIGKILL to
  // those still there. Processes of a group this manager supervises are never touched. Returns at
  // once when there are none.
  asio::awaitable<void> reapOrphans(int port, std::string name, std::filesystem::path projectPath);
  bool isSupervisedGroup(std::int32_t groupID) const;
  // Drops the project's entry unless a newer launch has replaced it meanwhile.
  void forget(const QSUUID& projectID, const std::shared_ptr<RunningServer>& entry);

  asio::any_io_executor executor_;
  QSProcessManagerOptions options_;
  std::unordered_map<QSUUID, std::shared_ptr<RunningServer>> runningProcesses_;
};

}  // namespace qs
