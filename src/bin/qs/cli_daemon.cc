// Daemon commands: daemon start|stop|restart|status|install|uninstall, ping, status, events.
#include "bin/qs/cli_commands.h"
#include "bin/qs/event_follower.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"

#include "core/daemon/daemon_build.h"
#include "core/daemon/daemon_installer.h"
#include "core/daemon/daemon_launcher.h"
#include "core/daemon/daemon_paths.h"
#include "core/daemon/desktop_entry.h"
#include "core/daemon/service_owner.h"
#include "core/daemon/with_timeout.h"
#include "core/platform/child_process.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

// `qs daemon start`: how long a new daemon has to answer its first ping, unless --timeout says.
constexpr int kStartTimeoutSeconds = 10;

// The desktop app's pid when it, not the daemon, owns the services behind the socket.
std::optional<pid_t> appOwner() { return QSServiceOwner::desktopApp(QSDaemonPaths::lockPath()); }

asio::awaitable<res::Pong> ping(QSCliSession& session) {
  QSDaemonCommand command = cmd::Ping{};
  co_return co_await session.request<res::Pong>(command);
}

asio::awaitable<int> startDaemon(QSCliSession& session, int timeoutSeconds = kStartTimeoutSeconds) {
  auto launcher = launcherFor();
  auto client = co_await launcher.ensureRunning(std::chrono::seconds(timeoutSeconds));
  session.adopt(client);
  res::Pong pong = co_await ping(session);
  fmt::print("The Quayside daemon is running (version {}, build {}).\nSocket: {}\n", pong.version, pong.build,
             launcher.socketPath());
  co_return QSExitCode::success;
}

}  // namespace

QSDaemonLauncher launcherFor() {
  return QSDaemonLauncher(QSCliSession::daemonExecutable(), QSDaemonPaths::socketPath(), QSDaemonPaths::lockPath());
}

std::string stillRunningText(const QSDaemonLauncher::ShutdownOutcome& outcome, const QSDaemonLauncher& launcher) {
  std::string holder = outcome.holderPid ? fmt::format(" held by pid {}", *outcome.holderPid) : "";
  if (!outcome.asked)
    return fmt::format("A process{} holds the daemon's owner lock {} but doesn't answer on the socket {}; stop it "
                       "and try again.",
                       outcome.holderPid ? fmt::format(" (pid {})", *outcome.holderPid) : "", launcher.lockPath(),
                       launcher.socketPath());
  return fmt::format("The daemon was asked to stop but still runs after {} seconds (socket {}, owner lock {}{}).",
                     kDaemonShutdownWait.count(), launcher.socketPath(), launcher.lockPath(), holder);
}

