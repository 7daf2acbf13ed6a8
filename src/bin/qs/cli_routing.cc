// .test commands: domain, domains, requests, dns start|stop, proxy start|stop, health, open.
#include "bin/qs/cli_commands.h"
#include "bin/qs/event_follower.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"
#include "bin/qs/routing_output.h"

#include "core/platform/paths.h"
#include "core/platform/process_runner.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

namespace qs {
namespace {

asio::awaitable<QSFullStatus> fullStatus(QSCliSession& session) {
  QSDaemonCommand command = cmd::Status{};
  res::Status status = co_await session.request<res::Status>(command);
  co_return status.value;
}

struct DomainOptions {
  std::string project;
  std::string hostname;
  bool https = false;
  bool remove = false;
};

asio::awaitable<int> setDomain(QSCliSession& session, DomainOptions options) {
  if (options.remove == !options.hostname.empty())
    throw QSCliError("Give either a host name (qs domain PROJECT NAME.test) or --remove.", QSExitCode::usage);
  QSProject project = co_await findProject(session, options.project);
  if (options.remove) {
    QSDaemonCommand remove = cmd::RemoveDomain{project.id};
    co_await session.request<res::Ok>(remove);
    fmt::print("{} has no .test domain now.\n", project.name);
    co_return QSExitCode::success;
  }
  QSDaemonCommand add = cmd::AddDomain{project.id, options.hostname, options.https};
  res::Domain domain = co_await session.request<res::Domain>(add);
  if (session.json) {
    fmt::print("{}", jsonText(domain.value));
    co_return QSExitCode::success;
  }
  QSFullStatus status = co_await fullStatus(session);
  project.domain = domain.value;
  fmt::print("{} now serves {}: {}\n", domain.value.hostname, project.name,
             fmt::format("{}", fmt::join(domainURLs(project, status.network), " and ")));
  if (!status.network.testRoutingEnabled)
    fmt::print("Until .test routing is installed, reach it with curl --resolve {}:PORT:127.0.0.1{}.\n",
               domain.value.hostname,
               domain.value.sslEnabled ? " --cacert " + (QSPaths::dataFolderPath() / "ssl/ca.pem").string() : "");
  co_return QSExitCode::success;
}

asio::awaitable<int> listDomains(QSCliSession& session) {
  QSFullStatus status = co_await fullStatus(session);
  if (!session.json) {
    fmt::print("{}", formatDomains(status.projects, status.network, standardOutputWidth()));
    co_return QSExitCode::success;
  }
  std::vector<output::Domain> list;
  for (const auto& p : status.projects)
    if (p.domain)
      list.push_back({.project = p.name,
                      .projectID = p.id.string(),
                      .hostname = p.domain->hostname,
                      .https = p.domain->sslEnabled,
                      .urls = domainURLs(p, status.network)});
  fmt::print("{}", jsonText(list));
  co_return QSExitCode::success;
}

struct RequestsOptions {
  std::string project;
  int lines = 20;
  bool follow = false;
};

void printEntry(const QSCliSession& session, const QSLogEntry& entry) {
  fmt::print("{}", session.json ? jsonLine(entry) : formatRequestEntry(entry));
  std::fflush(stdout);
}

asio::awaitable<int> showRequests(QSCliSession& session, RequestsOptions options) {
  QSProject project = co_await findProject(session, options.project);
  QSEventFollower follower(session.executor());
  if (options.follow) {
    // Subscribed before the fetch: an exchange logged meanwhile is in both, never in neither.
    follower.follow(co_await session.events(QSEventKind::logs));
    follower.catchInterrupt();
  }
  QSDaemonCommand fetch = cmd::GetRequestLog{project.id, options.lines};
  res::LogEntries entries = co_await session.request<res::LogEntries>(fetch);
  if (!session.json && (!entries.value.empty() || options.follow)) fmt::print("{}", requestLogHeader());
  std::set<QSUUID> shown;
  for (const auto& entry : entries.value) {
    printEntry(session, entry);
    shown.insert(entry.id);
  }
  if (!options.follow) {
    if (entries.value.empty() && !session.json)
      fmt::print("No requests for {} yet.\n", project.name);
    co_return QSExitCode::success;
  }
  for (;;) {
    auto item = co_await follower.next();
    if (item.what == QSEventFollower::What::interrupted) co_return QSExitCode::success;
    if (item.what == QSEventFollower::What::ended) throw daemonWentAway();
    const auto* logged = item.event.get<evt::RequestLogged>();
    if (item.what != QSEventFollower::What::event || !logged || logged->value.projectID != project.id) continue;
    if (shown.contains(logged->value.id)) continue;
    printEntry(session, logged->value);
  }
}

enum class Service { dns, proxy };

asio::awaitable<int> switchService(QSCliSession& session, Service service, bool start) {
  QSDaemonCommand command = service == Service::dns ? (start ? QSDaemonCommand(cmd::StartDNS{}) : cmd::StopDNS{})
                                                     : (start ? QSDaemonCommand(cmd::StartProxy{}) : cmd::StopProxy{});
  co_await session.request<res::Ok>(command);
  QSNetworkStatus n = (co_await fullStatus(session)).network;
  if (service == Service::dns)
    fmt::print("{}\n", n.dnsRunning ? fmt::format("DNS server running on 127.0.0.1:{} (UDP).", n.dnsPort)
                                     : std::string("DNS server stopped."));
  else if (n.proxyRunning)
    fmt::print("Proxy running on 127.0.0.1:{}{}.\n", n.proxyPort.value_or(7080),
               n.proxyTLSRunning ? fmt::format(" and, with HTTPS, 127.0.0.1:{}", n.proxyTLSPort.value_or(7443)) : "");
  else
    fmt::print("Proxy stopped.\n");
  co_return QSExitCode::success;
}

asio::awaitable<int> showHealth(QSCliSession& session) {
  QSDaemonCommand command = cmd::Health{};
  res::Health health = co_await session.request<res::Health>(command);
  fmt::print("{}", session.json ? jsonText(health.value) : formatHealth(health.value));
  co_return QSExitCode::success;
}

bool haveDesktop() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* value = std::getenv(variable); value && *value) return true;
  return false;
}

