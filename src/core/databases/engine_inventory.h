// The database engines of the catalogue with what this machine has of them, and installing or
// removing one. Works on the data folder directly (the registry is shared with whoever owns the
// services, which sees changes at its next database operation), so it needs no daemon.
#pragma once

#include "core/databases/service_definition.h"
#include "core/databases/service_downloader.h"
#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// One catalogue entry with what this machine has of it.
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

namespace engineInventoryError {
using UnknownEngine = QSUnnamedCase<"unknownEngine", std::string>;  // the id asked for
using NotInstalled = QSUnnamedCase<"notInstalled", std::string>;    // the id asked for
}  // namespace engineInventoryError

struct QSEngineInventoryError : QSEnumeration<engineInventoryError::UnknownEngine, engineInventoryError::NotInstalled> {
  using QSEnumeration::QSEnumeration;
  // "No engine 'ID' in the catalogue; 'qs engines' lists them." or "The engine 'ID' isn't installed."
  std::string message() const;
};
using QSEngineInventoryException = QSErrorException<QSEngineInventoryError>;

namespace QSEngineInventory {

// Every catalogue entry: installed (with its port and folder), running (an engine server
// listens on its port), or not installed (with the OS package command for a missing system one).
std::vector<QSEngineListing> listings();
struct Installed {
  QSServiceDefinition service;
  std::filesystem::path folder;
};
// Installs the entry `id` into the data folder and registers it. Throws
// QSEngineInventoryException (unknownEngine) or QSServiceDownloadException.
Installed install(const std::string& id, QSServiceDownloader::Progress progress);
// Removes the engine `id` (its databases are kept). Throws QSEngineInventoryException (notInstalled).
void uninstall(const std::string& id);

}  // namespace QSEngineInventory
}  // namespace qs
