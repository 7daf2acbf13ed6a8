// Failures of operating-system calls, each naming the call or path that failed.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qs {

// An operating-system call failed. `what()` reads "<operation>: <strerror(code)>",
// for example "open /home/me/.env: Permission denied".
class QSSystemError : public std::runtime_error {
public:
  QSSystemError(std::string operation, int code);
  int code() const { return code_; }
  const std::string& operation() const { return operation_; }

private:
  std::string operation_;
  int code_;
};

// Throws QSSystemError for `operation` with the current errno (or the given code).
[[noreturn]] void throwSystemError(std::string_view operation);
[[noreturn]] void throwSystemError(std::string_view operation, int code);

// What a caught failure says: its what(), "unknown error" for anything that is not a
// std::exception, and nothing when there was no failure.
std::string describeError(const std::exception_ptr& error);

}  // namespace qs
