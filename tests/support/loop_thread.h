// A service loop on a thread of its own, for tests whose client side blocks (plain sockets):
// work is handed to the loop and its result awaited.
#pragma once

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include <thread>

namespace qs::testing {

class LoopThread {
public:
  LoopThread() : guard_(asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {}
  ~LoopThread() {
    guard_.reset();
    io_.stop();
    thread_.join();
  }

  asio::any_io_executor executor() { return io_.get_executor(); }

  // Runs `f` (returning a value) on the loop and returns its result.
  template <class F>
  auto call(F f) {
    return asio::co_spawn(io_, [f]() -> asio::awaitable<decltype(f())> { co_return f(); }, asio::use_future).get();
  }
  // Runs the coroutine `make()` returns on the loop until it ends; rethrows its failure.
  template <class F>
  void await(F make) {
    asio::co_spawn(io_, make(), asio::use_future).get();
  }

private:
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> guard_;
  std::thread thread_;
};

}  // namespace qs::testing
