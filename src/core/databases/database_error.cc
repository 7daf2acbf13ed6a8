#include "core/databases/database_error.h"

namespace qs {

std::string QSDatabaseError::message() const {
  using namespace databaseError;
  return visit(QSOverloaded{
      [](const CommandFailed& e) {
        std::string text = e.command + " failed with exit code " + std::to_string(e.status);
        if (e.detail && !e.detail->empty()) text += ": " + *e.detail;
        return text;
      },
      [](const ServiceNotInstalled& e) {
        return std::string(displayName(e.value)) + " is not installed. Install it with 'qs engine install " +
               std::string(rawValue(e.value)) + "-system' (or another version that 'qs engines' lists).";
      },
      [](const InitializationFailed& e) {
        return std::string(displayName(e.type)) + " initialization failed: " + e.text;
      },
      [](const NotInitialized& e) {
        return std::string(displayName(e.value)) + " has not been initialized. Run initialization first.";
      },
      [](const DatabaseCreationFailed& e) { return "Failed to create database: " + e.value; },
      [](const ClusterVersionMismatch& e) {
        return "The PostgreSQL data directory was created by version " + e.onDisk +
               ", but the installed binary is version " + e.binary + ". Reinitialize the database for version " +
               e.binary + " (this erases local databases) or reinstall PostgreSQL " + e.onDisk +
               " with 'qs engine install ID' ('qs engines' lists the versions).";
      },
      [](const ReservedName& e) {
        return "\u201c" + e.name + "\u201d is a database " + std::string(displayName(e.type)) +
               " keeps for itself: choose another name.";
      },
  });
}

std::string QSServiceDownloadError::message() const {
  using namespace serviceDownloadError;
  return visit(QSOverloaded{
      [](const DownloadFailed& e) { return "Failed to download service: " + e.value; },
      [](const ChecksumMismatch& e) {
        return "Checksum verification failed. Expected " + e.expected.substr(0, 8) + "..., got " +
               e.actual.substr(0, 8) + "...";
      },
      [](const ExtractionFailed& e) {
        return "Failed to extract archive (exit code " + std::to_string(e.value) + ")";
      },
      [](const SystemPackageMissing& e) {
        return "This engine comes from the system's packages, which are not installed: run '" + e.value +
               "' first.";
      },
  });
}

}  // namespace qs
