#include "core/runtime/server_process_managing.h"

#include "core/platform/system_error.h"

#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

namespace qs {

// A timer that never expires on its own serves as the consumer's wake-up: the producer cancels
// it. Everything runs on one executor, so no lock is needed.
struct QSTerminationStream::State {
  explicit State(asio::any_io_executor executor) : wake(std::move(executor)) {}
  asio::steady_timer wake;
  std::optional<std::int32_t> status;
  bool ended = false;      // the producer is done
  bool delivered = false;  // the consumer has had the status (or the end)
};

QSTerminationStream::QSTerminationStream(asio::any_io_executor executor)
    : state_(std::make_unique<State>(std::move(executor))) {}

QSTerminationStream::~QSTerminationStream() = default;

asio::awaitable<std::optional<std::int32_t>> QSTerminationStream::next() {
  while (!state_->ended) {
    state_->wake.expires_at(asio::steady_timer::time_point::max());
    std::error_code error;
    co_await state_->wake.async_wait(asio::redirect_error(asio::use_awaitable, error));
    // Woken without an end: the consumer's own wait was cancelled, which it must see.
    if (!state_->ended && error) throw QSSystemError("wait for the server's exit", error);
  }
  if (state_->delivered) co_return std::nullopt;
  state_->delivered = true;
  co_return state_->status;
}

void QSTerminationStream::deliver(std::int32_t status) {
  if (state_->ended) return;
  state_->status = status;
  finish();
}

void QSTerminationStream::finish() {
  state_->ended = true;
  state_->wake.cancel();
}

}  // namespace qs
