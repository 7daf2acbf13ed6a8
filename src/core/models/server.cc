#include "core/models/server.h"

namespace qs {

void encodeJson(json& out, const QSServer& v, const QSCoder& coder) {
  QSObjectWriter(out, coder)
      .field("id", v.id)
      .field("status", v.status)
      .field("port", v.port)
      .field("pid", v.pid)
      .field("startedAt", v.startedAt)
      .field("errorMessage", v.errorMessage);
}

void decodeJson(const json& in, QSServer& v, const QSCoder& coder) {
  QSObjectReader(in, "QSServer", coder)
      .field("id", v.id)
      .field("status", v.status)
      .field("port", v.port)
      .field("pid", v.pid)
      .field("startedAt", v.startedAt)
      .field("errorMessage", v.errorMessage);
}

}  // namespace qs
