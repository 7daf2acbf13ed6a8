#include "core/runtime/swift_build.h"

#include "core/platform/child_process.h"
#include "core/runtime/console_pipe_reader.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include <csignal>
#include <optional>

namespace qs {
namespace {

// How long a build that was told to end (SIGTERM: swift-build then cancels its compiler jobs)
// may take before its whole group is killed.
constexpr std::chrono::seconds kEndGrace{2};
// How long the output of an ended build may still be read (a leftover may hold the pipes).
constexpr std::chrono::seconds kDrainLimit{1};

asio::awaitable<void> waitOn(asio::steady_timer& timer) {
  std::error_code ignored;
  co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
}

}  // namespace

struct QSSwiftBuild::State {
  State(asio::any_io_executor executor, std::chrono::milliseconds limit)
      : executor(executor), ended(executor, limit), drained(executor), killer(executor) {}
  asio::any_io_executor executor;
  std::shared_ptr<QSChildProcess> process;
  LineHandler onLine;
  std::optional<std::int32_t> exitStatus;
  bool cancelled = false;
  bool terminating = false;
  int openPipes = 0;
  asio::steady_timer ended;    // expires at the time limit; cancelled when the build exits
  asio::steady_timer drained;  // cancelled when both pipes reached their end
  asio::steady_timer killer;   // SIGKILL for a group that ignores SIGTERM

  void terminate() {
    if (terminating || exitStatus) return;
    terminating = true;
    process->signalGroup(SIGTERM);
    killer.expires_after(kEndGrace);
    killer.async_wait([process = process](std::error_code error) {
      if (!error) process->signalGroup(SIGKILL);
    });
  }
};

QSSwiftBuild::QSSwiftBuild(std::unique_ptr<State> state) : state_(std::move(state)) {}

QSSwiftBuild::~QSSwiftBuild() {
  // Nobody waits for it any more: a build must not go on writing into the project unobserved.
  if (state_->process && !state_->exitStatus) state_->process->signalGroup(SIGKILL);
}

std::shared_ptr<QSSwiftBuild> QSSwiftBuild::start(asio::any_io_executor executor, const QSBuildRequest& request,
                                                  LineHandler onLine) {
  auto state = std::make_unique<State>(executor, request.limit);
  state->onLine = std::move(onLine);
  QSChildLaunch launch{request.swift, {"build", "--product", request.target}, request.projectPath,
                       request.environment};
  state->process = QSChildProcess::spawn(launch);
  auto build = std::shared_ptr<QSSwiftBuild>(new QSSwiftBuild(std::move(state)));
  build->readPipe(build->state_->process->takeStandardOutput().release());
  build->readPipe(build->state_->process->takeStandardError().release());
  std::weak_ptr<QSSwiftBuild> weak = build;
  asio::co_spawn(
      executor,
      [process = build->state_->process, weak]() -> asio::awaitable<void> {
        std::int32_t status = co_await process->waitForExit();
        if (auto self = weak.lock()) {
          self->state_->exitStatus = status;
          self->state_->ended.cancel();
          self->state_->killer.cancel();
        }
      },
      asio::detached);
  return build;
}

void QSSwiftBuild::readPipe(int fd) {
  if (fd < 0) return;
  ++state_->openPipes;
  auto stream = std::make_shared<asio::posix::stream_descriptor>(state_->executor, fd);
  std::weak_ptr<QSSwiftBuild> weak = weak_from_this();
  asio::co_spawn(
      state_->executor,
      [stream, weak]() -> asio::awaitable<void> {
        auto take = [&weak](std::vector<std::string> lines) {
          auto self = weak.lock();
          if (!self) return false;
          for (auto& line : lines) self->state_->onLine(std::move(line));
          return true;
        };
        bool ended = co_await readConsoleLines(*stream, take);
        auto self = weak.lock();
        if (ended && self && --self->state_->openPipes == 0) self->state_->drained.cancel();
      },
      asio::detached);
}

asio::awaitable<QSBuildOutcome> QSSwiftBuild::finished() {
  auto self = shared_from_this();  // the loop's callbacks hold it only weakly
  State& s = *state_;
  if (!s.exitStatus) co_await waitOn(s.ended);
  bool timedOut = !s.exitStatus && !s.cancelled;
  while (!s.exitStatus) {
    s.terminate();
    s.ended.expires_at(asio::steady_timer::time_point::max());
    co_await waitOn(s.ended);
  }
  if (s.openPipes > 0) {
    s.drained.expires_after(kDrainLimit);
    co_await waitOn(s.drained);
  }
  using Kind = QSBuildOutcome::Kind;
  if (s.cancelled) co_return QSBuildOutcome{Kind::cancelled, -1};
  if (timedOut) co_return QSBuildOutcome{Kind::timedOut, -1};
  co_return QSBuildOutcome{*s.exitStatus == 0 ? Kind::succeeded : Kind::failed, *s.exitStatus};
}

void QSSwiftBuild::cancel() {
  if (state_->exitStatus) return;
  state_->cancelled = true;
  state_->terminate();
  state_->ended.cancel();
}

std::int32_t QSSwiftBuild::pid() const { return state_->process->pid(); }

}  // namespace qs
