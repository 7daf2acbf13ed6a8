#include "core/models/persistence_service.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"
#include "core/models/swift_version_file.h"

#include <algorithm>

namespace qs {

QSStateLoadError::QSStateLoadError(Kind kind, std::string what, std::optional<std::filesystem::path> backup,
                                   std::string underlying)
    : std::runtime_error(std::move(what)), kind_(kind), backup_(std::move(backup)), underlying_(std::move(underlying)) {}

QSStateLoadError QSStateLoadError::missing(const std::filesystem::path& file) {
  return QSStateLoadError(Kind::missing, "No state file at " + file.string() + ".", std::nullopt, "");
}

QSStateLoadError QSStateLoadError::unreadable(std::optional<std::filesystem::path> backup, std::string underlying) {
  return QSStateLoadError(Kind::unreadable, "The state file could not be loaded: " + underlying, std::move(backup),
                          std::move(underlying));
}

std::filesystem::path QSPersistenceService::defaultConfigPath() { return QSPaths::dataFolderPath() / "config.json"; }

std::string QSPersistenceService::encode(const QSProjectConfiguration& configuration) {
  json document = toJson(configuration, QSCoder::stateFile());
  // Objects are key-sorted maps, so every level comes out in alphabetical order. Text that is not
  // valid UTF-8 is replaced rather than failing the whole save.
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

void QSPersistenceService::save(const QSProjectConfiguration& configuration) const {
  createDirectories(configPath_.parent_path(), 0700);
  writeFileAtomically(configPath_, encode(configuration), 0600);
  for (const auto& project : configuration.projects) QSSwiftVersionFile::sync(project.swiftVersion, project.path);
}

QSProjectConfiguration QSPersistenceService::load() const {
  if (!fileExists(configPath_)) throw QSStateLoadError::missing(configPath_);
  std::string text;
  try {
    text = readFile(configPath_);
  } catch (const QSSystemError& e) {
    throw QSStateLoadError::unreadable(backUpUnreadableConfig(), e.what());
  }
  QSProjectConfiguration configuration;
  try {
    json document = json::parse(text);
    configuration = fromJson<QSProjectConfiguration>(document, QSCoder::stateFile());
  } catch (const json::exception& e) {
    throw QSStateLoadError::unreadable(backUpUnreadableConfig(), e.what());
  } catch (const QSDecodingError& e) {
    throw QSStateLoadError::unreadable(backUpUnreadableConfig(), e.what());
  }
  reconcileSwiftVersions(configuration);
  return configuration;
}

void QSPersistenceService::reconcileSwiftVersions(QSProjectConfiguration& configuration) {
  for (auto& project : configuration.projects) {
    if (auto pinned = QSSwiftVersionFile::read(project.path)) {
      project.swiftVersion = *pinned;  // the file wins
    } else if (project.swiftVersion) {
      QSSwiftVersionFile::sync(project.swiftVersion, project.path);
    }
  }
}

std::optional<std::filesystem::path> QSPersistenceService::backUpUnreadableConfig() const {
  auto bytes = readFileIfPresent(configPath_);
  if (!bytes) return std::nullopt;
  const std::string prefix = configPath_.filename().string() + ".corrupt-";
  const auto folder = configPath_.parent_path();

  std::vector<std::string> copies;
  try {
    for (auto& name : listDirectory(folder))
      if (name.starts_with(prefix)) copies.push_back(name);
  } catch (const QSSystemError&) {
    // An unlistable folder counts as one without copies.
  }
  std::sort(copies.begin(), copies.end(), std::greater<>());
  if (!copies.empty() && readFileIfPresent(folder / copies.front()) == bytes) return folder / copies.front();

  auto backup = folder / (prefix + QSTime::backupStampUTC(QSTime::now()));
  try {
    writeFileAtomically(backup, *bytes, 0600);
  } catch (const QSSystemError&) {
    return std::nullopt;
  }
  return backup;
}

QSProjectConfiguration QSPersistenceService::loadForOwner(std::string_view prefix,
                                                         const std::function<void(const std::string&)>& log) const {
  try {
    return load();
  } catch (const QSStateLoadError& e) {
    if (e.kind() == QSStateLoadError::Kind::unreadable) {
      std::string where = e.backupPath() ? e.backupPath()->string() : "(backup failed)";
      log(std::string(prefix) + "config.json couldn't be loaded (" + e.underlying() + "); preserved a copy at " +
          where + " and started with empty state.");
    }
  } catch (const std::exception& e) {
    log(std::string(prefix) + "unexpected error loading config.json \u2014 " + e.what());
  }
  return QSProjectConfiguration{};
}

}  // namespace qs
