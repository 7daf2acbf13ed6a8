// Connects to the daemon serving the control socket, replacing one that runs an older build and
// starting one when nobody serves.
#pragma once

#include "core/platform/error_exception.h"
#include "core/models/case_coding.h"

#include <asio/awaitable.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

class QSDaemonClient;
class QSDetachedProcess;

// Cases of QSDaemonLauncher::LaunchError.
namespace launchError {
using ExecutableMissing = QSUnnamedCase<"executableMissing", std::string>;  // the path
using DidNotBecomeReady = QSEmptyCase<"didNotBecomeReady">;
// Every daemon started exited because another process holds the owner lock.
struct OwnerLockHeld {
  static constexpr std::string_view caseName = "ownerLockHeld";
  std::string lockPath;
  std::optional<std::int32_t> holderPid;  // when the kernel names the holder
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("lockPath", self.lockPath).field("holderPid", self.holderPid);
  }
  bool operator==(const OwnerLockHeld&) const = default;
};
// The daemon exited at start, again when started once more, with the owner lock free: it failed
// for a reason of its own, which its log says.
using ExitedAtStart = QSUnnamedCase<"exitedAtStart", std::string>;  // the daemon log's path
// The desktop app holds the owner lock and serves the socket itself (its pid).
using OwnedByApp = QSUnnamedCase<"ownedByApp", std::int32_t>;
}  // namespace launchError

// Keeps no state between calls; run one operation at a time on one loop. The operations are
// coroutines on the caller's executor.
class QSDaemonLauncher {
public:
  struct LaunchError : QSEnumeration<launchError::ExecutableMissing, launchError::DidNotBecomeReady,
                                     launchError::OwnerLockHeld, launchError::ExitedAtStart,
                                     launchError::OwnedByApp> {
    using QSEnumeration::QSEnumeration;
    // "The quaysided executable wasn't found at <path>.",
    // "The daemon was launched but didn't start serving in time.",
    // "Another process (pid N) holds the owner lock <path>, so no daemon can start; stop that
    // process and try again." (without " (pid N)" when the holder is unknown), or
    // "The daemon exited while starting; <log> says why.", or
    // "The Quayside desktop app (pid N) owns the services, so no daemon can start; qs commands
    // reach the app. Quit it first to run the daemon instead."
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
  // - when the desktop app serves the socket with the services it owns, it is left alone
  //   (ownedByApp);
  // - any other daemon is told to shut down and given up to shutdownWait to go away;
  // - then the executable is started (detached, output appended to the daemon log) and polled
  //   every pollInterval until it answers `ping`. One that exits while another process holds
  //   the owner lock is started again once the lock is free (its holder may be a daemon about
  //   to serve the socket, or one on its way out); one that exits with the lock free is started
  //   once more.
  // Throws LaunchException (executableMissing before anything is started; ownedByApp; exitedAtStart when
  // the second start exits too; ownerLockHeld or didNotBecomeReady when `timeout` passes) or
  // QSSystemError when the executable cannot be started.
  asio::awaitable<std::shared_ptr<QSDaemonClient>> ensureRunning(std::chrono::steady_clock::duration timeout);

  // What `shutDown` found and did.
  struct ShutdownOutcome {
    bool asked = false;    // a daemon answered on the socket and was told to shut down
    bool stopped = true;   // nothing serves the socket or holds the owner lock any more
    std::optional<std::int32_t> holderPid;  // who still holds the lock, when the kernel names it
    bool operator==(const ShutdownOutcome&) const = default;
  };
  // Asks the daemon serving the socket to shut down and waits until it has exited: the socket
  // no longer answers and the owner lock is free (it goes last, once the daemon has stopped
  // every server). Polls every pollInterval, for at most `wait`. A lock held by a process that
  // does not answer on the socket (a wedged daemon, an application owning the services itself)
  // cannot be asked: it is reported at once as not stopped. Never throws.
  asio::awaitable<ShutdownOutcome> shutDown(std::chrono::steady_clock::duration wait) const;

  // A client connected to a daemon that answered `ping` with `pong`; null when nobody serves
  // the socket or the answer is anything else. Never throws.
  asio::awaitable<std::shared_ptr<QSDaemonClient>> tryConnect() const;

  const std::filesystem::path& executablePath() const { return executablePath_; }
  const std::string& socketPath() const { return socketPath_; }
  const std::string& lockPath() const { return lockPath_; }

  // Where a daemon started here writes its output: <data folder>/logs/daemon.log.
  static std::filesystem::path daemonLog();

private:
  asio::awaitable<std::shared_ptr<QSDaemonClient>> startAndAwait(std::chrono::steady_clock::time_point deadline) const;
  asio::awaitable<void> replaceOutdated(std::shared_ptr<QSDaemonClient> client) const;
  asio::awaitable<void> waitUntilGone() const;
  QSDetachedProcess launch() const;

  std::filesystem::path executablePath_;
  std::string socketPath_;
  std::string lockPath_;
};

}  // namespace qs
