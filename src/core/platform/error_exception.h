// Throwing a typed error enumeration whose cases carry the user's text.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace qs {

// Carries an error value `E` (anything with `std::string message() const`); `what()` is its
// message, so a caller that only reports can catch std::exception.
template <class E>
class QSErrorException : public std::exception {
public:
  explicit QSErrorException(E error) : error_(std::move(error)), message_(error_.message()) {}
  const E& error() const { return error_; }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  E error_;
  std::string message_;
};

}  // namespace qs
