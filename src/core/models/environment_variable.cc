#include "core/models/environment_variable.h"

namespace qs {

void encodeJson(json& out, const QSEnvironmentVariable& v, const QSCoder& coder) {
  QSObjectWriter(out, coder)
      .field("id", v.id)
      .field("key", v.key)
      .field("value", v.value)
      .field("comment", v.comment)
      .field("isEnabled", v.isEnabled);
}

void decodeJson(const json& in, QSEnvironmentVariable& v, const QSCoder& coder) {
  QSObjectReader(in, "QSEnvironmentVariable", coder)
      .field("id", v.id)
      .field("key", v.key)
      .field("value", v.value)
      .field("comment", v.comment)
      .field("isEnabled", v.isEnabled);
}

}  // namespace qs
