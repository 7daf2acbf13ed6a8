// Connects to the daemon serving the control socket, replacing one that runs an older build and
// starting one when nobody serves.
#pragma once

#include "core/platform/error_exception.h"
#include "core/models/case_coding.h"

#include <asio/awaitable.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSDaemonClient;
class QSDetachedProcess;

// Cases of QSDaemonLauncher::LaunchError.
namespace launcherr {
using ExecutableMissing = QSUnnamedCase<"executableMissing", std::string>;  // the path
using DidNotBecomeReady = QSEmptyCase<"didNotBecomeReady">;
}  // namespace launcherr

// Keeps no state between calls; run one operation at a time on one loop. The operations are
// coroutines on the caller's executor.
class QSDaemonLauncher {
public:
  struct LaunchError : QSEnumeration<launcherr::ExecutableMissing, launcherr::DidNotBecomeReady> {
    using QSEnumeration::QSEnumeration;
    // "The quaysided executable wasn't found at <path>." or
    // "The daemon was launched but didn't start serving in time."
    std::string message() const;
  };
  using LaunchException = QSErrorException<LaunchError>;

  // How often a starting daemon is asked whether it serves, and how long an old one is given
  // to go away after it was told to shut down.
  static constexpr std::chrono::milliseconds pollInterval{150};
  static constexpr std::chrono::seconds shutdownWait{15};
  // How long one connect-and-ping may take before the daemon counts as not answering, so that a
  // wedged daemon cannot hang the caller.
  static constexpr std::chrono::seconds answerLimit{5};

  // `executablePath` is the daemon to run; it serves `socketPath` and takes the owner lock at
  // `lockPath` (both passed in its environment as QS_DAEMON_SOCKET and QS_DAEMON_LOCK).
  QSDaemonLauncher(std::filesystem::path executablePath, std::string socketPath, std::string lockPath);

  // A connected client of a daemon started from the current `executablePath`:
  // - a daemon that serves and answers `ping` with the executable's fingerprint is used as is;
  // - any other daemon is told to shut down and given up to shutdownWait to go away;
  // - then the executable is started (detached, output appended to the daemon log) and polled
  //   every pollInterval until it answers `ping`; one that exits early is started again while
  //   `timeout` lasts.
  // Throws LaunchException (executableMissing before anything is started, didNotBecomeReady
  // when `timeout` passes) or QSSystemError when the executable cannot be started.
  asio::awaitable<std::shared_ptr<QSDaemonClient>> ensureRunning(std::chrono::steady_clock::duration timeout);

  // A client connected to a daemon that answered `ping` with `pong`; null when nobody serves
  // the socket or the answer is anything else. Never throws.
  asio::awaitable<std::shared_ptr<QSDaemonClient>> tryConnect() const;

  const std::filesystem::path& executablePath() const { return executablePath_; }
  const std::string& socketPath() const { return socketPath_; }
  const std::string& lockPath() const { return lockPath_; }

private:
  asio::awaitable<void> replaceOutdated(std::shared_ptr<QSDaemonClient> client) const;
  asio::awaitable<void> waitUntilGone() const;
  QSDetachedProcess launch() const;

  std::filesystem::path executablePath_;
  std::string socketPath_;
  std::string lockPath_;
};

}  // namespace qs
