// The installed engines: services.json in the data folder, shared by every Quayside process.
#pragma once

#include "core/databases/service_definition.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace qs {

// Reads services.json again before every operation when its modification time changed since
// this instance last read or wrote it, so writes by other processes are seen; writes are atomic.
// At most one engine per type is registered. Not thread-safe: one instance per thread.
class QSServiceRegistry {
public:
  // `file` is services.json; `file`'s folder is created on the first save.
  explicit QSServiceRegistry(std::filesystem::path file);
  // <data folder>/services.json
  static std::filesystem::path defaultFile();

  // Every registered engine. A missing or unreadable file reads as none (the file is left as it
  // is until the next save); entries whose install folder is gone are dropped and the file saved.
  std::vector<QSInstalledService> installedServices();
  // The first engine of `type`.
  std::optional<QSInstalledService> service(QSDatabaseType type);
  // installPath/bin/BINARY of the engine of `type`, only when that file exists.
  std::optional<std::filesystem::path> binaryPath(QSDatabaseType type, const std::string& binary);
  bool isInstalled(QSDatabaseType type);
  // Replaces every engine of the same type with `service`, then saves.
  void registerService(const QSInstalledService& service);
  // Sets the port of the engine of `type` and saves; nothing without one.
  void setPort(int port, QSDatabaseType type);
  void unregister(QSDatabaseType type);
  void unregister(const std::string& id);

  const std::filesystem::path& file() const { return file_; }

private:
  void reloadIfChanged();
  void save();

  std::filesystem::path file_;
  std::vector<QSInstalledService> services_;
  bool loaded_ = false;
  std::optional<std::filesystem::file_time_type> loadedStamp_;
};

}  // namespace qs
