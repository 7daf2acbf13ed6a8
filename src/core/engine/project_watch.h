// Watch mode for one project's running server: rebuilds when its sources change while the old
// server goes on serving, and swaps the server for the new build only once that build succeeded.
//
// What is watched is QSSourceChanges' business. Changes are debounced (a quiet period after the last change), so a checkout of
// hundreds of files gives one build; a change during a build ends that build and starts over.
//
// Lives on the service loop; the supervisor owns it and lends it the operations below.
#pragma once

#include "core/engine/source_changes.h"
#include "core/runtime/swift_build.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qs {

struct QSWatchOptions {
  std::chrono::milliseconds debounce{300};
  // A build that has not ended by then is stopped (as long as a start may take to serve).
  std::chrono::milliseconds buildLimit{std::chrono::seconds(900)};
  // Caps the folders watched, as the kernel's per-user limit does (tests only).
  std::optional<std::size_t> maxWatches;
};

class QSProjectWatch : public std::enable_shared_from_this<QSProjectWatch> {
public:
  struct Hooks {
    std::function<void(std::string)> console;             // one console line
    std::function<void(bool)> rebuilding;                 // a build began (true) or is over (false)
    // What to build now (toolchain, target, environment); nothing when the project is gone.
    std::function<asio::awaitable<std::optional<QSBuildRequest>>()> build;
    std::function<asio::awaitable<void>()> runNewBuild;   // stop the server, run the new build
    std::function<void(std::string)> buildFailed;         // the failure, for the server's record
    std::function<void()> ended;                          // the watch ended by itself
  };

  // Begins watching `projectPath` now. A folder that cannot be watched (gone, or the inotify
  // limit reached) ends the watch at once with a console line saying why; the server runs on.
  static std::shared_ptr<QSProjectWatch> start(asio::any_io_executor executor, std::filesystem::path projectPath,
                                               std::string projectName, Hooks hooks, QSWatchOptions options);

  // Stops watching and ends a build under way (its processes included). No hook is called
  // afterwards. Idempotent.
  void end();
  // end(), then waits until a build under way has exited.
  asio::awaitable<void> stop();
  bool isBuilding() const { return static_cast<bool>(build_); }
  bool hasEnded() const { return ended_; }

private:
  QSProjectWatch(asio::any_io_executor executor, std::filesystem::path projectPath, std::string projectName,
                 Hooks hooks, QSWatchOptions options);
  asio::awaitable<void> buildLoop();
  asio::awaitable<void> buildOnce();
  void noteChange(std::optional<std::string> lastChanged);
  void stopWatching(const std::string& reason);
  // Waits `period` (or until woken); true when the whole period passed.
  asio::awaitable<bool> sleep(std::chrono::steady_clock::duration period);

  asio::any_io_executor executor_;
  std::string projectName_;
  Hooks hooks_;
  QSWatchOptions options_;
  QSSourceChanges sources_;
  asio::steady_timer wake_;
  asio::steady_timer buildEnded_;  // cancelled whenever a build has exited
  std::uint64_t changes_ = 0;  // counts batches with a build input
  std::string lastChanged_;    // the last build input changed, relative to the project
  std::shared_ptr<QSSwiftBuild> build_;
  bool ended_ = false;
};

}  // namespace qs