asio::awaitable<int> openProject(QSCliSession& session, std::string query, bool printOnly) {
  QSProject project = co_await findProject(session, query);
  QSFullStatus status = co_await fullStatus(session);
  std::string url = bestURL(project, status.network);
  auto opener = findExecutable("xdg-open");
  if (printOnly || !haveDesktop() || !opener) {
    fmt::print("{}\n", url);
    co_return QSExitCode::success;
  }
  QSProcessResult opened = runProcess({opener->string(), url});
  if (!opened.succeeded()) throw QSCliError(fmt::format("xdg-open couldn't open {} (exit {}).", url, opened.exitStatus));
  fmt::print("Opened {}\n", url);
  co_return QSExitCode::success;
}

void addDomainCommands(CLI::App& app, QSCliSession& session) {
  auto* domain = addCommand(app, "domain", "Give a project a .test name served by the proxy, or remove it",
                            "  qs domain blog blog.test --https\n  qs domain blog --remove\n");
  auto options = std::make_shared<DomainOptions>();
  domain->add_option("PROJECT", options->project, "The project's name or id")->required();
  domain->add_option("HOST", options->hostname, "One lower-case label followed by .test, e.g. blog.test");
  domain->add_flag("--https", options->https, "Also serve it over HTTPS with a certificate of the local authority");
  domain->add_flag("--remove", options->remove, "Remove the project's domain");
  addJsonFlag(domain, session);
  onRun(domain, session, [&session, options] { return setDomain(session, *options); });

  auto* domains = addCommand(app, "domains", "List every project's .test name and URLs", "  qs domains\n  qs domains --json\n");
  addJsonFlag(domains, session);
  onRun(domains, session, [&session] { return listDomains(session); });
}

void addRequestsCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "requests", "Print a project's requests (relayed by the proxy, or reported by its server)",
                             "  qs requests blog\n  qs requests blog -n 5\n  qs requests blog -f --json\n");
  auto options = std::make_shared<RequestsOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  command->add_option("-n,--lines", options->lines, "How many of the last requests to print")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_flag("-f,--follow", options->follow, "Keep printing requests as they come, until Ctrl-C");
  addJsonFlag(command, session);
  onRun(command, session, [&session, options] { return showRequests(session, *options); });
}

void addServiceCommand(CLI::App& app, QSCliSession& session, Service service) {
  bool dns = service == Service::dns;
  auto* group = addCommand(app, dns ? "dns" : "proxy",
                           dns ? "Start or stop the .test DNS server" : "Start or stop the .test proxy",
                           dns ? "  qs dns stop\n  qs dns start\n" : "  qs proxy stop\n  qs proxy start\n");
  group->require_subcommand(1);
  for (bool start : {true, false}) {
    auto* command = addCommand(*group, start ? "start" : "stop", start ? "Start it" : "Stop it", "");
    onRun(command, session, [&session, service, start] { return switchService(session, service, start); });
  }
}

void addHealthAndOpen(CLI::App& app, QSCliSession& session) {
  auto* health = addCommand(app, "health", "Check the .test services: DNS, proxy, routing", "  qs health\n  qs health --json\n");
  addJsonFlag(health, session);
  onRun(health, session, [&session] { return showHealth(session); });

  auto* open = addCommand(app, "open", "Open a project in the browser (its .test URL when routing is on)",
                          "  qs open blog\n  qs open blog --print    # only print the URL\n");
  auto project = std::make_shared<std::string>();
  auto printOnly = std::make_shared<bool>(false);
  open->add_option("PROJECT", *project, "The project's name or id")->required();
  open->add_flag("--print", *printOnly, "Print the URL instead of opening it (also without a desktop)");
  onRun(open, session, [&session, project, printOnly] { return openProject(session, *project, *printOnly); });
}

}  // namespace

void addRoutingCommands(CLI::App& app, QSCliSession& session) {
  addDomainCommands(app, session);
  addRequestsCommand(app, session);
  addServiceCommand(app, session, Service::dns);
  addServiceCommand(app, session, Service::proxy);
  addHealthAndOpen(app, session);
}

}  // namespace qs
