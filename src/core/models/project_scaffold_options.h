// What the new-project scaffold is asked to create; also carried by the `createProject` command.
#pragma once

#include "core/models/database_type.h"
#include "core/models/case_coding.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

struct QSProjectScaffoldOptions {
  static constexpr std::string_view recordName = "QSProjectScaffold.Options";
  std::string name;                            // the new folder's name and the package name
  std::filesystem::path parentDirectory;       // where the project folder is created
  std::optional<QSDatabaseType> databaseType;  // carried only; the scaffold does not act on it
  int port = 8080;                             // written as PORT into .env
  bool initializeGitRepository = false;
  bool includeErrorPages = false;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("name", self.name)
        .field("parentDirectory", self.parentDirectory)
        .field("databaseType", self.databaseType)
        .field("port", self.port)
        .field("initializeGitRepository", self.initializeGitRepository)
        .field("includeErrorPages", self.includeErrorPages);
  }

  bool operator==(const QSProjectScaffoldOptions&) const = default;
};

// The scaffold's own functions are added to this namespace by the scaffold.
namespace QSProjectScaffold {
using Options = QSProjectScaffoldOptions;
}

}  // namespace qs
