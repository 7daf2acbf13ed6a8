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

  bool runsServerAtLogin() const { return autoStartServerAtLogin.value_or(false); }
  bool isPagesLinked() const { return pagesSourceBookmark.has_value(); }

  bool operator==(const QSProject&) const = default;
};

void encodeJson(json& out, const QSProject& value, const QSCoder& coder);
void decodeJson(const json& in, QSProject& value, const QSCoder& coder);

}  // namespace qs
