// The desktop app's service loop: one thread running the Asio work (the daemon client or the
// engine the app owns). The GUI thread hands work to it; results come back as queued calls.
#pragma once

#include <asio/any_io_executor.hpp>

#include <functional>
#include <memory>
#include <thread>

namespace qs {

class QSServiceLoop {
public:
  // Starts the thread.
  QSServiceLoop();
  // Stops the loop and joins the thread (see stop()).
  ~QSServiceLoop();
  QSServiceLoop(const QSServiceLoop&) = delete;
  QSServiceLoop& operator=(const QSServiceLoop&) = delete;

  asio::any_io_executor executor() const;
  // Runs `work` on the loop thread, after what is already queued.
  void post(std::function<void()> work);
  // Runs `work` on the loop and waits for it; for the wind-down only, never on a hot path.
  void runAndWait(std::function<void()> work);
  // Stops the loop now, joins the thread, then runs on the calling thread whatever work is
  // ready (what was posted before or since); call again after releasing more of the loop's
  // objects, the last time before the loop is destroyed.
  void stop();

private:
  struct State;
  std::unique_ptr<State> state_;
  std::thread thread_;
};

}  // namespace qs
