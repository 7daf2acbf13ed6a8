// Failures of operating-system calls, each naming the call or path that failed.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <system_error>

namespace qs {

// An operating-system call failed. `what()` reads "<operation>: <the code's message>", for
// example "open /home/me/.env: Permission denied". A std::system_error, so the code is
// `code()` and callers that catch std::system_error (Asio's failures among them) see it too.
class QSSystemError : public std::system_error {
public:
  // `code` is an errno value.
  QSSystemError(std::string operation, int code);
  QSSystemError(std::string operation, std::error_code code);
  const std::string& operation() const { return operation_; }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  std::string operation_;
  std::string message_;
};

// Throws QSSystemError for `operation` with the current errno (or the given code).
[[noreturn]] void throwSystemError(std::string_view operation);
[[noreturn]] void throwSystemError(std::string_view operation, int code);
[[noreturn]] void throwSystemError(std::string_view operation, std::error_code code);

// What a caught failure says: its what(), "unknown error" for anything that is not a
// std::exception, and nothing when there was no failure.
std::string describeError(const std::exception_ptr& error);

}  // namespace qs
