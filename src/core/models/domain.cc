#include "core/models/domain.h"

namespace qs {

void encodeJson(json& out, const QSDomain& v, const QSCoder& coder) {
  QSObjectWriter(out, coder)
      .field("id", v.id)
      .field("hostname", v.hostname)
      .field("targetPort", v.targetPort)
      .field("sslEnabled", v.sslEnabled);
}

void decodeJson(const json& in, QSDomain& v, const QSCoder& coder) {
  QSObjectReader(in, "QSDomain", coder)
      .field("id", v.id)
      .field("hostname", v.hostname)
      .field("targetPort", v.targetPort)
      .field("sslEnabled", v.sslEnabled);
}

}  // namespace qs
