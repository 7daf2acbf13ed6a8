#include "core/models/project_configuration.h"

namespace qs {

void encodeJson(json& out, const QSProjectConfiguration& v, const QSCoder& coder) {
  QSObjectWriter(out, coder).field("version", v.version).field("projects", v.projects).field("databases", v.databases);
}

void decodeJson(const json& in, QSProjectConfiguration& v, const QSCoder& coder) {
  QSObjectReader(in, "QSProjectConfiguration", coder)
      .field("version", v.version)
      .field("projects", v.projects)
      .field("databases", v.databases);
}

}  // namespace qs
