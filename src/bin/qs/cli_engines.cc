// `qs engines`, `qs engine install ID`, `qs engine uninstall ID`: the catalogue of database
// engines and what is installed. These work on the data folder directly (the registry is shared
// with the daemon, which sees changes at its next database operation), so they need no daemon.
#include "bin/qs/cli_commands.h"
#include "bin/qs/output.h"
#include "bin/qs/status_line.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_inventory.h"
#include "core/databases/service_downloader.h"
#include "core/databases/service_registry.h"
#include "core/platform/paths.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

std::string describe(const QSEngineListing& listing) {
  switch (listing.status) {
    case QSServiceStatus::running: return "running";
    case QSServiceStatus::installed: return "installed";
    default: break;
  }
  if (listing.packageCommand) return "not installed (run '" + *listing.packageCommand + "')";
  return "not installed";
}

asio::awaitable<int> runEngines(QSCliSession& session) {
  auto all = QSEngineInventory::listings();
  if (session.json) {
    fmt::print("{}", jsonText(all));
    co_return QSExitCode::success;
  }
  QSTextTable table({"ID", "ENGINE", "SOURCE", "STATUS", "PORT"});
  for (const auto& listing : all) {
    std::string source = listing.service.archiveFormat == QSArchiveFormat::system
                             ? "system packages"
                             : "download, " + listing.service.formattedSize();
    table.addRow({listing.service.id, listing.service.displayVersion(), source, describe(listing),
                  listing.port ? std::to_string(*listing.port) : "-"});
  }
  fmt::print("{}", table.render("", standardOutputWidth()));
  fmt::print("\nInstall one with 'qs engine install ID'; 'qs db provision' links the system's own engines by itself.\n");
  co_return QSExitCode::success;
}

// A bar on a terminal, whole percentages on separate lines otherwise.
QSServiceDownloader::Progress progressPrinter() {
  auto status = std::make_shared<QSStatusLine>(QSStatusLine::on(stderr));
  auto last = std::make_shared<int>(-1);
  return [status, last](double fraction) {
    int percent = static_cast<int>(fraction * 100);
    if (percent == *last) return;
    *last = percent;
    if (!status->onTerminal()) return status->show(fmt::format("{}%", percent));
    int filled = percent * 30 / 100;
    status->show(fmt::format("[{}{}] {:3}%", std::string(filled, '#'), std::string(30 - filled, ' '), percent));
    if (percent == 100) status->keep();
  };
}

asio::awaitable<int> runInstall(QSCliSession& session, std::string id) {
  QSEngineInventory::Installed installed;
  try {
    installed = QSEngineInventory::install(id, progressPrinter());
  } catch (const QSServiceDownloadException& e) {
    throw QSCliError(e.what());
  } catch (const QSEngineInventoryException& e) {
    throw QSCliError(e.what());
  }
  QSServiceRegistry registry(QSPaths::dataFolder() / "services.json");
  if (session.json)
    fmt::print("{}", jsonText(*registry.service(installed.service.type)));
  else
    fmt::print("Installed {} ({}) in {}.\n", installed.service.displayVersion(), id, installed.folder.string());
  co_return QSExitCode::success;
}

asio::awaitable<int> runUninstall(QSCliSession&, std::string id) {
  try {
    QSEngineInventory::uninstall(id);
  } catch (const QSEngineInventoryException& e) {
    throw QSCliError(e.what());
  }
  fmt::print("Uninstalled {}. Its databases stay in {}.\n", id, QSPaths::dataFolder().string());
  co_return QSExitCode::success;
}

}  // namespace

void addEngineCommands(CLI::App& app, QSCliSession& session) {
  auto* engines = addCommand(app, "engines", "List the database engines: installed, running, or how to install them",
                             "  qs engines\n  qs engines --json\n");
  addJsonFlag(engines, session);
  onRun(engines, session, [&session] { return runEngines(session); });

  auto* engine = addCommand(app, "engine", "Install or uninstall a database engine",
                            "  qs engine install postgresql-system   # link the system's PostgreSQL\n"
                            "  qs engine install redis-8.4           # download and build Redis\n"
                            "  qs engine uninstall redis-8.4\n");
  engine->require_subcommand(1);
  auto id = std::make_shared<std::string>();
  auto* install = addCommand(*engine, "install", "Install an engine from the catalogue ('qs engines' lists the ids)",
                             "  qs engine install postgresql-system\n  qs engine install mysql-8.4\n");
  install->add_option("ID", *id, "The engine's id")->required();
  addJsonFlag(install, session);
  onRun(install, session, [&session, id] { return runInstall(session, *id); });
  auto* uninstall = addCommand(*engine, "uninstall", "Remove an installed engine (its databases are kept)",
                               "  qs engine uninstall mysql-8.4\n");
  uninstall->add_option("ID", *id, "The engine's id")->required();
  onRun(uninstall, session, [&session, id] { return runUninstall(session, *id); });
}

}  // namespace qs
