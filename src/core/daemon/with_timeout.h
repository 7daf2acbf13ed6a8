// A time limit around an operation that is left running when the limit wins.
#pragma once

#include "core/daemon/one_shot.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <type_traits>
#include <variant>

namespace qs {

// Thrown by withTimeout when the limit passes first. It carries nothing of its own.
class QSTimeoutError : public std::exception {
public:
  const char* what() const noexcept override { return "timed out"; }
};

namespace detail {

inline asio::steady_timer::duration timeLimit(double seconds) {
  return std::chrono::duration_cast<asio::steady_timer::duration>(
      std::chrono::duration<double>(std::max(seconds, 0.0)));
}

}  // namespace detail

// The value of `operation`, or QSTimeoutError when `seconds` pass first; the operation's own
// exception is rethrown. The operation is not cancelled: on a timeout it runs on to its end on
// `executor` and its outcome is dropped, so it must own (or share) everything it touches.
template <class T>
asio::awaitable<T> withTimeout(asio::any_io_executor executor, double seconds, asio::awaitable<T> operation) {
  using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
  auto outcome = std::make_shared<QSOneShot<Stored>>(executor);
  auto timer = std::make_shared<asio::steady_timer>(executor, detail::timeLimit(seconds));

  // The limit is armed first: the operation may finish before co_spawn returns. Also when
  // cancelled: claiming an already settled outcome changes nothing.
  timer->async_wait([outcome, timer](const asio::error_code&) {
    outcome->fail(std::make_exception_ptr(QSTimeoutError{}));
  });
  asio::co_spawn(executor, std::move(operation), [outcome, timer](std::exception_ptr error, auto&&... value) {
    timer->cancel();  // so that nothing waits on the limit once the operation is done
    if (error)
      outcome->fail(error);
    else if constexpr (sizeof...(value) == 0)
      outcome->succeed(std::monostate{});
    else
      outcome->succeed(std::move(value)...);
  });

  if constexpr (std::is_void_v<T>)
    co_await outcome->wait();
  else
    co_return co_await outcome->wait();
}

}  // namespace qs
