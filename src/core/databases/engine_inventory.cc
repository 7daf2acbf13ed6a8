#include "core/databases/engine_inventory.h"

#include "core/databases/database_engine.h"
#include "core/databases/service_registry.h"
#include "core/platform/paths.h"
#include "core/runtime/port_scanner.h"

#include <algorithm>

namespace qs {

std::string QSEngineInventoryError::message() const {
  return visit(QSOverloaded{
      [](const engineInventoryError::UnknownEngine& e) {
        return "No engine '" + e.value + "' in the catalogue; 'qs engines' lists them.";
      },
      [](const engineInventoryError::NotInstalled& e) { return "The engine '" + e.value + "' isn't installed."; },
  });
}

namespace QSEngineInventory {

namespace fs = std::filesystem;

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
      auto engine = makeDatabaseEngine(entry.type);
      for (const auto& process : QSPortScanner().processesListening(record->port))
        if (engine->isServerProcess(process.name)) listing.status = QSServiceStatus::running;
    } else if (entry.archiveFormat == QSArchiveFormat::system && !system.isPresent(entry.type)) {
      listing.packageCommand = system.packageCommand(entry.type);
    }
    out.push_back(std::move(listing));
  }
  return out;
}

Installed install(const std::string& id, QSServiceDownloader::Progress progress) {
  QSSystemEngines system;
  auto catalogue = QSServiceCatalogue::load(QSServiceCatalogue::defaultManifestFiles(), system);
  auto entry = QSServiceCatalogue::find(catalogue, id);
  if (!entry) throw QSEngineInventoryException(engineInventoryError::UnknownEngine{id});
  fs::path dataRoot = QSPaths::dataFolder();
  fs::path folder = QSServiceDownloader::forDataRoot(dataRoot, system).install(*entry, std::move(progress));
  QSServiceRegistry registry(dataRoot / "services.json");
  registry.registerService({.id = entry->id,
                            .type = entry->type,
                            .version = entry->version,
                            .installPath = folder,
                            .installedAt = QSTime::now(),
                            .port = defaultPort(entry->type)});
  return {*entry, folder};
}

void uninstall(const std::string& id) {
  fs::path dataRoot = QSPaths::dataFolder();
  QSServiceDownloader downloader = QSServiceDownloader::forDataRoot(dataRoot);
  QSServiceRegistry registry(dataRoot / "services.json");
  auto installed = registry.installedServices();
  bool registered = std::any_of(installed.begin(), installed.end(), [&](const auto& s) { return s.id == id; });
  if (!registered && !downloader.installPath(id)) throw QSEngineInventoryException(engineInventoryError::NotInstalled{id});
  downloader.uninstall(id);
  registry.unregister(id);
}

}  // namespace QSEngineInventory
}  // namespace qs
