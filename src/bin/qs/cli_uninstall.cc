// `qs uninstall` (also `quayside uninstall`): says what it will remove, asks, stops the daemon,
// then removes .test routing, the certificate authority's trust, the links with the login items
// and the data, printing one line per step.
#include "bin/qs/cli_commands.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"

#include "core/daemon/desktop_entries.h"
#include "core/platform/terminal.h"
#include "core/routing/ca_trust.h"
#include "core/routing/privileged_files.h"
#include "core/uninstall/uninstaller.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

struct UninstallFlags {
  bool keepData = false;
  bool yes = false;
};

// What became of the daemon before the steps: nothing ran, it stopped, or it still runs.
struct DaemonStop {
  bool wasRunning = false;
  bool stopped = true;
  std::optional<std::int32_t> pid;
  std::optional<std::string> detail;
};

constexpr std::string_view kDaemonStep = "Stop the Quayside daemon";

std::string stepLine(std::string_view title, bool succeeded, const std::optional<std::string>& detail) {
  if (succeeded) return fmt::format("✓ {}\n", title);
  return fmt::format("✗ {}: {}\n", title, detail.value_or("failed"));
}

std::string routingPlan(const QSUninstaller::Places& places) {
  QSRoutingLayout layout(places.system);
  return fmt::format("  {}: the resolver entry {}, the nftables table 'inet {}' and {} (asks for the "
                     "administrator password)\n",
                     QSUninstaller::disableRoutingStep, layout.resolverFile.string(), QSRoutingLayout::tableName,
                     QSRoutingLayout::unitName);
}

std::string plan(const QSUninstaller& uninstaller, const QSUninstaller::Options& options) {
  const auto& places = uninstaller.places();
  std::string out = "qs uninstall removes Quayside from this machine:\n";
  out += "  The daemon is stopped first, with the servers and databases it runs.\n";
  out += routingPlan(places);
  out += fmt::format("  {}: '{}' from your NSS databases (browsers) and the system's trust store\n",
                     QSUninstaller::removeCertificateStep, QSCATrust::nickname);
  out += fmt::format("  {}: qs, quayside and quaysided in {}, the daemon's login item ({}), the desktop entry, "
                     "icons and autostart entry ({})\n",
                     QSUninstaller::removeCLIStep, (places.home / ".local/bin").string(),
                     QSDaemonInstaller::unitName, QSDesktopEntries::launcherEntry().string());
  if (options.deleteData)
    out += fmt::format("  {}: {} and {}: every PostgreSQL, MySQL, Redis and SQLite database, downloaded engine "
                       "binaries, mail, backups, logs and settings. This cannot be undone.\n",
                       QSUninstaller::deleteDataStep, places.dataDirectory.string(), places.settingsDirectory.string());
  else
    out += fmt::format("  Kept (--keep-data): {} and {}\n", places.dataDirectory.string(),
                       places.settingsDirectory.string());
  if (auto problem = options.deleteData ? uninstaller.dataDirectoryProblem() : std::nullopt)
    out += "Note: " + *problem + "\n";
  return out + "Your project folders and their .env files are never touched.\n";
}

// Asks unless --yes; without a terminal to ask on, refuses. The plan goes where the question
// goes: standard error when standard output is JSON or not a terminal.
void confirmUninstall(const QSUninstaller& uninstaller, const QSUninstaller::Options& options, bool yes, bool json) {
  if (yes) return;
  if (!isTerminal(0))
    throw QSCliError("qs uninstall asks before it removes anything, and there is no terminal to ask on; pass --yes "
                     "(-y) to uninstall without asking.");
  std::FILE* out = json || !isTerminal(1) ? stderr : stdout;
  fmt::print(out, "{}", plan(uninstaller, options));
  if (!confirm("Uninstall Quayside?", out)) throw QSCliError("Nothing was removed.");
}

asio::awaitable<DaemonStop> stopDaemon() {
  auto launcher = launcherFor();
  auto outcome = co_await launcher.shutDown(kDaemonShutdownWait);
  DaemonStop stop{.wasRunning = outcome.asked || !outcome.stopped, .stopped = outcome.stopped,
                  .pid = outcome.holderPid};
  if (!outcome.stopped) stop.detail = stillRunningText(outcome, launcher);
  co_return stop;
}

output::Uninstalled resultOutput(const DaemonStop& daemon, const std::vector<QSUninstaller::StepResult>& steps,
                                 bool succeeded) {
  output::Uninstalled out{.daemon = {daemon.wasRunning, daemon.stopped, daemon.pid, daemon.detail},
                          .succeeded = succeeded};
  for (const auto& step : steps) out.steps.push_back({step.step, step.succeeded, step.detail});
  return out;
}

std::string closingText(bool succeeded) {
  if (!succeeded)
    return "Some steps failed; fix what they say and run 'qs uninstall' again (what is already gone is skipped).\n";
  return fmt::format("Quayside is removed; your project folders are as they were. The programs themselves stay in {}: "
                     "delete them the way you installed them.\n",
                     QSCliSession::ownExecutable().parent_path().string());
}

asio::awaitable<int> uninstall(QSCliSession& session, UninstallFlags flags) {
  QSUninstaller::Options options{.disableRouting = true, .removeCertificate = true, .removeCLI = true,
                                 .deleteData = !flags.keepData};
  QSUninstaller uninstaller(QSUninstaller::Places::forThisUser(std::make_shared<QSSystemPrivilegedRunner>()));
  confirmUninstall(uninstaller, options, flags.yes, session.json);

  session.disconnect();
  DaemonStop daemon = co_await stopDaemon();
  if (!session.json && daemon.wasRunning) fmt::print("{}", stepLine(kDaemonStep, daemon.stopped, daemon.detail));
  std::fflush(stdout);
  auto progress = [&session](const QSUninstaller::StepResult& result) {
    if (session.json) return;
    fmt::print("{}", stepLine(result.step, result.succeeded, result.detail));
    std::fflush(stdout);  // before the next step's password prompt
  };
  auto steps = uninstaller.run(options, progress);
  bool succeeded = daemon.stopped;
  for (const auto& step : steps) succeeded = succeeded && step.succeeded;
  if (session.json)
    fmt::print("{}", jsonText(resultOutput(daemon, steps, succeeded)));
  else
    fmt::print("{}", closingText(succeeded));
  co_return succeeded ? QSExitCode::success : QSExitCode::failure;
}

}  // namespace

void addUninstallCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(
      app, "uninstall",
      "Remove everything Quayside put on this machine: .test routing, the certificate's trust, the links, login "
      "items and desktop entries, and all local data (asks first)",
      "  qs uninstall               say what goes, ask, then remove it\n"
      "  qs uninstall --keep-data   keep the databases, mail, logs and settings\n"
      "  qs uninstall -y --json     without asking; the results as JSON\n"
      "Project folders and their .env files are never touched. Exit status 1 when a step failed.\n");
  auto flags = std::make_shared<UninstallFlags>();
  command->add_flag("--keep-data", flags->keepData,
                    "Keep the data folder (databases, engines, mail, backups, logs) and the settings");
  command->add_flag("--yes,-y", flags->yes, "Don't ask first (needed without a terminal)");
  addJsonFlag(command, session);
  onRun(command, session, [&session, flags] { return uninstall(session, *flags); });
}

}  // namespace qs
