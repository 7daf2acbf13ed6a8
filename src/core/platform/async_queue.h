// An unbounded queue with one consumer on the service loop: producers push without waiting,
// the consumer awaits the next item. Used for the engine's event stream and client event streams.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <deque>
#include <optional>

namespace qs {

template <class T>
class QSAsyncQueue {
public:
  explicit QSAsyncQueue(const asio::any_io_executor& executor)
      : wake_(executor, asio::steady_timer::time_point::max()) {}

  // Adds an item and wakes the consumer. Items pushed after finish() are dropped.
  void push(T item) {
    if (finished_) return;
    items_.push_back(std::move(item));
    wake_.cancel();
  }

  // Ends the stream: the consumer receives what is queued, then nothing.
  void finish() {
    finished_ = true;
    wake_.cancel();
  }

  // The next item, or nothing once the queue is finished and drained. One consumer at a time.
  // A cancelled wait (the consumer's cancellation slot, e.g. the loser of `next() || timer`) also
  // returns nothing and leaves the queue as it was.
  asio::awaitable<std::optional<T>> next() {
    while (items_.empty() && !finished_) {
      wake_.expires_at(asio::steady_timer::time_point::max());
      asio::error_code ignored;
      co_await wake_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
      // A push also ends the wait; only the consumer's own cancellation stops it.
      auto state = co_await asio::this_coro::cancellation_state;
      if (state.cancelled() != asio::cancellation_type::none) co_return std::nullopt;
    }
    if (items_.empty()) co_return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    co_return item;
  }

  bool isFinished() const { return finished_; }
  std::size_t size() const { return items_.size(); }

private:
  asio::steady_timer wake_;
  std::deque<T> items_;
  bool finished_ = false;
};

}  // namespace qs
