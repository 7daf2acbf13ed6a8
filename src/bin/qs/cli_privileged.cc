// `qs routing enable|disable|status`, `qs ca trust|untrust|status` and `qs ports stop PID`: the
// changes that need the administrator. The daemon is asked first; it has no terminal, so where
// it cannot ask for the password and this command runs on one, the same privileged step runs
// here (sudo asks in this terminal) and the daemon is then asked for the fresh state.
#include "bin/qs/cli_commands.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/privileged_output.h"

#include "core/platform/child_process.h"
#include "core/platform/privileges.h"
#include "core/platform/proc_table.h"
#include "core/platform/terminal.h"
#include "core/routing/ca_trust.h"
#include "core/routing/certificate_service.h"
#include "core/runtime/port_scanner.h"
#include "core/routing/privileged_error.h"
#include "core/routing/privileged_helper.h"
#include "core/routing/privileged_scripts.h"
#include "core/platform/paths.h"

#include <fmt/format.h>

#include <csignal>
#include <functional>
#include <memory>

namespace qs {
namespace {

// The ports whose listeners `qs ports stop` may stop: the web ports .test routing takes over
// and the proxy's own.
constexpr int kStoppablePorts[] = {80, 443, 7080, 7443};

bool onTerminal() { return isTerminal(0) && isTerminal(2); }

asio::awaitable<QSNetworkStatus> networkStatus(QSCliSession& session) {
  QSDaemonCommand status = cmd::Status{};
  auto answer = co_await session.request<res::Status>(status);
  co_return answer.value.network;
}

QSPrivilegedHelper localHelper() {
  return QSPrivilegedHelper(QSSystemRoot::fromEnvironment(), std::make_shared<QSSystemPrivilegedRunner>());
}

QSCATrust localTrust(const QSCertificateService& certificates) {
  return QSCATrust(certificates.caCertificateURL(), QSSystemRoot::fromEnvironment(),
                   std::make_shared<QSSystemPrivilegedRunner>(), QSPaths::home());
}

// Asks the daemon to run `command`. When the daemon answers that it cannot prompt and we can,
// runs `here` in this process instead. True when it ran here.
asio::awaitable<bool> daemonOrHere(QSCliSession& session, QSDaemonCommand command, std::function<void()> here) {
  try {
    co_await session.request<res::Ok>(command);
    co_return false;
  } catch (const QSDaemonException& e) {
    if (!e.error().is<daemonError::RequiresInteractiveSession>() || !onTerminal()) throw;
  }
  fmt::print(stderr, "The daemon can't ask for the administrator password; asking in this terminal.\n");
  here();
  co_return true;
}

asio::awaitable<int> printRouting(QSCliSession& session, std::string lead) {
  auto network = co_await networkStatus(session);
  auto conflict = QSWebPortConflict::detect(QSWebPortConflict::isHerdInstalled());
  if (session.json) {
    fmt::print("{}", printableJSON(testRoutingJson(network, conflict)));
  } else {
    fmt::print("{}{}", lead, formatTestRouting(network, conflict));
  }
  co_return QSExitCode::success;
}

// Before ports 80/443 are taken over from another server: its warning, then a question (or,
// without a terminal, a refusal that names --yes).
void confirmTakeOver(bool yes) {
  auto conflict = QSWebPortConflict::detect(QSWebPortConflict::isHerdInstalled());
  if (!conflict || yes) return;
  if (!onTerminal()) throw QSCliError(conflict->shortWarning() + " Pass --yes to take them over anyway.");
  fmt::print(stderr, "{}\n{}\n", conflict->title(), conflict->warningMessage());
  if (!confirm("Take over ports 80/443?")) throw QSCliError("Nothing was changed.");
}

asio::awaitable<int> enableRouting(QSCliSession& session, bool yes) {
  auto network = co_await networkStatus(session);
  if (!network.dnsRunning)
    throw QSCliError("The daemon's DNS server isn't running, so there is no port to send .test names to; start it "
                     "first (see 'qs status').");
  confirmTakeOver(yes);
  QSRoutingPorts ports{network.proxyPort.value_or(7080), network.proxyTLSPort.value_or(7443), network.dnsPort};
  QSDaemonCommand enable = cmd::EnableTestRouting{};
  std::function<void()> here = [ports] { localHelper().enableTestRouting(ports); };
  co_await daemonOrHere(session, enable, here);
  std::string lead = session.json ? "" : ".test routing installed.\n";
  co_return co_await printRouting(session, lead);
}

asio::awaitable<int> disableRouting(QSCliSession& session) {
  auto before = co_await networkStatus(session);
  auto removal = QSRoutingRemoval::removed;
  QSDaemonCommand disable = cmd::DisableTestRouting{};
  std::function<void()> here = [&removal] { removal = localHelper().disableTestRouting(); };
  bool ranHere = co_await daemonOrHere(session, disable, here);
  bool nothing = ranHere ? removal == QSRoutingRemoval::nothingToRemove : nothingInstalled(before);
  std::string noLead;
  if (session.json) co_return co_await printRouting(session, noLead);
  fmt::print("{}\n", nothing ? ".test routing wasn't installed; there was nothing to remove."
                             : ".test routing removed; the system resolves and serves ports 80/443 as before.");
  co_return QSExitCode::success;
}

// Trusting replaces an authority that may sign for any name (one made by an older Quayside);
// the output says so. When that ran here, the daemon is asked once more (nothing left to prompt
// for) so that its proxy's certificate comes from the new authority.
asio::awaitable<int> changeTrust(QSCliSession& session, bool trust) {
  QSDaemonCommand command = trust ? QSDaemonCommand(cmd::TrustCA{}) : QSDaemonCommand(cmd::UntrustCA{});
  QSCertificateService certificates;
  bool replacing = trust && certificates.isCAInstalled() && !certificates.isCALimited();
  std::function<void()> here = [trust, &certificates] {
    auto local = localTrust(certificates);
    if (trust) {
      trustReplacingUnlimitedCA(certificates, local);
    } else {
      certificates.ensureCA();
      local.untrustCA();
    }
  };
  if (co_await daemonOrHere(session, command, here) && replacing) co_await session.request<res::Ok>(command);
  auto network = co_await networkStatus(session);
  bool trusted = network.caTrusted.value_or(false);
  if (session.json) {
    output::CATrust answer{.caTrusted = trusted};
    if (trust) answer.replaced = replacing;
    fmt::print("{}", jsonText(answer));
    co_return QSExitCode::success;
  }
  if (replacing)
    fmt::print("The old Quayside certificate authority could sign for any site, so it was replaced by one limited to "
               ".test names, 127.0.0.1 and ::1; the old one is no longer trusted. HTTPS pages that are open need a "
               "reload.\n");
  if (trust)
    fmt::print("The Quayside certificate authority is trusted by your browsers and the system.\n");
  else
    fmt::print("The Quayside certificate authority is no longer trusted.\n");
  co_return QSExitCode::success;
}

asio::awaitable<int> trustStatus(QSCliSession& session) {
  auto network = co_await networkStatus(session);
  bool trusted = network.caTrusted.value_or(false);
  if (session.json)
    fmt::print("{}", jsonText(output::CATrust{.caTrusted = trusted}));
  else
    fmt::print("{}\n", trusted ? "The Quayside certificate authority is trusted."
                               : "The Quayside certificate authority is not trusted yet; 'qs ca trust' trusts it.");
  co_return QSExitCode::success;
}

// The ports among kStoppablePorts on which `pid` listens; nothing when its sockets can't be
// seen (another user's process, while we are not root: the check then runs as root).
std::optional<std::vector<int>> portsHeldBy(std::int32_t pid, std::uint32_t owner) {
  if (owner != currentUserID() && !isRunningAsRoot()) return std::nullopt;
  std::vector<int> ports;
  QSPortScanner scanner;
  for (int port : kStoppablePorts)
    for (const auto& p : scanner.processesListening(port))
      if (p.pid == pid) ports.push_back(port);
  return ports;
}

QSCliError notInTheWay(const std::string& name, int pid) {
  return QSCliError(fmt::format("{} (PID {}) isn't listening on ports 80, 443, 7080 or 7443; 'qs ports stop' only "
                                "stops servers in the way of .test routing.",
                                name, pid));
}

// SIGTERM as root, for a process of another account or when we are root. The script itself
// checks the ports again, as root, so that no process elsewhere can be stopped this way.
void terminateAsRoot(const std::string& name, int pid) {
  try {
    localHelper().terminateAsRoot(pid, std::vector<int>(std::begin(kStoppablePorts), std::end(kStoppablePorts)));
  } catch (const QSPrivilegedException& e) {
    const auto* failed = e.error().get<privilegedError::ScriptFailed>();
    if (failed && failed->exitStatus == routingScripts::notListeningStatus) throw notInTheWay(name, pid);
    throw;
  }
}

asio::awaitable<int> stopPortHolder(QSCliSession& session, int pid, bool yes) {
  auto identity = pid > 1 ? processIdentity(pid) : std::nullopt;
  if (!identity) throw QSCliError(fmt::format("No process with id {}.", pid));
  auto ports = portsHeldBy(pid, identity->realUID);
  if (ports && ports->empty()) throw notInTheWay(identity->name, pid);
  bool asRoot = identity->realUID != currentUserID();
  std::string who = fmt::format("{} (PID {}{})", identity->name, pid, identity->realUID == 0 ? ", runs as root" : "");
  if (!yes && !onTerminal())
    throw QSCliError(fmt::format("Stopping {} needs a yes; pass --yes to stop it without a terminal.", who));
  if (!yes && !confirm("Stop " + who + "?")) throw QSCliError("Nothing was stopped.");
  if (asRoot || isRunningAsRoot()) {
    terminateAsRoot(identity->name, pid);
  } else if (!signalProcessHandle(openProcessHandle(pid), SIGTERM)) {
    throw QSCliError(fmt::format("{} has already ended.", who));
  }
  if (session.json)
    fmt::print("{}", jsonText(output::StoppedProcess{pid, identity->name, asRoot || isRunningAsRoot()}));
  else
    fmt::print("Asked {} to stop.\n", who);
  co_return QSExitCode::success;
}

void addTestRoutingCommands(CLI::App& app, QSCliSession& session) {
  auto* routing = addCommand(app, "routing", ".test names system-wide and ports 80/443 for the proxy (needs the administrator once)",
                             "  qs routing enable        install (sudo asks for your password)\n"
                             "  qs routing status --json\n"
                             "  qs routing disable       remove everything again\n");
  routing->require_subcommand(1);
  auto yes = std::make_shared<bool>(false);
  auto* enable = addCommand(*routing, "enable", "Send .test names to the daemon's DNS server and ports 80/443 to its proxy", "");
  enable->add_flag("--yes,-y", *yes, "Take over ports 80/443 from another server without asking");
  addJsonFlag(enable, session);
  onRun(enable, session, [&session, yes] { return enableRouting(session, *yes); });
  auto* disable = addCommand(*routing, "disable", "Remove what 'qs routing enable' installed", "");
  addJsonFlag(disable, session);
  onRun(disable, session, [&session] { return disableRouting(session); });
  auto* status = addCommand(*routing, "status", "What is installed, for which ports, and who else holds 80/443", "");
  addJsonFlag(status, session);
  onRun(status, session, [&session] { return printRouting(session, std::string()); });
}

void addTrustCommands(CLI::App& app, QSCliSession& session) {
  auto* ca = addCommand(app, "ca", "The local certificate authority behind https://NAME.test",
                        "  qs ca trust     trust it in your browsers and the system (asks for your password)\n"
                        "  qs ca untrust\n");
  ca->require_subcommand(1);
  auto* trust = addCommand(*ca, "trust", "Trust it in your NSS databases (Firefox, Chromium) and the system store", "");
  addJsonFlag(trust, session);
  onRun(trust, session, [&session] { return changeTrust(session, true); });
  auto* untrust = addCommand(*ca, "untrust", "Remove it from both again", "");
  addJsonFlag(untrust, session);
  onRun(untrust, session, [&session] { return changeTrust(session, false); });
  auto* status = addCommand(*ca, "status", "Whether it is trusted", "");
  addJsonFlag(status, session);
  onRun(status, session, [&session] { return trustStatus(session); });
}

void addPortCommands(CLI::App& app, QSCliSession& session) {
  auto* ports = addCommand(app, "ports", "Servers in the way of .test routing", "  qs ports stop 1234\n");
  ports->require_subcommand(1);
  auto pid = std::make_shared<int>(0);
  auto yes = std::make_shared<bool>(false);
  auto* stop = addCommand(*ports, "stop", "Stop a process listening on port 80, 443, 7080 or 7443 (as root when it runs as root)", "");
  stop->add_option("PID", *pid, "Its process id (see 'qs routing status')")->required();
  stop->add_flag("--yes,-y", *yes, "Don't ask first");
  addJsonFlag(stop, session);
  onRun(stop, session, [&session, pid, yes] { return stopPortHolder(session, *pid, *yes); });
}

}  // namespace

void addPrivilegedCommands(CLI::App& app, QSCliSession& session) {
  addTestRoutingCommands(app, session);
  addTrustCommands(app, session);
  addPortCommands(app, session);
}

}  // namespace qs
