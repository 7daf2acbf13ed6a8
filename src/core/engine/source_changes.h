// The build inputs of one project as the kernel reports their changes (inotify): `Sources/` (every
// folder in it, new ones included), `Package.swift` and `Package.resolved`. `Resources/` and
// `Public/` are read by the server at run time and never count.
//
// Lives on the service loop. Reports through two hooks: a build input changed, or watching became
// impossible (the folder went away, the inotify limit was reached) with the console line saying
// why; nothing is reported after that, nor after cancel().
#pragma once

#include "core/platform/tree_watch.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSSourceChanges {
public:
  struct Hooks {
    // Build inputs changed: the last one, relative to the project; nothing when the kernel dropped
    // events and any file may have changed.
    std::function<void(std::optional<std::string>)> changed;
    std::function<void(std::string)> ended;  // watching stopped by itself: the console line saying why
  };

  // `maxWatches` caps the folders watched, as the kernel's per-user limit does (tests only).
  QSSourceChanges(asio::any_io_executor executor, std::filesystem::path projectPath, std::string projectName,
                  std::optional<std::size_t> maxWatches, Hooks hooks);
  ~QSSourceChanges();
  QSSourceChanges(const QSSourceChanges&) = delete;
  QSSourceChanges& operator=(const QSSourceChanges&) = delete;

  // Starts watching; false, with `ended` called, when the project cannot be watched.
  bool begin();
  // Reports changes until cancel() or until watching ends.
  asio::awaitable<void> run();
  void cancel();

  // Whether a change of `path` (absolute) makes the project at `root` rebuild.
  static bool isBuildInput(const std::filesystem::path& root, const std::filesystem::path& path);

private:
  void note(const QSTreeWatch::Batch& batch);
  void end(const std::string& reason);

  asio::any_io_executor executor_;
  std::filesystem::path projectPath_;
  std::string projectName_;
  std::optional<std::size_t> maxWatches_;
  Hooks hooks_;
  std::unique_ptr<QSTreeWatch> tree_;
  std::unique_ptr<asio::posix::stream_descriptor> readable_;
  bool over_ = false;
};

}  // namespace qs
