// Server commands: start, stop, restart, servers, logs, toolchains.
#include "bin/qs/cli_commands.h"
#include "bin/qs/event_follower.h"
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"
#include "bin/qs/server_wait.h"

#include "core/runtime/toolchain_service.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace qs {
namespace {

enum class ServerAction { start, stop, restart };

// How long `start --wait` waits for the server to serve, unless --timeout says: a first build
// of a Vapor project fetches and compiles dozens of packages.
constexpr int kStartWaitSeconds = 900;

struct ServerOptions {
  std::string project;
  bool wait = false;
  bool watch = false;
  int timeout = kStartWaitSeconds;
};

asio::awaitable<QSServer> serverOf(QSCliSession& session, QSUUID projectID) {
  QSDaemonCommand get = cmd::GetServerStatus{projectID};
  res::Server server = co_await session.request<res::Server>(get);
  co_return server.value;
}

// Subscribes before the command goes out, so that no state change of the start is missed.
asio::awaitable<void> followServerEvents(QSCliSession& session, QSEventFollower& follower) {
  auto servers = co_await session.events(QSEventKind::servers);
  auto logs = co_await session.events(QSEventKind::logs);
  follower.follow(servers);
  follower.follow(logs);
}

asio::awaitable<int> startServer(QSCliSession& session, ServerOptions options, ServerAction action) {
  // No single request may outlast the whole wait.
  if (options.wait) session.requestLimit = std::min(session.requestLimit, std::chrono::seconds(options.timeout));
  QSProject project = co_await findProject(session, options.project);
  if (options.watch && !project.watchesSources()) {
    QSDaemonCommand watch = cmd::SetWatch{project.id, true};
    project = (co_await session.request<res::Project>(watch)).value;
  }
  QSServer current = co_await serverOf(session, project.id);
  bool restart = action == ServerAction::restart;
  if (!restart && current.status == QSServerStatus::running) {
    fmt::print("{} is already running on {}{}.\n", project.name, localURL(current.port),
               options.watch ? "; it is watched from now on" : "");
    co_return QSExitCode::success;
  }
  // A start that is under way is followed rather than begun again (which would restart it).
  bool underWay = !restart && (current.status == QSServerStatus::building || current.status == QSServerStatus::starting);

  QSEventFollower follower(session.executor());
  std::chrono::seconds limit(options.timeout);
  if (options.wait) co_await followServerEvents(session, follower);
  if (!underWay) {
    QSDaemonCommand command = restart ? QSDaemonCommand(cmd::RestartServer{project.id})
                                      : QSDaemonCommand(cmd::StartServer{project.id});
    co_await session.request<res::Ok>(command);
  }
  std::string watching = options.watch ? "Watching " + project.name + ": saved changes rebuild it while it serves.\n"
                                        : std::string();
  if (!options.wait) {
    fmt::print("{} {}. Follow it with 'qs logs {} -f'.\n{}", underWay ? "Already starting" : "Starting", project.name,
               project.name, watching);
    co_return QSExitCode::success;
  }
  int status = co_await waitForServer(session, follower, project, underWay, limit);
  fmt::print("{}", watching);
  co_return status;
}

asio::awaitable<int> stopServer(QSCliSession& session, ServerOptions options) {
  QSProject project = co_await findProject(session, options.project);
  // The daemon answers once the process has ended, so there is nothing more to wait for.
  QSDaemonCommand stop = cmd::StopServer{project.id};
  co_await session.request<res::Ok>(stop);
  fmt::print("Stopped {}.\n", project.name);
  co_return QSExitCode::success;
}

asio::awaitable<int> listServers(QSCliSession& session) {
  QSDaemonCommand list = cmd::ListProjects{};
  res::Projects projects = co_await session.request<res::Projects>(list);
  std::vector<QSServer> servers;
  for (const auto& project : projects.value) {
    QSServer server = co_await serverOf(session, project.id);
    servers.push_back(server);
  }
  fmt::print("{}", session.json ? jsonText(servers) : formatServerList(projects.value, servers, standardOutputWidth()));
  co_return QSExitCode::success;
}

struct LogsOptions {
  std::string project;
  int lines = 100;
  bool follow = false;
};

void printLine(const std::string& line) {
  fmt::print("{}\n", line);
  std::fflush(stdout);
}

// The lines of a `logBatch` (or `logLine`) event of the project's server; none for any other
// event.
std::vector<std::string> serverLines(QSEvent& event, const QSUUID& projectID) {
  auto ofProject = [&](const QSServiceRef& source) {
    const auto* server = source.get<svc::Server>();
    return server && server->id == projectID;
  };
  if (auto* batch = event.get<evt::LogBatch>()) {
    if (ofProject(batch->source)) return std::move(batch->lines);
  } else if (auto* line = event.get<evt::LogLine>()) {
    if (ofProject(line->source)) return {std::move(line->line)};
  }
  return {};
}

// The console lines as they come: in batches, or one event a line from a daemon that does not
// know batches (it closes a connection that asks for them; the session then opens another).
asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> consoleEvents(QSCliSession& session) {
  try {
    co_return co_await session.events(QSEventKind::logBatches);
  } catch (const QSDaemonException&) {
  } catch (const std::system_error&) {
  }
  co_return co_await session.events(QSEventKind::logs);
}

asio::awaitable<int> showLogs(QSCliSession& session, LogsOptions options) {
  QSProject project = co_await findProject(session, options.project);
  QSEventFollower follower(session.executor());
  if (options.follow) {
    // Subscribed before the fetch: a line printed meanwhile is in both, never in neither.
    follower.follow(co_await consoleEvents(session));
    follower.catchInterrupt();
  }
  QSDaemonCommand fetch = cmd::Logs{QSServiceRef(svc::Server{project.id}), options.lines, options.follow};
  res::LogLines fetched = co_await session.request<res::LogLines>(fetch);
  for (const auto& line : fetched.value) printLine(line);
  if (!options.follow) co_return QSExitCode::success;

  // The events that came in while the fetch was answered may repeat its last lines.
  std::vector<std::string> arrived;
  for (std::size_t early = follower.queuedEvents(); early > 0;) {
    auto item = co_await follower.next();
    if (item.what == QSEventFollower::What::interrupted) co_return QSExitCode::success;
    if (item.what == QSEventFollower::What::ended) throw daemonWentAway();
    if (item.what != QSEventFollower::What::event) continue;
    --early;
    for (auto& line : serverLines(item.event, project.id)) arrived.push_back(std::move(line));
  }
  for (std::size_t i = replayedLineCount(fetched.value, arrived); i < arrived.size(); ++i) printLine(arrived[i]);

  for (;;) {
    auto item = co_await follower.next();
    if (item.what == QSEventFollower::What::interrupted) co_return QSExitCode::success;
    if (item.what == QSEventFollower::What::ended) throw daemonWentAway();
    if (item.what != QSEventFollower::What::event) continue;
    auto lines = serverLines(item.event, project.id);
    if (lines.empty()) continue;
    std::string text;
    for (const auto& line : lines) text.append(line).append(1, '\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
}

// The daemon's answer, since it is the daemon that builds; this shell's own view when no daemon
// runs (its QS_TOOLCHAIN_DIRS may differ).
asio::awaitable<int> listToolchains(QSCliSession& session) {
  std::vector<QSToolchain> toolchains;
  bool fromDaemon = true;
  QSDaemonCommand list = cmd::ListToolchains{};
  try {
    toolchains = (co_await session.request<res::Toolchains>(list)).value;
  } catch (const QSCliError&) {
    fromDaemon = false;
    toolchains = QSToolchainService().discoverToolchains();
  }
  fmt::print("{}", session.json ? jsonText(toolchains) : formatToolchains(toolchains, standardOutputWidth()));
  if (!fromDaemon && !session.json)
    fmt::print("(The daemon isn't running: these are the toolchains this shell sees.)\n");
  co_return QSExitCode::success;
}

void addServerCommand(CLI::App& app, QSCliSession& session, ServerAction action) {
  static const char* const names[] = {"start", "stop", "restart"};
  static const char* const descriptions[] = {
      "Build and start a project's server",
      "Stop a project's server",
      "Stop a project's server and start it again",
  };
  static const char* const examples[] = {
      "  qs start blog\n  qs start blog --wait    # follow the build until the server runs or fails\n"
      "  qs start blog --watch   # and rebuild and restart it whenever a source file is saved\n",
      "  qs stop blog\n",
      "  qs restart blog --wait\n",
  };
  auto index = static_cast<int>(action);
  auto* command = addCommand(app, names[index], descriptions[index], examples[index]);
  auto options = std::make_shared<ServerOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  command->add_flag("--wait", options->wait,
                    action == ServerAction::stop
                        ? "Return once the server has stopped (the default: the daemon answers then)"
                        : "Follow the build until the server runs (exit 0) or fails (exit 1)");
  if (action != ServerAction::stop)
    command->add_option("--timeout", options->timeout, "Seconds --wait waits for the server to serve")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
  if (action == ServerAction::start)
    command->add_flag("--watch", options->watch,
                      "Turn watch mode on: a saved change in Sources/ or the package manifest rebuilds the project "
                      "while the server serves, then restarts it on the new build (off again: 'qs watch PROJECT "
                      "off')");
  onRun(command, session, [&session, options, action] {
    return action == ServerAction::stop ? stopServer(session, *options) : startServer(session, *options, action);
  });
}

void addServersCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "servers", "Show every project's server: status, port, start time, error",
                             "  qs servers\n  qs servers --json\n");
  addJsonFlag(command, session);
  onRun(command, session, [&session] { return listServers(session); });
}

void addLogsCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "logs", "Print the console output of a project's server",
                             "  qs logs blog\n  qs logs blog -n 20\n  qs logs blog -f    # keep printing until Ctrl-C\n");
  auto options = std::make_shared<LogsOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  command->add_option("-n,--lines", options->lines, "How many of the last lines to print")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_flag("-f,--follow", options->follow,
                    "Keep printing new lines as they come, until Ctrl-C. When a server prints faster than "
                    "they can be shown, some are skipped and a line says how many");
  onRun(command, session, [&session, options] { return showLogs(session, *options); });
}

void addToolchainsCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "toolchains", "List the Swift toolchains the daemon builds with",
                             "  qs toolchains\n  QS_TOOLCHAIN_DIRS=/opt/toolchains qs toolchains --json\n");
  addJsonFlag(command, session);
  onRun(command, session, [&session] { return listToolchains(session); });
}

}  // namespace

void addServerCommands(CLI::App& app, QSCliSession& session) {
  addServerCommand(app, session, ServerAction::start);
  addServerCommand(app, session, ServerAction::stop);
  addServerCommand(app, session, ServerAction::restart);
  addServersCommand(app, session);
  addLogsCommand(app, session);
  addToolchainsCommand(app, session);
}

}  // namespace qs
