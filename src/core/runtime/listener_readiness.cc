#include "core/runtime/listener_readiness.h"

#include <asio/async_result.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <memory>

namespace qs {
namespace {

// One wait: the caller's completion handler and the timer that races the listener. The first
// contender to claim `once` completes the handler; the others find the claim taken and stop.
template <class Handler>
class Wait : public std::enable_shared_from_this<Wait<Handler>> {
public:
  Wait(const asio::any_io_executor& executor, Handler handler) : timer_(executor), handler_(std::move(handler)) {}

  void begin(const QSListenerStart& start, std::chrono::steady_clock::duration timeout) {
    timer_.expires_after(timeout);
    timer_.async_wait([self = this->shared_from_this()](const std::error_code& error) {
      if (error == asio::error::operation_aborted) return;  // a report won and cancelled us
      self->resume(std::make_exception_ptr(QSListenerException(listenerError::StartTimedOut{})));
    });
    // The report holds the wait only weakly: a listener that keeps its report callback around
    // after the wait has finished must not keep the finished wait alive.
    std::weak_ptr<Wait> weak = this->shared_from_this();
    QSListenerReport report = [weak](std::exception_ptr failure) {
      if (auto self = weak.lock()) self->resume(std::move(failure));
    };
    try {
      start(report);
    } catch (...) {
      resume(std::current_exception());
    }
  }

private:
  // May run on any thread (a listener may report from its own); the timer and the handler are
  // only touched on the wait's executor.
  void resume(std::exception_ptr failure) {
    if (!once_.claim()) return;
    asio::post(timer_.get_executor(), [self = this->shared_from_this(), failure]() mutable {
      self->timer_.cancel();
      auto handler = std::move(self->handler_);
      auto executor = asio::get_associated_executor(handler, self->timer_.get_executor());
      asio::dispatch(executor, [handler = std::move(handler), failure]() mutable { std::move(handler)(failure); });
    });
  }

  QSResumeOnce once_;
  asio::steady_timer timer_;
  Handler handler_;
};

}  // namespace

bool QSResumeOnce::claim() {
  std::lock_guard guard(lock_);
  if (claimed_) return false;
  claimed_ = true;
  return true;
}

std::string QSListenerError::message() const { return "The listener did not become ready in time."; }

asio::awaitable<void> awaitListenerReady(QSListenerStart start, std::chrono::steady_clock::duration timeout) {
  auto executor = co_await asio::this_coro::executor;
  auto initiation = [&](auto handler) {
    using Handler = decltype(handler);
    std::make_shared<Wait<Handler>>(executor, std::move(handler))->begin(start, timeout);
  };
  // A non-null exception_ptr as the completion value is rethrown in this coroutine.
  co_await asio::async_initiate<decltype(asio::use_awaitable), void(std::exception_ptr)>(initiation,
                                                                                         asio::use_awaitable);
}

QSListenerStart listenOn(asio::ip::tcp::acceptor& acceptor, asio::ip::tcp::endpoint endpoint) {
  return [&acceptor, endpoint](QSListenerReport report) {
    try {
      acceptor.open(endpoint.protocol());
      acceptor.set_option(asio::socket_base::reuse_address(true));
      acceptor.bind(endpoint);
      acceptor.listen();
    } catch (...) {
      // Leave no half-set-up socket behind: the caller sees a closed acceptor and the error.
      std::error_code ignored;
      acceptor.close(ignored);
      throw;
    }
    report(nullptr);
  };
}

}  // namespace qs
