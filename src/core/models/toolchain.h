// An installed Swift toolchain.
#pragma once

#include "core/models/json_coding.h"

#include <filesystem>
#include <string>

namespace qs {

struct QSToolchain {
  std::string id;
  std::string version;           // e.g. "6.0.3"
  std::filesystem::path path;    // toolchain root; the server command is path/usr/bin/swift
  bool isDefault = false;

  // "Swift 6.0.3", with " (Default)" for the system default.
  std::string displayName() const;

  bool operator==(const QSToolchain&) const = default;
};

void encodeJson(json& out, const QSToolchain& value, const QSCoder& coder);
void decodeJson(const json& in, QSToolchain& value, const QSCoder& coder);

}  // namespace qs
