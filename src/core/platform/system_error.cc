#include "core/platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace qs {

QSSystemError::QSSystemError(std::string operation, int code)
    : std::runtime_error(operation + ": " + std::strerror(code)),
      operation_(std::move(operation)),
      code_(code) {}

void throwSystemError(std::string_view operation) { throwSystemError(operation, errno); }

void throwSystemError(std::string_view operation, int code) {
  throw QSSystemError(std::string(operation), code);
}

}  // namespace qs
