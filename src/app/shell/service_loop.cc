#include "app/shell/service_loop.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <future>

namespace qs {

struct QSServiceLoop::State {
  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> guard{asio::make_work_guard(io)};
};

QSServiceLoop::QSServiceLoop() : state_(std::make_unique<State>()) {
  thread_ = std::thread([state = state_.get()] { state->io.run(); });
}

QSServiceLoop::~QSServiceLoop() { stop(); }

asio::any_io_executor QSServiceLoop::executor() const { return state_->io.get_executor(); }

void QSServiceLoop::post(std::function<void()> work) { asio::post(state_->io, std::move(work)); }

void QSServiceLoop::runAndWait(std::function<void()> work) {
  if (!thread_.joinable() || std::this_thread::get_id() == thread_.get_id()) {
    work();
    return;
  }
  std::promise<void> done;
  post([&] {
    work();
    done.set_value();
  });
  done.get_future().wait();
}

void QSServiceLoop::stop() {
  if (thread_.joinable()) {
    state_->guard.reset();
    state_->io.stop();
    thread_.join();
  }
  // What was posted last (the release of an endpoint and the engine it holds) runs now, on the
  // caller's thread, while the loop's services still exist, rather than in the io_context's
  // destructor after them.
  state_->io.restart();
  state_->io.poll();
}

}  // namespace qs