namespace {

// Asks a running daemon to shut down and waits until it has exited, so that a start right
// after this finds nothing in its way. False when no daemon was running.
asio::awaitable<bool> shutDownDaemon(QSCliSession& session) {
  session.disconnect();
  auto launcher = launcherFor();
  auto outcome = co_await launcher.shutDown(kDaemonShutdownWait);
  // A lock held by a process that does not answer is left to the start that follows, which
  // names its holder.
  if (outcome.stopped || !outcome.asked) co_return outcome.asked;
  throw QSCliError(stillRunningText(outcome, launcher));
}

asio::awaitable<int> stopDaemon(QSCliSession& session) {
  if (auto app = appOwner())
    throw QSCliError(QSServiceOwner::ownedByAppLine(*app) + " Quit the app to stop them; 'qs daemon stop' stops only "
                     "the background daemon.");
  bool wasRunning = co_await shutDownDaemon(session);
  fmt::print("{}\n", wasRunning ? "Stopped the Quayside daemon." : "The Quayside daemon isn't running.");
  co_return QSExitCode::success;
}

asio::awaitable<int> restartDaemon(QSCliSession& session) {
  co_await shutDownDaemon(session);
  co_return co_await startDaemon(session);
}

asio::awaitable<int> daemonStatus(QSCliSession& session) {
  auto launcher = launcherFor();
  auto client = co_await launcher.tryConnect();
  if (!client) {
    if (session.json)
      fmt::print("{}", jsonText(output::DaemonStatus{.running = false, .socket = launcher.socketPath()}));
    else
      fmt::print("The Quayside daemon isn't running.\nSocket: {}\n", launcher.socketPath());
    co_return QSExitCode::failure;
  }
  session.adopt(client);
  res::Pong pong = co_await ping(session);
  if (auto app = appOwner()) {
    if (session.json)
      fmt::print("{}", jsonText(output::DaemonStatus{.running = false,
                                                     .socket = launcher.socketPath(),
                                                     .owner = "quayside-app",
                                                     .ownerPid = *app,
                                                     .version = pong.version}));
    else
      fmt::print("The Quayside daemon isn't running.\n{}\nSocket: {}\n", QSServiceOwner::ownedByAppLine(*app),
                 launcher.socketPath());
    co_return QSExitCode::failure;
  }
  // The build tells whether the daemon runs the executable that is on disk now.
  std::string installed = QSDaemonBuild::fingerprint(launcher.executablePath());
  bool current = installed == pong.build;
  if (session.json) {
    fmt::print("{}", jsonText(output::DaemonStatus{.running = true,
                                                   .socket = launcher.socketPath(),
                                                   .version = pong.version,
                                                   .build = pong.build,
                                                   .executable = launcher.executablePath().string(),
                                                   .isCurrentBuild = current}));
    co_return QSExitCode::success;
  }
  QSDetails details(0, 1);
  details.add("Version", pong.version);
  details.add("Build", pong.build + (current ? "" : fmt::format(" (differs from {}: 'qs daemon restart' runs that one)",
                                                              launcher.executablePath().string())));
  details.add("Socket", launcher.socketPath());
  fmt::print("The Quayside daemon is running.\n{}", details.render());
  co_return QSExitCode::success;
}

fs::path binDirectory(const std::string& prefix) {
  return prefix.empty() ? QSDaemonInstaller::defaultBinDirectory() : fs::absolute(prefix).lexically_normal();
}

struct InstallOptions {
  std::string prefix;
  bool autoStart = false;
};

asio::awaitable<int> installLinks(QSCliSession& session, InstallOptions options) {
  fs::path daemon = QSCliSession::daemonExecutable();
  if (!isExecutableFile(daemon))
    throw QSDaemonLauncher::LaunchException(launchError::ExecutableMissing{daemon.string()});
  fs::path folder = binDirectory(options.prefix);
  QSDaemonInstaller installer;
  auto report = installer.install(QSCliSession::ownExecutable(), daemon, folder, false);
  // The desktop app, when it was built or installed beside this program, gets its menu entry.
  fs::path app = QSCliSession::ownExecutable().parent_path() / "quayside-app";
  std::optional<fs::path> entry;
  if (isExecutableFile(app)) entry = QSDesktopEntry::install(app);
  // The login item comes last: when it cannot be registered, the links are in place and said so.
  std::exception_ptr autoStartFailure;
  if (options.autoStart) {
    try {
      installer.enableAutoStart(report.daemonPath);
      report.autoStart = true;
    } catch (const std::exception&) {
      autoStartFailure = std::current_exception();
    }
  }
  if (session.json) {
    output::Installed installed{.cliPath = report.cliPath.string(),
                                .aliasPath = report.aliasPath.string(),
                                .daemonPath = report.daemonPath.string(),
                                .autoStart = report.autoStart,
                                .onPath = report.onPath};
    if (entry) installed.desktopEntry = entry->string();
    fmt::print("{}", jsonText(installed));
  } else {
    fmt::print("Linked {} → {}\nLinked {} → {}\nLinked {} → {}\n", report.cliPath.string(),
               QSCliSession::ownExecutable().string(), report.aliasPath.string(),
               QSCliSession::ownExecutable().string(), report.daemonPath.string(), daemon.string());
    if (entry) fmt::print("Installed the desktop app's menu entry {} and its icon.\n", entry->string());
    if (report.autoStart)
      fmt::print("The daemon now starts at login (systemd user unit {}).\n", QSDaemonInstaller::unitName);
    if (!report.onPath)
      fmt::print("Note: {0} isn't on your PATH. Add it, for example with this line in ~/.profile:\n"
                 "  export PATH=\"{0}:$PATH\"\n",
                 folder.string());
  }
  if (autoStartFailure) std::rethrow_exception(autoStartFailure);
  co_return QSExitCode::success;
}

asio::awaitable<int> uninstallLinks(QSCliSession&, std::string prefix) {
  fs::path folder = binDirectory(prefix);
  QSDaemonInstaller installer;
  bool hadLoginItem = installer.isAutoStartInstalled();
  installer.uninstall(folder);
  fmt::print("Removed the qs, quayside and quaysided links from {}{}.\n", folder.string(),
             hadLoginItem ? " and the daemon's login item" : "");
  co_return QSExitCode::success;
}

asio::awaitable<int> pingDaemon(QSCliSession& session) {
  res::Pong pong = co_await ping(session);
  std::optional<pid_t> app = appOwner();
  if (session.json) {
    output::Pong answer{.version = pong.version, .build = pong.build, .owner = app ? "quayside-app" : "quaysided"};
    if (app) answer.ownerPid = *app;
    fmt::print("{}", jsonText(answer));
  } else if (app) {
    fmt::print("pong from the Quayside desktop app {} (build {})\n{}\n", pong.version, pong.build,
               QSServiceOwner::ownedByAppLine(*app));
  } else {
    fmt::print("pong from quaysided {} (build {})\n", pong.version, pong.build);
  }
  co_return QSExitCode::success;
}

asio::awaitable<int> showStatus(QSCliSession& session) {
  QSDaemonCommand command = cmd::Status{};
  res::Status status = co_await session.request<res::Status>(command);
  fmt::print("{}", session.json ? jsonText(status.value) : formatStatus(status.value, standardOutputWidth()));
  if (auto app = appOwner(); app && !session.json) fmt::print("\n{}\n", QSServiceOwner::ownedByAppLine(*app));
  co_return QSExitCode::success;
}

asio::awaitable<int> printEvents(QSCliSession& session, QSEventKind kind) {
  auto stream = co_await session.events(kind);
  QSEventFollower follower(session.executor());
  follower.follow(stream);
  // `all` leaves out the kinds that older clients could not read; this one reads them all.
  // A daemon older than a kind refuses to subscribe to it; its events then never come anyway.
  // Console lines come one event a line unless batches are asked for by name.
  for (auto extra : allCases<QSEventKind>()) {
    if (kind != QSEventKind::all || extra == QSEventKind::all || coveredByAll(extra) ||
        extra == QSEventKind::logBatches)
      continue;
    try {
      follower.follow(co_await session.events(extra));
    } catch (const QSDaemonException&) {
    }
  }
  follower.catchInterrupt();
  for (;;) {
    auto item = co_await follower.next();
    switch (item.what) {
      case QSEventFollower::What::event:
        fmt::print("{}", jsonLine(item.event));
        std::fflush(stdout);  // a reader at the other end of a pipe sees each event at once
        break;
      case QSEventFollower::What::interrupted:
        co_return QSExitCode::success;
      case QSEventFollower::What::ended:
        throw daemonWentAway();
      case QSEventFollower::What::timeUp:
        break;
    }
  }
}

void addDaemonGroup(CLI::App& app, QSCliSession& session) {
  auto* daemon = addCommand(app, "daemon", "Start, stop, inspect or install the Quayside daemon (quaysided)",
                            "  qs daemon start\n  qs daemon status\n  qs daemon install --autostart\n"
                            "  qs daemon uninstall --prefix ~/bin\n");
  daemon->require_subcommand(1);

  auto* start = addCommand(*daemon, "start",
                           "Start the daemon unless one of the same build runs (an older one is replaced)",
                           "  qs daemon start\n  QS_DAEMON_EXECUTABLE=/opt/quayside/quaysided qs daemon start\n");
  auto startTimeout = std::make_shared<int>(kStartTimeoutSeconds);
  start->add_option("--timeout", *startTimeout, "Seconds a new daemon has to start serving")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  onRun(start, session, [&session, startTimeout] { return startDaemon(session, *startTimeout); });

  auto* stop = addCommand(*daemon, "stop", "Stop the daemon and the servers it runs", "  qs daemon stop\n");
  onRun(stop, session, [&session] { return stopDaemon(session); });

  auto* restart = addCommand(*daemon, "restart", "Stop the daemon and start it again", "  qs daemon restart\n");
  onRun(restart, session, [&session] { return restartDaemon(session); });

  auto* status = addCommand(*daemon, "status",
                            "Say whether the daemon runs, its version, build and socket (exit 1 when it doesn't run)",
                            "  qs daemon status\n  qs daemon status --json\n");
  addJsonFlag(status, session);
  onRun(status, session, [&session] { return daemonStatus(session); });

  auto* install = addCommand(*daemon, "install",
                             "Link qs, quayside and quaysided into a folder on your PATH (default ~/.local/bin)",
                             "  qs daemon install\n  qs daemon install --prefix ~/bin --autostart\n");
  auto installOptions = std::make_shared<InstallOptions>();
  install->add_option("--prefix", installOptions->prefix, "The folder for the links (default ~/.local/bin)");
  install->add_flag("--autostart", installOptions->autoStart, "Also start the daemon at login (systemd user unit)");
  addJsonFlag(install, session);
  onRun(install, session, [&session, installOptions] { return installLinks(session, *installOptions); });

  auto* uninstall = addCommand(*daemon, "uninstall", "Remove the links and the daemon's login item",
                               "  qs daemon uninstall\n  qs daemon uninstall --prefix ~/bin\n");
  auto prefix = std::make_shared<std::string>();
  uninstall->add_option("--prefix", *prefix, "The folder holding the links (default ~/.local/bin)");
  onRun(uninstall, session, [&session, prefix] { return uninstallLinks(session, *prefix); });
}

}  // namespace

