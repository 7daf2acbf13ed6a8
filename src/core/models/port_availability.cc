#include "core/models/port_availability.h"

#include <cerrno>

namespace qs {

QSPortAvailability QSPortAvailability::fromBindError(int code) {
  switch (code) {
    case EADDRINUSE: return portAvailability::InUse{};
    case EACCES:
    case EPERM: return portAvailability::PermissionDenied{};
    default: return portAvailability::Error{code};
  }
}

}  // namespace qs
