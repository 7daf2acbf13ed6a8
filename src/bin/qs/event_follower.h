// Following the daemon's events from a command: several event streams, a wake-up timer and
// Ctrl-C merged into one sequence of items, awaited one at a time in arrival order.
#pragma once

#include "core/platform/async_queue.h"
#include "core/protocol/event.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qs {

class QSEventFollower {
public:
  enum class What {
    event,        // `event` holds the next event of a followed stream
    timeUp,       // the delay given to wakeAfter() has passed
    interrupted,  // Ctrl-C (SIGINT) was pressed
    ended,        // every followed stream has ended (the connection closed)
  };
  struct Item {
    What what = What::ended;
    QSEvent event;
  };

  explicit QSEventFollower(asio::any_io_executor executor);
  // Stops catching Ctrl-C and cancels the timer.
  ~QSEventFollower();
  QSEventFollower(const QSEventFollower&) = delete;
  QSEventFollower& operator=(const QSEventFollower&) = delete;

  // Adds a stream (from QSDaemonClient::events); its events are delivered as they come.
  void follow(std::shared_ptr<QSAsyncQueue<QSEvent>> stream);
  // From now on the first Ctrl-C is delivered as `interrupted` instead of ending the process;
  // a second one ends it as usual.
  void catchInterrupt();
  // Delivers `timeUp` once `delay` has passed (replacing an earlier delay).
  void wakeAfter(std::chrono::steady_clock::duration delay);
  // How many events have arrived and not yet been taken with next().
  std::size_t queuedEvents() const;
  // The next item; waits until there is one.
  asio::awaitable<Item> next();

private:
  struct State;
  static asio::awaitable<void> pump(std::weak_ptr<State> weak, std::shared_ptr<QSAsyncQueue<QSEvent>> source);

  std::shared_ptr<State> state_;
};

// How many of `arrived` (log lines that came as events while `fetched`, the last lines of the
// buffer, was being asked for) are also the last lines of `fetched`: the largest n such that
// the first n of `arrived` equal the last n of `fetched`. A follower that subscribes before it
// fetches skips those so that no line is printed twice.
std::size_t replayedLineCount(const std::vector<std::string>& fetched, const std::vector<std::string>& arrived);

}  // namespace qs