void addDaemonCommands(CLI::App& app, QSCliSession& session) {
  addDaemonGroup(app, session);

  auto* pingCommand = addCommand(app, "ping", "Check that the daemon answers; prints its version and build",
                                 "  qs ping\n  qs ping --json\n");
  addJsonFlag(pingCommand, session);
  onRun(pingCommand, session, [&session] { return pingDaemon(session); });

  auto* status = addCommand(app, "status", "Overview: projects with their servers, databases, network services",
                            "  qs status\n  qs status --json\n");
  addJsonFlag(status, session);
  onRun(status, session, [&session] { return showStatus(session); });

  auto* events = addCommand(
      app, "events", "Print the daemon's events as they happen, one JSON object a line",
      "  qs events\n  qs events servers\n  qs events logs | jq -r '.logLine.line // empty'\n"
      "  qs events logBatches | jq -r '.logBatch.lines[]'   # console lines, many per event: keeps up with a flood\n");
  auto kind = std::make_shared<std::string>("all");
  std::vector<std::string> kinds;
  for (auto k : allCases<QSEventKind>()) kinds.emplace_back(rawValue(k));
  events->add_option("KIND", *kind,
                     "projects, databases, servers, network, logs, mail, all, or logBatches (console lines as "
                     "logBatch events, several lines each, instead of one logLine event a line)")
      ->check(CLI::IsMember(kinds))
      ->capture_default_str();
  onRun(events, session, [&session, kind] { return printEvents(session, *fromRawValue<QSEventKind>(*kind)); });
}

}  // namespace qs
