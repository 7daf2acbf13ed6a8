// Running blocking work on a worker pool from a coroutine on the service loop.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/thread_pool.hpp>
#include <asio/use_awaitable.hpp>

#include <type_traits>

namespace qs {

// Runs `work` on `pool` and resumes the caller on its own executor with the result (or the
// exception `work` threw). The work must not touch loop-owned state.
template <class F>
asio::awaitable<std::invoke_result_t<F>> runOffLoop(asio::thread_pool& pool, F work) {
  using Result = std::invoke_result_t<F>;
  co_return co_await asio::co_spawn(
      pool.get_executor(), [work = std::move(work)]() mutable -> asio::awaitable<Result> { co_return work(); },
      asio::use_awaitable);
}

}  // namespace qs
