// Failures of the database engines and of installing them; each case carries the user's text.
#pragma once

#include "core/models/case_coding.h"
#include "core/models/database_type.h"
#include "core/platform/error_exception.h"

#include <optional>
#include <string>

namespace qs {

namespace databaseError {
struct CommandFailed {
  static constexpr std::string_view caseName = "commandFailed";
  std::string command;  // the tool's name
  int status = 0;
  std::optional<std::string> detail;  // the tool's first error line
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("command", self.command).field("status", self.status).field("detail", self.detail);
  }
  bool operator==(const CommandFailed&) const = default;
};
using ServiceNotInstalled = QSUnnamedCase<"serviceNotInstalled", QSDatabaseType>;
struct InitializationFailed {
  static constexpr std::string_view caseName = "initializationFailed";
  QSDatabaseType type = QSDatabaseType::postgresql;
  std::string text;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("type", self.type).field("text", self.text);
  }
  bool operator==(const InitializationFailed&) const = default;
};
using NotInitialized = QSUnnamedCase<"notInitialized", QSDatabaseType>;
using DatabaseCreationFailed = QSUnnamedCase<"databaseCreationFailed", std::string>;
struct ClusterVersionMismatch {
  static constexpr std::string_view caseName = "clusterVersionMismatch";
  std::string onDisk;
  std::string binary;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("onDisk", self.onDisk).field("binary", self.binary);
  }
  bool operator==(const ClusterVersionMismatch&) const = default;
};
// A database name the engine keeps for itself (mysql, postgres, template1, …).
struct ReservedName {
  static constexpr std::string_view caseName = "reservedName";
  QSDatabaseType type = QSDatabaseType::postgresql;
  std::string name;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("type", self.type).field("name", self.name);
  }
  bool operator==(const ReservedName&) const = default;
};
}  // namespace databaseError

// E.g. QSDatabaseError(databaseError::ServiceNotInstalled{QSDatabaseType::redis}).message() ==
// "Redis is not installed. Install it with 'qs engine install redis-system' (or another version
// that 'qs engines' lists).".
struct QSDatabaseError
    : QSEnumeration<databaseError::CommandFailed, databaseError::ServiceNotInstalled,
                    databaseError::InitializationFailed, databaseError::NotInitialized,
                    databaseError::DatabaseCreationFailed, databaseError::ClusterVersionMismatch,
                    databaseError::ReservedName> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSDatabaseError";
  std::string message() const;
};
using QSDatabaseException = QSErrorException<QSDatabaseError>;

namespace serviceDownloadError {
using DownloadFailed = QSUnnamedCase<"downloadFailed", std::string>;  // the definition's id
struct ChecksumMismatch {
  static constexpr std::string_view caseName = "checksumMismatch";
  std::string expected;
  std::string actual;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("expected", self.expected).field("actual", self.actual);
  }
  bool operator==(const ChecksumMismatch&) const = default;
};
using ExtractionFailed = QSUnnamedCase<"extractionFailed", int>;  // the tool's exit status
// A system engine whose OS package is missing: the package manager's command that installs it.
using SystemPackageMissing = QSUnnamedCase<"systemPackageMissing", std::string>;
}  // namespace serviceDownloadError

struct QSServiceDownloadError
    : QSEnumeration<serviceDownloadError::DownloadFailed, serviceDownloadError::ChecksumMismatch,
                    serviceDownloadError::ExtractionFailed, serviceDownloadError::SystemPackageMissing> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSServiceDownloadError";
  std::string message() const;
};
using QSServiceDownloadException = QSErrorException<QSServiceDownloadError>;

}  // namespace qs
