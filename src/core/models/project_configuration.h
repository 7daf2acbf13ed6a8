// The root of the persisted state: every project and database.
#pragma once

#include "core/models/database.h"
#include "core/models/project.h"

#include <vector>

namespace qs {

struct QSProjectConfiguration {
  static constexpr std::string_view recordName = "QSProjectConfiguration";
  int version = 1;
  std::vector<QSProject> projects;   // in the order added
  std::vector<QSDatabase> databases; // in the order created

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("version", self.version)
        .field("projects", self.projects)
        .field("databases", self.databases);
  }

  bool operator==(const QSProjectConfiguration&) const = default;
};

}  // namespace qs
