#include "bin/qs/event_follower.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <csignal>
#include <optional>

namespace qs {

struct QSEventFollower::State {
  explicit State(const asio::any_io_executor& executor) : executor(executor), merged(executor) {}

  asio::any_io_executor executor;
  QSAsyncQueue<Item> merged;
  std::vector<std::shared_ptr<QSAsyncQueue<QSEvent>>> sources;
  std::size_t liveSources = 0;
  std::size_t mergedEvents = 0;  // event items waiting in `merged`
  std::optional<asio::signal_set> interrupts;
  std::optional<asio::steady_timer> timer;

  void push(Item item) {
    if (item.what == What::event) ++mergedEvents;
    merged.push(std::move(item));
  }
};

asio::awaitable<void> QSEventFollower::pump(std::weak_ptr<State> weak,
                                           std::shared_ptr<QSAsyncQueue<QSEvent>> source) {
  // The pump holds its source, not the follower: a follower that is gone ends it at the next
  // event, and a finished source (the connection closed) ends it at once.
  while (auto event = co_await source->next()) {
    auto state = weak.lock();
    if (!state) co_return;
    state->push({What::event, std::move(*event)});
  }
  if (auto state = weak.lock(); state && --state->liveSources == 0) state->push({What::ended, {}});
}

QSEventFollower::QSEventFollower(asio::any_io_executor executor) : state_(std::make_shared<State>(executor)) {}

QSEventFollower::~QSEventFollower() {
  if (state_->interrupts) state_->interrupts->clear();
  if (state_->timer) state_->timer->cancel();
}

void QSEventFollower::follow(std::shared_ptr<QSAsyncQueue<QSEvent>> stream) {
  state_->sources.push_back(stream);
  ++state_->liveSources;
  asio::co_spawn(state_->executor, pump(state_, stream), asio::detached);
}

void QSEventFollower::catchInterrupt() {
  if (state_->interrupts) return;
  state_->interrupts.emplace(state_->executor, SIGINT);
  std::weak_ptr<State> weak = state_;
  state_->interrupts->async_wait([weak](const asio::error_code& error, int) {
    auto state = weak.lock();
    if (error || !state) return;
    // Leaving the set gives SIGINT its default action back: a second Ctrl-C ends the program.
    state->interrupts->clear();
    state->push({What::interrupted, {}});
  });
}

void QSEventFollower::wakeAfter(std::chrono::steady_clock::duration delay) {
  if (!state_->timer) state_->timer.emplace(state_->executor);
  state_->timer->expires_after(delay);  // cancels an earlier wait
  std::weak_ptr<State> weak = state_;
  state_->timer->async_wait([weak](const asio::error_code& error) {
    auto state = weak.lock();
    if (!error && state) state->push({What::timeUp, {}});
  });
}

std::size_t QSEventFollower::queuedEvents() const {
  std::size_t count = state_->mergedEvents;
  for (const auto& source : state_->sources) count += source->size();
  return count;
}

asio::awaitable<QSEventFollower::Item> QSEventFollower::next() {
  auto state = state_;
  std::optional<Item> item = co_await state->merged.next();
  if (!item) co_return Item{What::ended, {}};
  if (item->what == What::event) --state->mergedEvents;
  co_return std::move(*item);
}

std::size_t replayedLineCount(const std::vector<std::string>& fetched, const std::vector<std::string>& arrived) {
  for (std::size_t n = std::min(fetched.size(), arrived.size()); n > 0; --n)
    if (std::equal(arrived.begin(), arrived.begin() + static_cast<std::ptrdiff_t>(n),
                   fetched.end() - static_cast<std::ptrdiff_t>(n)))
      return n;
  return 0;
}

}  // namespace qs
