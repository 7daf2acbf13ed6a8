#include "core/daemon/daemon_launcher.h"

#include "core/daemon/daemon_build.h"
#include "core/daemon/service_owner.h"
#include "core/daemon/daemon_client.h"
#include "core/daemon/with_timeout.h"
#include "core/platform/detached_process.h"
#include "core/platform/file_lock.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace qs {
namespace {

using Clock = std::chrono::steady_clock;

asio::awaitable<void> sleepFor(Clock::duration duration) {
  asio::steady_timer timer(co_await asio::this_coro::executor, duration);
  co_await timer.async_wait(asio::use_awaitable);
}

asio::awaitable<QSDaemonResult> connectAndCall(std::shared_ptr<QSDaemonClient> client, QSDaemonCommand command) {
  co_await client->connect();
  co_return co_await client->call(std::move(command));
}

// The daemon's answer to `command` (connecting first when needed), or nothing when there is no
// answer within the limit. On a timeout the caller's disconnect() ends the abandoned call.
asio::awaitable<std::optional<QSDaemonResult>> boundedCall(std::shared_ptr<QSDaemonClient> client,
                                                            QSDaemonCommand command) {
  auto executor = co_await asio::this_coro::executor;
  double seconds = std::chrono::duration<double>(QSDaemonLauncher::answerLimit).count();
  try {
    co_return co_await withTimeout(executor, seconds, connectAndCall(client, std::move(command)));
  } catch (...) {
    co_return std::nullopt;
  }
}

bool isPong(const std::optional<QSDaemonResult>& answer) { return answer && answer->is<res::Pong>(); }

}  // namespace

std::string QSDaemonLauncher::LaunchError::message() const {
  return visit(QSOverloaded{
      [](const launchError::ExecutableMissing& e) { return "The quaysided executable wasn't found at " + e.value + "."; },
      [](const launchError::DidNotBecomeReady&) {
        return std::string("The daemon was launched but didn't start serving in time.");
      },
      [](const launchError::OwnerLockHeld& e) {
        std::string holder = e.holderPid ? " (pid " + std::to_string(*e.holderPid) + ")" : "";
        return "Another process" + holder + " holds the owner lock " + e.lockPath +
               ", so no daemon can start; stop that process and try again.";
      },
      [](const launchError::ExitedAtStart& e) { return "The daemon exited while starting; " + e.value + " says why."; },
      [](const launchError::OwnedByApp& e) {
        return "The Quayside desktop app (pid " + std::to_string(e.value) +
               ") owns the services, so no daemon can start; qs commands reach the app. Quit it first to run "
               "the daemon instead.";
      },
  });
}

QSDaemonLauncher::QSDaemonLauncher(std::filesystem::path executablePath, std::string socketPath,
                                   std::string lockPath)
    : executablePath_(std::move(executablePath)), socketPath_(std::move(socketPath)), lockPath_(std::move(lockPath)) {}

asio::awaitable<std::shared_ptr<QSDaemonClient>> QSDaemonLauncher::ensureRunning(Clock::duration timeout) {
  auto executor = co_await asio::this_coro::executor;
  std::string expected = QSDaemonBuild::fingerprint(executablePath_);
  auto client = QSDaemonClient::make(executor, socketPath_);
  std::optional<QSDaemonResult> answer = co_await boundedCall(client, cmd::Ping{});
  if (isPong(answer) && answer->get<res::Pong>()->build == expected) co_return client;
  // The app would refuse to shut down, and its services must not be stopped behind its back.
  if (auto app = QSServiceOwner::desktopApp(lockPath_)) {
    client->disconnect();
    throw LaunchException(launchError::OwnedByApp{*app});
  }
  if (client->isConnected()) co_await replaceOutdated(client);
  client->disconnect();

  if (!isExecutableFile(executablePath_))
    throw LaunchException(launchError::ExecutableMissing{executablePath_.string()});
  co_return co_await startAndAwait(Clock::now() + timeout);
}

