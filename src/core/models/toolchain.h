// An installed Swift toolchain.
#pragma once

#include "core/models/json_coding.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

struct QSToolchain {
  static constexpr std::string_view recordName = "QSToolchain";
  std::string id;
  std::string version;           // e.g. "6.0.3"
  std::filesystem::path path;    // toolchain root; the server command is path/usr/bin/swift
  bool isDefault = false;
  // Where it was found, in words ("/opt/swift", "QS_TOOLCHAIN_DIRS", "PATH"); absent in records
  // from older daemons.
  std::optional<std::string> source;

  // "Swift 6.0.3", with " (Default)" for the system default.
  std::string displayName() const;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("version", self.version)
        .field("path", self.path)
        .field("isDefault", self.isDefault)
        .field("source", self.source);
  }

  bool operator==(const QSToolchain&) const = default;
};

}  // namespace qs
