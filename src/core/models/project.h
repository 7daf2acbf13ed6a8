// A Vapor project known to Quayside.
#pragma once

#include "core/models/domain.h"
#include "core/models/environment_variable.h"
#include "core/models/json_coding.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSProject {
  static constexpr std::string_view recordName = "QSProject";
  QSUUID id = QSUUID::random();
  std::string name;
  std::filesystem::path path;                 // the package root
  std::optional<QSBytes> bookmarkData;        // on Linux: the absolute path's bytes
  std::optional<std::string> swiftVersion;    // pinned toolchain, mirrored to .swift-version
  int port = 8080;
  std::optional<QSUUID> databaseID;           // linked SQL database
  std::optional<QSUUID> redisID;              // linked Redis database
  std::optional<QSDomain> domain;
  std::vector<QSEnvironmentVariable> environmentVariables;
  QSTimestamp createdAt = QSTime::now();
  std::optional<QSTimestamp> lastOpenedAt;
  std::optional<bool> autoStartServerAtLogin; // absent = never chosen
  std::optional<QSBytes> pagesSourceBookmark; // the site-builder document it was exported from
  std::optional<bool> watchMode;              // rebuild and restart on saved changes; absent = off

  bool runsServerAtLogin() const { return autoStartServerAtLogin.value_or(false); }
  bool isPagesLinked() const { return pagesSourceBookmark.has_value(); }
  bool watchesSources() const { return watchMode.value_or(false); }

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("name", self.name)
        .field("path", self.path)
        .field("bookmarkData", self.bookmarkData)
        .field("swiftVersion", self.swiftVersion)
        .field("port", self.port)
        .field("databaseID", self.databaseID)
        .field("redisID", self.redisID)
        .field("domain", self.domain)
        .field("environmentVariables", self.environmentVariables)
        .field("createdAt", self.createdAt)
        .field("lastOpenedAt", self.lastOpenedAt)
        .field("autoStartServerAtLogin", self.autoStartServerAtLogin)
        .field("pagesSourceBookmark", self.pagesSourceBookmark)
        .field("watchMode", self.watchMode);
  }

  bool operator==(const QSProject&) const = default;
};

}  // namespace qs
