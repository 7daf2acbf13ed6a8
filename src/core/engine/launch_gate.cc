#include "core/engine/launch_gate.h"

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

namespace qs {

QSLaunchGate::QSLaunchGate(asio::any_io_executor executor) : settled_(std::move(executor)) {}

QSLaunchGate::Pass QSLaunchGate::enter() {
  ++inProgress_;
  return Pass(*this);
}

asio::awaitable<void> QSLaunchGate::close() {
  closed_ = true;
  while (inProgress_ > 0) {
    settled_.expires_at(asio::steady_timer::time_point::max());
    asio::error_code ignored;
    co_await settled_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
}

}  // namespace qs
