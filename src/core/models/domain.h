// A project's .test host name, served by the proxy.
#pragma once

#include "core/models/json_coding.h"

#include <string>

namespace qs {

struct QSDomain {
  static constexpr std::string_view recordName = "QSDomain";
  QSUUID id = QSUUID::random();
  std::string hostname;  // e.g. "blog.test"
  int targetPort = 0;    // the project's port
  bool sslEnabled = false;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("hostname", self.hostname)
        .field("targetPort", self.targetPort)
        .field("sslEnabled", self.sslEnabled);
  }

  bool operator==(const QSDomain&) const = default;
};

}  // namespace qs
