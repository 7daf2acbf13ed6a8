// Starts and stops the servers of projects, one per project, and clears away server processes
// that outlived their parent and still hold a project's port.
#pragma once

#include "core/routing/port_availability.h"
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

  // Stops a still running server of the project, reaps orphans on `port` named
  // `executableTarget`, then starts swiftExecutable(toolchainPath) with `run`, the target,
  // `serve`, `--hostname`, `0.0.0.0`, `--port`, PORT in `projectPath` (see QSChildProcess for
  // how the child is set up). The stream delivers the exit status once the process ends, even
  // when its entry has been dropped. Throws QSSystemError when the program or folder is missing;
  // nothing is recorded then.
  asio::awaitable<QSLaunchedServer> launchServer(QSUUID projectID, std::filesystem::path projectPath,
                                                 std::string executableTarget, int port,
                                                 std::optional<std::filesystem::path> toolchainPath,
                                                 std::map<std::string, std::string> environment) override;

  // Unknown project: nothing. Server already ended: drops the entry and reaps orphans, with no
  // wait. Otherwise: SIGTERM to the server's process group, the stop grace period, SIGKILL to
  // whatever is left of the group, drop the entry, reap orphans. Cancelling the caller cuts a
  // grace period short but skips no step.
  asio::awaitable<void> stopServer(QSUUID projectID) override;

  // False without an entry; else whether the entry's process still runs.
  bool isRunning(QSUUID projectID) const;

  // The entry's pid, also after the process ended, until the entry is dropped.
  std::optional<std::int32_t> processID(QSUUID projectID) const;

  // For shutdown: SIGTERM to every running server's group and to every same-named, non-root
  // listener on its port; empties the table. Does not wait and sends no SIGKILL.
  void terminateAll();

  // The `swift` a launch runs: TOOLCHAIN/usr/bin/swift; without a toolchain /usr/bin/swift when
  // it is executable, else the first `swift` on PATH, else /usr/bin/swift (whose launch then
  // fails naming it).
  static std::filesystem::path swiftExecutable(const std::optional<std::filesystem::path>& toolchainPath);

private:
  struct RunningServer;

  asio::awaitable<void> stopEntry(QSUUID projectID);
  // SIGTERM to the non-root listeners on `port` named exactly `name`; after the orphan grace
  // period SIGKILL to those still there. Returns at once when there are none.
  asio::awaitable<void> reapOrphans(int port, std::string name);
  std::vector<std::int32_t> orphanIDs(int port, const std::string& name) const;
  // Drops the project's entry unless a newer launch has replaced it meanwhile.
  void forget(const QSUUID& projectID, const std::shared_ptr<RunningServer>& entry);

  asio::any_io_executor executor_;
  QSProcessManagerOptions options_;
  std::unordered_map<QSUUID, std::shared_ptr<RunningServer>> runningProcesses_;
};

}  // namespace qs
