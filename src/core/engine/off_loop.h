// Running blocking work on a worker pool from a coroutine on the service loop.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>
#include <asio/use_awaitable.hpp>

#include <exception>
#include <memory>
#include <type_traits>

namespace qs {

// Runs `work` on `pool` and resumes the awaiting coroutine on `loop` with the result, or with the
// exception `work` threw. The work must not touch loop-owned state; its result type must be
// default-constructible.
//
// Callers pass a named lambda, not a temporary: g++ 12 relocates temporaries that live across a
// co_await bitwise, which breaks captured strings.
template <class F>
asio::awaitable<std::invoke_result_t<F>> runOffLoop(asio::thread_pool& pool, asio::any_io_executor loop, F work) {
  using Result = std::invoke_result_t<F>;
  auto job = std::make_shared<F>(std::move(work));
  auto initiate = [&pool, loop, job](auto handler) {
    asio::post(pool, [handler = std::move(handler), loop, job]() mutable {
      std::exception_ptr error;
      Result result{};
      try {
        result = (*job)();
      } catch (...) {
        error = std::current_exception();
      }
      asio::post(loop, [handler = std::move(handler), error, result = std::move(result)]() mutable {
        std::move(handler)(error, std::move(result));
      });
    });
  };
  return asio::async_initiate<decltype(asio::use_awaitable), void(std::exception_ptr, Result)>(std::move(initiate),
                                                                                             asio::use_awaitable);
}

}  // namespace qs
