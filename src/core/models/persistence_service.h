// The durable state: config.json in the data folder, read once by the owner at start and
// written whole after every change.
#pragma once

#include "core/models/project_configuration.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qs {

// Why load() failed.
class QSStateLoadError : public std::runtime_error {
public:
  enum class Kind { missing, unreadable };
  // No file at the state file's location.
  static QSStateLoadError missing(const std::filesystem::path& file);
  // The file exists but could not be read or decoded; `backup` is the kept copy, if one could be made.
  static QSStateLoadError unreadable(std::optional<std::filesystem::path> backup, std::string underlying);

  Kind kind() const { return kind_; }
  const std::optional<std::filesystem::path>& backupPath() const { return backup_; }
  const std::string& underlying() const { return underlying_; }

private:
  QSStateLoadError(Kind kind, std::string what, std::optional<std::filesystem::path> backup, std::string underlying);
  Kind kind_;
  std::optional<std::filesystem::path> backup_;
  std::string underlying_;
};

class QSPersistenceService {
public:
  explicit QSPersistenceService(std::filesystem::path configPath) : configPath_(std::move(configPath)) {}

  // <data folder>/config.json
  static std::filesystem::path defaultConfigPath();

  const std::filesystem::path& configPath() const { return configPath_; }

  // Reads and decodes the state, then lets each project's .swift-version file win over its stored
  // pin (or writes the stored pin to a project that has no file). Throws QSStateLoadError; an
  // unreadable file is first copied to config.json.corrupt-<yyyyMMdd-HHmmss> (UTC) beside it,
  // unless the newest such copy already holds the same bytes.
  QSProjectConfiguration load() const;

  // Writes the whole state atomically (sorted keys, pretty-printed, ISO 8601 dates), then brings
  // every project's .swift-version file in step with its pin. Throws QSSystemError when the folder
  // cannot be made or the file cannot be written; .swift-version failures are not reported.
  void save(const QSProjectConfiguration& configuration) const;

  // What an owner does at start: load, and on failure log one line through `log` and start from
  // the fresh state (version 1, no projects, no databases). `prefix` is "quaysided: " in the
  // daemon and "Quayside: " in the desktop application.
  QSProjectConfiguration loadForOwner(std::string_view prefix, const std::function<void(const std::string&)>& log) const;

  // The JSON text save() writes.
  static std::string encode(const QSProjectConfiguration& configuration);

private:
  std::optional<std::filesystem::path> backUpUnreadableConfig() const;
  static void reconcileSwiftVersions(QSProjectConfiguration& configuration);

  std::filesystem::path configPath_;
};

}  // namespace qs
