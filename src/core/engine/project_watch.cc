#include "core/engine/project_watch.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include <fmt/format.h>

namespace qs {
namespace {

namespace fs = std::filesystem;

std::string secondsText(std::chrono::milliseconds limit) {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
  return fmt::format("{} second{}", seconds, seconds == 1 ? "" : "s");
}

}  // namespace

QSProjectWatch::QSProjectWatch(asio::any_io_executor executor, fs::path projectPath, std::string projectName,
                               Hooks hooks, QSWatchOptions options)
    : executor_(executor), projectName_(projectName), hooks_(std::move(hooks)), options_(options),
      sources_(executor, std::move(projectPath), std::move(projectName), options.maxWatches,
               {[this](std::optional<std::string> last) { noteChange(std::move(last)); },
                [this](std::string reason) { stopWatching(reason); }}),
      wake_(executor), buildEnded_(executor) {}

std::shared_ptr<QSProjectWatch> QSProjectWatch::start(asio::any_io_executor executor, fs::path projectPath,
                                                      std::string projectName, Hooks hooks, QSWatchOptions options) {
  auto watch = std::shared_ptr<QSProjectWatch>(
      new QSProjectWatch(executor, std::move(projectPath), std::move(projectName), std::move(hooks), options));
  if (!watch->sources_.begin()) return watch;
  watch->hooks_.console("[Watching " + watch->projectName_ +
                        ": saving a file in Sources/, Package.swift or Package.resolved rebuilds it while it serves]");
  auto self = watch;
  asio::co_spawn(executor, [self]() -> asio::awaitable<void> { co_await self->sources_.run(); }, asio::detached);
  asio::co_spawn(executor, [self]() -> asio::awaitable<void> { co_await self->buildLoop(); }, asio::detached);
  return watch;
}

void QSProjectWatch::end() {
  if (ended_) return;
  ended_ = true;
  if (build_) build_->cancel();
  sources_.cancel();
  wake_.cancel();
}

asio::awaitable<void> QSProjectWatch::stop() {
  auto self = shared_from_this();
  end();
  while (build_) {
    buildEnded_.expires_at(asio::steady_timer::time_point::max());
    std::error_code ignored;
    co_await buildEnded_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
}

// Ends the watch from the inside, saying why; the owner hears of it through `ended`.
void QSProjectWatch::stopWatching(const std::string& reason) {
  if (ended_) return;
  hooks_.console(reason);
  auto ended = hooks_.ended;
  end();
  if (ended) ended();
}

void QSProjectWatch::noteChange(std::optional<std::string> lastChanged) {
  if (lastChanged) lastChanged_ = std::move(*lastChanged);
  ++changes_;
  if (build_) build_->cancel();  // it builds what is already out of date
  wake_.cancel();
}

asio::awaitable<bool> QSProjectWatch::sleep(std::chrono::steady_clock::duration period) {
  if (period == std::chrono::steady_clock::duration::max())
    wake_.expires_at(asio::steady_timer::time_point::max());
  else
    wake_.expires_after(period);
  std::error_code error;
  co_await wake_.async_wait(asio::redirect_error(asio::use_awaitable, error));
  co_return !error;
}

asio::awaitable<void> QSProjectWatch::buildLoop() {
  std::uint64_t built = 0;
  while (!ended_) {
    if (changes_ == built) {
      co_await sleep(std::chrono::steady_clock::duration::max());
      continue;
    }
    // Quiet for a whole debounce period since the last change: then build.
    std::uint64_t seen = changes_;
    bool quiet = co_await sleep(options_.debounce);
    if (ended_ || !quiet || changes_ != seen) continue;
    built = seen;
    co_await buildOnce();
  }
}

asio::awaitable<void> QSProjectWatch::buildOnce() {
  auto self = shared_from_this();
  auto request = co_await hooks_.build();
  if (!request || ended_) co_return;
  request->limit = options_.buildLimit;
  hooks_.rebuilding(true);
  hooks_.console("[Rebuilding " + projectName_ + ": " + lastChanged_ + " changed]");
  QSBuildOutcome outcome;
  try {
    build_ = QSSwiftBuild::start(executor_, *request, hooks_.console);
    outcome = co_await build_->finished();
  } catch (const std::exception& e) {
    build_.reset();
    buildEnded_.cancel();
    if (!ended_) hooks_.buildFailed(std::string("The rebuild could not start: ") + e.what());
    co_return;
  }
  build_.reset();
  buildEnded_.cancel();
  if (ended_) co_return;
  using Kind = QSBuildOutcome::Kind;
  switch (outcome.kind) {
    case Kind::cancelled:
      hooks_.console("[More changes during the build: building " + projectName_ + " again]");
      co_return;  // still rebuilding: the loop builds again after the quiet period
    case Kind::succeeded:
      hooks_.console("[Rebuilt " + projectName_ + ": restarting it on the new build]");
      co_await hooks_.runNewBuild();
      co_return;
    case Kind::failed:
      hooks_.console(fmt::format("[Rebuild failed (exit {}): {} goes on serving the last good build]",
                                 outcome.exitStatus, projectName_));
      hooks_.buildFailed(fmt::format("The rebuild failed (swift build exited with code {}); the server still runs "
                                     "the last good build. The compiler's errors are in the console.",
                                     outcome.exitStatus));
      co_return;
    case Kind::timedOut:
      hooks_.console(fmt::format("[The rebuild of {} did not end within {} and was stopped; it goes on serving the "
                                 "last good build]",
                                 projectName_, secondsText(options_.buildLimit)));
      hooks_.buildFailed(fmt::format("The rebuild did not end within {} and was stopped; the server still runs "
                                     "the last good build.",
                                     secondsText(options_.buildLimit)));
      co_return;
  }
}

}  // namespace qs
