// The installable database engines (the catalogue) and the installed ones (the registry's records).
#pragma once

#include "core/models/database_type.h"
#include "core/models/json_coding.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// How an engine's archive is unpacked. `system` is an engine the OS package manager installed:
// nothing is downloaded, its binaries are linked into the install folder. `dmg` images cannot be
// opened on Linux; installing one fails.
enum class QSArchiveFormat { tarGZ, dmg, sourceTarGZ, tarXZ, system };

template <>
struct QSRawEnum<QSArchiveFormat> {
  static constexpr std::string_view typeName = "QSArchiveFormat";
  static constexpr std::array<std::pair<QSArchiveFormat, std::string_view>, 5> cases{{
      {QSArchiveFormat::tarGZ, "tarGZ"},
      {QSArchiveFormat::dmg, "dmg"},
      {QSArchiveFormat::sourceTarGZ, "sourceTarGZ"},
      {QSArchiveFormat::tarXZ, "tarXZ"},
      {QSArchiveFormat::system, "system"},
  }};
};

// What the user interface shows for a catalogue entry.
enum class QSServiceStatus { notInstalled, downloading, installing, installed, running, error };

template <>
struct QSRawEnum<QSServiceStatus> {
  static constexpr std::string_view typeName = "QSServiceStatus";
  static constexpr std::array<std::pair<QSServiceStatus, std::string_view>, 6> cases{{
      {QSServiceStatus::notInstalled, "notInstalled"},
      {QSServiceStatus::downloading, "downloading"},
      {QSServiceStatus::installing, "installing"},
      {QSServiceStatus::installed, "installed"},
      {QSServiceStatus::running, "running"},
      {QSServiceStatus::error, "error"},
  }};
};

// One installable engine.
struct QSServiceDefinition {
  static constexpr std::string_view recordName = "QSServiceDefinition";
  std::string id;  // also the install folder's and the downloaded archive's name
  QSDatabaseType type = QSDatabaseType::postgresql;
  std::string version;   // shown to the user: "15", "8.4 LTS"
  std::string platform;  // processor architecture: "x86_64", "aarch64"
  std::string downloadURL;
  std::string checksum;  // SHA-256 of the archive in hexadecimal; empty: not verified
  std::int64_t compressedSize = 0;
  std::vector<std::string> binaryNames;  // what the install provides under bin/
  QSArchiveFormat archiveFormat = QSArchiveFormat::tarGZ;
  std::optional<std::string> dmgContentPath;

  // "PostgreSQL 15".
  std::string displayVersion() const;
  // "120 MB"; "" for a system engine, which downloads nothing.
  std::string formattedSize() const;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("type", self.type)
        .field("version", self.version)
        .field("platform", self.platform)
        .field("downloadURL", self.downloadURL)
        .field("checksum", self.checksum)
        .field("compressedSize", self.compressedSize)
        .field("binaryNames", self.binaryNames)
        .field("archiveFormat", self.archiveFormat)
        .field("dmgContentPath", self.dmgContentPath);
  }
  bool operator==(const QSServiceDefinition&) const = default;
};

struct QSServiceManifest {
  static constexpr std::string_view recordName = "QSServiceManifest";
  std::vector<QSServiceDefinition> services;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("services", self.services);
  }
};

// One installed engine, as services.json records it.
struct QSInstalledService {
  static constexpr std::string_view recordName = "QSInstalledService";
  std::string id;
  QSDatabaseType type = QSDatabaseType::postgresql;
  std::string version;
  std::filesystem::path installPath;
  QSTimestamp installedAt = QSTime::now();
  int port = 0;  // where the database service runs this engine; moved when the port is taken

  // installPath/bin/NAME.
  std::filesystem::path binaryURL(const std::string& name) const { return installPath / "bin" / name; }

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("type", self.type)
        .field("version", self.version)
        .field("installPath", self.installPath)
        .field("installedAt", self.installedAt)
        .field("port", self.port);
  }
  bool operator==(const QSInstalledService&) const = default;
};

}  // namespace qs
