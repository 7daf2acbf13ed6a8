// The gate server launches pass through: open until shutdown closes it, and counting the launches
// under way, so that shutdown can wait for each of them to end (and so catch the server one
// started while it waited).
//
// Lives on the service loop, owned by the supervisor.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

namespace qs {

class QSLaunchGate {
public:
  // A launch under way, from enter() until it is destroyed.
  class Pass {
  public:
    explicit Pass(QSLaunchGate& gate) : gate_(gate) {}
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    ~Pass() {
      if (--gate_.inProgress_ == 0) gate_.settled_.cancel();
    }

  private:
    QSLaunchGate& gate_;
  };

  explicit QSLaunchGate(asio::any_io_executor executor);

  // Counts a launch as under way while the returned pass lives.
  [[nodiscard]] Pass enter();
  // Refuses every later launch (isClosed() is true from now on), then waits until no launch is
  // under way any more.
  asio::awaitable<void> close();
  bool isClosed() const { return closed_; }

private:
  bool closed_ = false;
  int inProgress_ = 0;
  asio::steady_timer settled_;  // cancelled when the last launch under way ends
};

}  // namespace qs
