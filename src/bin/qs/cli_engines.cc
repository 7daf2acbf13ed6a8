// `qs engines`, `qs engine install ID`, `qs engine uninstall ID`: the catalogue of database
// engines and what is installed. These work on the data folder directly (the registry is shared
// with the daemon, which sees changes at its next database operation), so they need no daemon.
#include "bin/qs/cli_commands.h"
#include "bin/qs/output.h"

#include "core/databases/database_error.h"
#include "core/databases/service_downloader.h"
#include "core/databases/service_registry.h"
#include "core/platform/paths.h"
#include "core/platform/terminal.h"
#include "core/routing/port_scanner.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

// One catalogue entry with what this machine has of it (`qs engines --json`).
struct QSEngineListing {
  static constexpr std::string_view recordName = "QSEngineListing";
  QSServiceDefinition service;
  QSServiceStatus status = QSServiceStatus::notInstalled;
  std::optional<int> port;
  std::optional<std::filesystem::path> installPath;
  std::optional<std::string> packageCommand;  // a system engine whose OS package is missing
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("service", self.service)
        .field("status", self.status)
        .field("port", self.port)
        .field("installPath", self.installPath)
        .field("packageCommand", self.packageCommand);
  }
};

// The names the engines' servers run under.
bool isEngineServer(QSDatabaseType type, const std::string& name) {
  switch (type) {
    case QSDatabaseType::postgresql: return name == "postgres";
    case QSDatabaseType::mysql: return name == "mysqld" || name == "mariadbd";
    case QSDatabaseType::redis: return name.starts_with("redis-server");
    case QSDatabaseType::sqlite: return false;
  }
  return false;
}

std::vector<QSEngineListing> listings() {
  QSSystemEngines system;
  QSServiceRegistry registry(QSPaths::dataFolderPath() / "services.json");
  auto installed = registry.installedServices();
  std::vector<QSEngineListing> out;
  for (const auto& entry : QSServiceCatalogue::load(QSServiceCatalogue::defaultManifestFiles(), system)) {
    QSEngineListing listing{.service = entry};
    auto record = std::find_if(installed.begin(), installed.end(), [&](const auto& s) { return s.id == entry.id; });
    if (record != installed.end()) {
      listing.status = QSServiceStatus::installed;
      listing.port = record->port;
      listing.installPath = record->installPath;
      for (const auto& process : QSPortScanner().processesListening(record->port))
        if (isEngineServer(entry.type, process.name)) listing.status = QSServiceStatus::running;
    } else if (entry.archiveFormat == QSArchiveFormat::system && !system.isPresent(entry.type)) {
      listing.packageCommand = system.packageCommand(entry.type);
    }
    out.push_back(std::move(listing));
  }
  return out;
}

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
  auto all = listings();
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
  fmt::print("{}", table.render());
  fmt::print("\nInstall one with 'qs engine install ID'; 'qs db provision' links the system's own engines by itself.\n");
  co_return QSExitCode::success;
}

// A bar on a terminal, whole percentages on separate lines otherwise.
QSServiceDownloader::Progress progressPrinter() {
  bool terminal = isTerminal(2);
  auto last = std::make_shared<int>(-1);
  return [terminal, last](double fraction) {
    int percent = static_cast<int>(fraction * 100);
    if (percent == *last) return;
    *last = percent;
    if (terminal) {
      int filled = percent * 30 / 100;
      fmt::print(stderr, "\r[{}{}] {:3}%", std::string(filled, '#'), std::string(30 - filled, ' '), percent);
      if (percent == 100) fmt::print(stderr, "\n");
    } else {
      fmt::print(stderr, "{}%\n", percent);
    }
    std::fflush(stderr);
  };
}

asio::awaitable<int> runInstall(QSCliSession& session, std::string id) {
  QSSystemEngines system;
  auto catalogue = QSServiceCatalogue::load(QSServiceCatalogue::defaultManifestFiles(), system);
  auto entry = QSServiceCatalogue::find(catalogue, id);
  if (!entry) throw QSCliError("No engine '" + id + "' in the catalogue; 'qs engines' lists them.");
  fs::path dataRoot = QSPaths::dataFolder();
  fs::path folder;
  try {
    folder = QSServiceDownloader::forDataRoot(dataRoot, system).install(*entry, progressPrinter());
  } catch (const QSServiceDownloadException& e) {
    throw QSCliError(e.what());
  }
  QSServiceRegistry registry(dataRoot / "services.json");
  registry.registerService({.id = entry->id,
                            .type = entry->type,
                            .version = entry->version,
                            .installPath = folder,
                            .installedAt = QSTime::now(),
                            .port = defaultPort(entry->type)});
  if (session.json)
    fmt::print("{}", jsonText(*registry.service(entry->type)));
  else
    fmt::print("Installed {} ({}) in {}.\n", entry->displayVersion(), entry->id, folder.string());
  co_return QSExitCode::success;
}

asio::awaitable<int> runUninstall(QSCliSession&, std::string id) {
  fs::path dataRoot = QSPaths::dataFolder();
  QSServiceDownloader downloader = QSServiceDownloader::forDataRoot(dataRoot);
  QSServiceRegistry registry(dataRoot / "services.json");
  auto installed = registry.installedServices();
  bool registered = std::any_of(installed.begin(), installed.end(), [&](const auto& s) { return s.id == id; });
  if (!registered && !downloader.installPath(id)) throw QSCliError("The engine '" + id + "' isn't installed.");
  downloader.uninstall(id);
  registry.unregister(id);
  fmt::print("Uninstalled {}. Its databases stay in {}.\n", id, dataRoot.string());
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
