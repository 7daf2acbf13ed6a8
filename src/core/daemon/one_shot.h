// A result handed once to a coroutine waiting for it on the service loop.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include <exception>
#include <optional>
#include <utility>

namespace qs {

// The first of `succeed` and `fail` settles it; later ones change nothing and return false, so
// two racing completions (an answer and a broken connection, an operation and its time limit)
// resume the waiter exactly once.
template <class T>
class QSOneShot {
public:
  explicit QSOneShot(const asio::any_io_executor& executor)
      : wake_(executor, asio::steady_timer::time_point::max()) {}

  bool isSettled() const { return settled_; }

  // Settles with a value; false when it was already settled.
  bool succeed(T value) {
    if (settled_) return false;
    value_.emplace(std::move(value));
    settle();
    return true;
  }

  // Settles with an error that wait() rethrows; false when it was already settled.
  bool fail(std::exception_ptr error) {
    if (settled_) return false;
    error_ = std::move(error);
    settle();
    return true;
  }

  // The value (moved out: one waiter) or the error, once settled; at once when already settled.
  asio::awaitable<T> wait() {
    while (!settled_) {
      asio::error_code ignored;
      co_await wake_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }
    if (error_) std::rethrow_exception(error_);
    co_return std::move(*value_);
  }

private:
  void settle() {
    settled_ = true;
    wake_.cancel();
  }

  asio::steady_timer wake_;
  std::optional<T> value_;
  std::exception_ptr error_;
  bool settled_ = false;
};

}  // namespace qs
