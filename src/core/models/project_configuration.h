// The root of the persisted state: every project and database.
#pragma once

#include "core/models/database.h"
#include "core/models/project.h"

#include <vector>

namespace qs {

struct QSProjectConfiguration {
  int version = 1;
  std::vector<QSProject> projects;   // in the order added
  std::vector<QSDatabase> databases; // in the order created

  bool operator==(const QSProjectConfiguration&) const = default;
};

void encodeJson(json& out, const QSProjectConfiguration& value, const QSCoder& coder);
void decodeJson(const json& in, QSProjectConfiguration& value, const QSCoder& coder);

}  // namespace qs
