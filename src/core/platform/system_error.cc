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

std::string describeError(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace qs
