#include "core/routing/port_availability.h"

#include <cerrno>

namespace qs {

QSPortAvailability QSPortAvailability::fromBindError(int code) {
  switch (code) {
    case EADDRINUSE: return avail::InUse{};
    case EACCES:
    case EPERM: return avail::PermissionDenied{};
    default: return avail::Error{code};
  }
}

}  // namespace qs
