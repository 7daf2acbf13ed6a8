// Running the routing services on a loop thread while a test talks to them over real sockets
// with ordinary blocking calls.
#pragma once

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/use_future.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace qs::testing {

class LoopThread {
public:
  LoopThread() : work_(asio::make_work_guard(io)), thread_([this] { io.run(); }) {}
  ~LoopThread() {
    work_.reset();
    io.stop();
    thread_.join();
  }

  // Runs `op` on the loop and returns its result (or rethrows).
  template <class T>
  T await(asio::awaitable<T> op) {
    return asio::co_spawn(io, std::move(op), asio::use_future).get();
  }
  // Runs `f` on the loop (where the services' state lives) and returns its result, if any.
  template <class F>
  auto call(F f) {
    std::packaged_task<decltype(f())()> task(std::move(f));
    auto result = task.get_future();
    asio::post(io, [&task] { task(); });
    return result.get();
  }
  // Asks `condition` on the loop until it holds; false when it still does not after `limit`.
  bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!call(condition)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  asio::io_context io;

private:
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  std::thread thread_;
};

// This process's open descriptors and what each refers to ("7->socket:[123]"), the listing's own
// among them: leaks show in the count and are named in failure messages.
inline std::vector<std::string> openDescriptors() {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    out.push_back(entry.path().filename().string() + "->" + std::filesystem::read_symlink(entry.path(), ec).string());
  }
  return out;
}

}  // namespace qs::testing
