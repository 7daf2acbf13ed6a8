// What the user chose for a new project: its name and place, database, port, git and error pages.
#pragma once

#include "core/models/database_type.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

struct QSProjectScaffoldOptions {
  std::string name;
  std::filesystem::path parentDirectory;
  std::optional<QSDatabaseType> databaseType;
  int port = 8080;
  bool initializeGitRepository = true;
  bool includeErrorPages = false;
  bool operator==(const QSProjectScaffoldOptions&) const = default;
};

}  // namespace qs
