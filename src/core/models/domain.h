// A project's .test host name, served by the proxy.
#pragma once

#include "core/models/json_coding.h"

#include <string>

namespace qs {

struct QSDomain {
  QSUUID id = QSUUID::random();
  std::string hostname;  // e.g. "blog.test"
  int targetPort = 0;    // the project's port
  bool sslEnabled = false;

  bool operator==(const QSDomain&) const = default;
};

void encodeJson(json& out, const QSDomain& value, const QSCoder& coder);
void decodeJson(const json& in, QSDomain& value, const QSCoder& coder);

}  // namespace qs
