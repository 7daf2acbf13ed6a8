// Waiting for listeners to come up: real TCP listeners on loopback, starts that fail, and
// starts that never report.
#include "core/runtime/listener_readiness.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <gtest/gtest.h>

#include <thread>

namespace qs {
namespace {

using namespace std::chrono_literals;
using asio::ip::tcp;

// Runs the wait on `io` until it completes; returns how it ended (no failure: ready) and how
// many times the completion ran, which stays observable after the return. Work the wait leaves
// behind (a start still running) is dropped with the loop.
struct Ended {
  std::exception_ptr failure;
  int completions = 0;
};

template <class MakeWait>
std::shared_ptr<Ended> runWait(asio::io_context& io, MakeWait makeWait) {
  auto ended = std::make_shared<Ended>();
  io.restart();  // a loop that ran out of work stays stopped until restarted
  asio::co_spawn(io, makeWait(), [ended](std::exception_ptr failure) {
    ++ended->completions;
    ended->failure = failure;
  });
  while (ended->completions == 0 && io.run_one() > 0) {
  }
  io.poll();  // let any straggling contender run: it must not complete the wait again
  EXPECT_EQ(ended->completions, 1);
  return ended;
}

// "ready", or the text of what the wait threw.
std::string outcome(const std::shared_ptr<Ended>& ended) {
  if (!ended->failure) return "ready";
  try {
    std::rethrow_exception(ended->failure);
  } catch (const std::exception& error) {
    return error.what();
  }
}

const char* const kTimedOut = "The listener did not become ready in time.";

TEST(ListenerReadinessTest, TcpListenerOnLoopbackBecomesReadyAndATakenPortFails) {
  asio::io_context io;
  tcp::acceptor acceptor(io);
  auto ended = runWait(io, [&] {
    return awaitListenerReady(listenOn(acceptor, {asio::ip::make_address("127.0.0.1"), 0}));
  });
  ASSERT_EQ(outcome(ended), "ready");
  ASSERT_TRUE(acceptor.is_open());
  auto endpoint = acceptor.local_endpoint();

  // (Ready means listening: the SMTP server's clients connect at once.) A second listener on the
  // port fails the wait with the bind's error, and is left closed.
  tcp::acceptor second(io);
  auto taken = runWait(io, [&] { return awaitListenerReady(listenOn(second, endpoint)); });
  ASSERT_TRUE(taken->failure);
  try {
    std::rethrow_exception(taken->failure);
  } catch (const asio::system_error& error) {
    EXPECT_EQ(error.code(), asio::error::address_in_use);
  }
  EXPECT_FALSE(second.is_open());
}

// A start that fails ends the wait with its failure: reported from another thread, or thrown by a
// start function.
TEST(ListenerReadinessTest, FailedStarts) {
  asio::io_context io;
  std::thread reporter;
  auto reported = runWait(io, [&] {
    return awaitListenerReady([&](QSListenerReport report) {
      reporter = std::thread([report] { report(std::make_exception_ptr(std::runtime_error("no route"))); });
    });
  });
  reporter.join();
  EXPECT_EQ(outcome(reported), "no route");

  auto thrown = runWait(io, [&] { return awaitListenerReady([](QSListenerReport) { throw std::logic_error("no socket"); }); });
  EXPECT_EQ(outcome(thrown), "no socket");
}

TEST(ListenerReadinessTest, StartsThatNeverReportTimeOut) {
  asio::io_context io;
  QSListenerReport kept;
  auto ended = runWait(io, [&] {
    return awaitListenerReady([&](QSListenerReport report) { kept = report; }, 20ms);
  });
  EXPECT_EQ(outcome(ended), kTimedOut);
  // The listener reporting after the wait gave up changes nothing.
  kept(nullptr);
  kept(std::make_exception_ptr(std::runtime_error("late")));
  io.poll();
  EXPECT_EQ(ended->completions, 1);
}

// Ready and the time limit arriving together, from two threads: the wait ends exactly once,
// either way.
TEST(ListenerReadinessTest, ReadyAndTimeoutTogetherResumeOnce) {
  for (int round = 0; round < 200; ++round) {
    asio::io_context io;
    std::thread reporter;
    auto ended = runWait(io, [&] {
      return awaitListenerReady(
          [&](QSListenerReport report) {
            reporter = std::thread([report] {
              report(nullptr);
              report(std::make_exception_ptr(std::runtime_error("second report")));
            });
          },
          0ms);
    });
    reporter.join();
    io.poll();
    ASSERT_EQ(ended->completions, 1);
    EXPECT_TRUE(!ended->failure || outcome(ended) == kTimedOut) << outcome(ended);
  }
}

}  // namespace
}  // namespace qs
