// Running coroutines of the service loop from a test, and waiting on its background work.
#pragma once

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include <chrono>
#include <concepts>
#include <functional>
#include <future>
#include <stdexcept>
#include <type_traits>

namespace qs::testing {

// Runs `op` on `io` until it completes and returns its value (or rethrows). Other work on the
// loop (background readers, timers) runs meanwhile. Throws after `limit` so a broken test ends.
template <class T>
T runUntilDone(asio::io_context& io, asio::awaitable<T> op, std::chrono::seconds limit = std::chrono::seconds(60)) {
  auto future = asio::co_spawn(io, std::move(op), asio::use_future);
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("coroutine did not finish in time");
    io.restart();
    io.run_for(std::chrono::milliseconds(10));
  }
  return future.get();
}

// Runs the coroutine `body()` returns, as above, then lets the loop finish what the coroutine
// left ready (closed connections, readers winding down). `body` outlives its coroutine.
template <std::invocable Body>
auto runUntilDone(asio::io_context& io, Body body) {
  io.restart();
  auto finish = [&io] {
    io.restart();
    io.poll();
  };
  if constexpr (std::is_void_v<typename std::invoke_result_t<Body>::value_type>) {
    runUntilDone(io, body());
    finish();
  } else {
    auto value = runUntilDone(io, body());
    finish();
    return value;
  }
}

// Runs the loop until `condition` holds; false when it still does not after `limit`.
inline bool runUntil(asio::io_context& io, const std::function<bool()>& condition,
                     std::chrono::seconds limit = std::chrono::seconds(30)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    io.restart();
    io.run_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace qs::testing