asio::awaitable<std::shared_ptr<QSDaemonClient>> QSDaemonLauncher::startAndAwait(Clock::time_point deadline) const {
  QSDetachedProcess process = launch();
  bool sawLockHeld = false;  // since `process` exited
  int failedStarts = 0;
  while (Clock::now() < deadline) {
    co_await sleepFor(pollInterval);
    // The build is not compared again: this is the process just started from the file.
    if (auto ready = co_await tryConnect()) co_return ready;
    if (!process.hasExited()) continue;
    // Starting more daemons changes nothing while another process owns the services.
    if (isLockedElsewhere(lockPath_)) {
      sawLockHeld = true;
      continue;
    }
    if (!sawLockHeld && ++failedStarts == 2) throw LaunchException(launchError::ExitedAtStart{daemonLog().string()});
    process = launch();
    sawLockHeld = false;
  }
  if (sawLockHeld) {
    std::optional<pid_t> holder = lockHolder(lockPath_);
    throw LaunchException(launchError::OwnerLockHeld{lockPath_, holder ? std::optional<std::int32_t>(*holder) : std::nullopt});
  }
  throw LaunchException(launchError::DidNotBecomeReady{});
}

asio::awaitable<void> QSDaemonLauncher::replaceOutdated(std::shared_ptr<QSDaemonClient> client) const {
  // The answer does not matter: whether it went or not shows in the wait below.
  co_await boundedCall(client, cmd::ShutdownDaemon{});
  client->disconnect();
  co_await waitUntilGone();
}

asio::awaitable<void> QSDaemonLauncher::waitUntilGone() const {
  // Reaching the limit is not an error: the launch below then finds out whether the socket
  // frees up or the new daemon fails to take the owner lock.
  Clock::time_point limit = Clock::now() + shutdownWait;
  while (Clock::now() < limit) {
    co_await sleepFor(pollInterval);
    auto still = co_await tryConnect();
    if (!still) co_return;
    still->disconnect();
  }
}

asio::awaitable<QSDaemonLauncher::ShutdownOutcome> QSDaemonLauncher::shutDown(Clock::duration wait) const {
  ShutdownOutcome outcome;
  auto client = co_await tryConnect();
  if (!client && !isLockedElsewhere(lockPath_)) co_return outcome;
  if (client) {
    outcome.asked = true;
    // The daemon may close the connection before its answer is read; the wait below tells.
    co_await boundedCall(client, cmd::ShutdownDaemon{});
    client->disconnect();
    Clock::time_point limit = Clock::now() + wait;
    for (;;) {
      bool locked = isLockedElsewhere(lockPath_);
      auto still = locked ? nullptr : co_await tryConnect();
      if (!locked && !still) co_return outcome;
      if (still) still->disconnect();
      if (Clock::now() >= limit) break;
      co_await sleepFor(pollInterval);
    }
  }
  outcome.stopped = false;
  if (auto holder = lockHolder(lockPath_)) outcome.holderPid = *holder;
  co_return outcome;
}

asio::awaitable<std::shared_ptr<QSDaemonClient>> QSDaemonLauncher::tryConnect() const {
  auto client = QSDaemonClient::make(co_await asio::this_coro::executor, socketPath_);
  if (isPong(co_await boundedCall(client, cmd::Ping{}))) co_return client;
  client->disconnect();
  co_return nullptr;
}

std::filesystem::path QSDaemonLauncher::daemonLog() { return QSPaths::daemonLogFile(); }

QSDetachedProcess QSDaemonLauncher::launch() const {
  std::optional<std::filesystem::path> log = daemonLog();
  try {
    createDirectories(log->parent_path(), 0700);
  } catch (const QSSystemError&) {
    log.reset();  // the daemon's output then goes to /dev/null
  }
  // The daemon starts in "/", so relative paths would name other places there.
  return spawnDetached({
      .executable = executablePath_,
      .environment = {{"QS_DAEMON_SOCKET", std::filesystem::absolute(socketPath_).string()},
                      {"QS_DAEMON_LOCK", std::filesystem::absolute(lockPath_).string()}},
      .outputFile = log,
  });
}

}  // namespace qs
