#include "core/platform/system_error.h"

#include <cerrno>

namespace qs {

QSSystemError::QSSystemError(std::string operation, int code)
    : QSSystemError(std::move(operation), std::error_code(code, std::generic_category())) {}

// std::system_error would word it "<operation>: <message>" too, but ": <message>" for an
// operation left unnamed.
QSSystemError::QSSystemError(std::string operation, std::error_code code)
    : std::system_error(code),
      operation_(std::move(operation)),
      message_(operation_.empty() ? code.message() : operation_ + ": " + code.message()) {}

void throwSystemError(std::string_view operation) { throwSystemError(operation, errno); }

void throwSystemError(std::string_view operation, int code) { throw QSSystemError(std::string(operation), code); }

void throwSystemError(std::string_view operation, std::error_code code) {
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
