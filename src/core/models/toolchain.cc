#include "core/models/toolchain.h"

namespace qs {

std::string QSToolchain::displayName() const {
  return "Swift " + version + (isDefault ? " (Default)" : "");
}

void encodeJson(json& out, const QSToolchain& v, const QSCoder& coder) {
  QSObjectWriter(out, coder).field("id", v.id).field("version", v.version).field("path", v.path).field("isDefault", v.isDefault);
}

void decodeJson(const json& in, QSToolchain& v, const QSCoder& coder) {
  QSObjectReader(in, "QSToolchain", coder)
      .field("id", v.id)
      .field("version", v.version)
      .field("path", v.path)
      .field("isDefault", v.isDefault);
}

}  // namespace qs
