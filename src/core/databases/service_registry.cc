#include "core/databases/service_registry.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <algorithm>
#include <system_error>

namespace qs {
namespace fs = std::filesystem;
namespace {

std::optional<fs::file_time_type> modificationTime(const fs::path& file) {
  std::error_code ec;
  auto stamp = fs::last_write_time(file, ec);
  if (ec) return std::nullopt;
  return stamp;
}

std::vector<QSInstalledService> decodeServices(const std::string& text) {
  try {
    return fromJson<std::vector<QSInstalledService>>(json::parse(text), QSCoder::stateFile());
  } catch (const std::exception&) {
    return {};  // a corrupt file reads as no engines; the next save replaces it
  }
}

}  // namespace

QSServiceRegistry::QSServiceRegistry(fs::path file) : file_(std::move(file)) {}

fs::path QSServiceRegistry::defaultFile() { return QSPaths::dataFolder() / "services.json"; }

void QSServiceRegistry::reloadIfChanged() {
  auto stamp = modificationTime(file_);
  if (!loaded_ || stamp != loadedStamp_) {
    auto text = stamp ? readFileIfPresent(file_) : std::nullopt;
    services_ = text ? decodeServices(*text) : std::vector<QSInstalledService>{};
    loadedStamp_ = stamp;
    loaded_ = true;
  }
  auto gone = std::erase_if(services_, [](const QSInstalledService& s) { return !isDirectory(s.installPath); });
  if (gone > 0) save();
}

void QSServiceRegistry::save() {
  createDirectories(file_.parent_path(), 0700);
  writeFileAtomically(file_, toJson(services_, QSCoder::stateFile()).dump(2) + "\n", 0600);
  // Our own write is not a change to read back.
  loadedStamp_ = modificationTime(file_);
}

std::vector<QSInstalledService> QSServiceRegistry::installedServices() {
  reloadIfChanged();
  return services_;
}

std::optional<QSInstalledService> QSServiceRegistry::service(QSDatabaseType type) {
  reloadIfChanged();
  for (const auto& s : services_)
    if (s.type == type) return s;
  return std::nullopt;
}

std::optional<fs::path> QSServiceRegistry::binaryPath(QSDatabaseType type, const std::string& binary) {
  auto installed = service(type);
  if (!installed) return std::nullopt;
  auto path = installed->binaryURL(binary);
  if (!fileExists(path)) return std::nullopt;
  return path;
}

bool QSServiceRegistry::isInstalled(QSDatabaseType type) { return service(type).has_value(); }

void QSServiceRegistry::registerService(const QSInstalledService& installed) {
  reloadIfChanged();
  std::erase_if(services_, [&](const QSInstalledService& s) { return s.type == installed.type; });
  services_.push_back(installed);
  save();
}

void QSServiceRegistry::setPort(int port, QSDatabaseType type) {
  reloadIfChanged();
  auto it = std::find_if(services_.begin(), services_.end(), [&](const QSInstalledService& s) { return s.type == type; });
  if (it == services_.end()) return;
  it->port = port;
  save();
}

void QSServiceRegistry::unregister(QSDatabaseType type) {
  reloadIfChanged();
  std::erase_if(services_, [&](const QSInstalledService& s) { return s.type == type; });
  save();
}

void QSServiceRegistry::unregister(const std::string& id) {
  reloadIfChanged();
  std::erase_if(services_, [&](const QSInstalledService& s) { return s.id == id; });
  save();
}

}  // namespace qs
