// What the port scanner reports about one TCP port, and who listens on it.
#pragma once

#include "core/models/case_coding.h"

#include <cstdint>
#include <string>

namespace qs {

// Cases of QSPortAvailability.
namespace portAvailability {
using Available = QSEmptyCase<"available">;
using InUse = QSEmptyCase<"inUse">;
using PermissionDenied = QSEmptyCase<"permissionDenied">;
using Error = QSUnnamedCase<"error", std::int32_t>;  // the errno of the failed socket call
}  // namespace portAvailability

// Whether 127.0.0.1:port can be bound: coded as {"inUse": {}}, {"error": {"_0": 22}}.
struct QSPortAvailability
    : QSEnumeration<portAvailability::Available, portAvailability::InUse, portAvailability::PermissionDenied, portAvailability::Error> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSPortAvailability";

  // Maps the errno of a failed bind: EADDRINUSE → inUse, EACCES/EPERM → permissionDenied,
  // anything else → error(code).
  static QSPortAvailability fromBindError(int code);

  static QSPortAvailability available() { return portAvailability::Available{}; }
  static QSPortAvailability inUse() { return portAvailability::InUse{}; }
  static QSPortAvailability permissionDenied() { return portAvailability::PermissionDenied{}; }
  static QSPortAvailability error(std::int32_t code) { return portAvailability::Error{code}; }
};

// A process that listens on a TCP port.
struct ListeningProcess {
  static constexpr std::string_view recordName = "ListeningProcess";
  std::int32_t pid = 0;
  std::string name;    // last path component of the process's command
  bool isRoot = false; // runs as root

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("pid", self.pid).field("name", self.name).field("isRoot", self.isRoot);
  }
  bool operator==(const ListeningProcess&) const = default;
};

}  // namespace qs
