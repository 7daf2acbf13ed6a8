#include "core/engine/source_changes.h"

#include "core/platform/system_error.h"

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>

namespace qs {
namespace {

namespace fs = std::filesystem;

bool isWithin(const fs::path& folder, const fs::path& path) {
  auto rest = path.lexically_relative(folder);
  return !rest.empty() && *rest.begin() != "..";
}

std::string limitText(const std::string& name) {
  return "[Watch mode is off for " + name +
         ": the system's limit on inotify watches is reached. Raise fs.inotify.max_user_watches (for example "
         "'sudo sysctl fs.inotify.max_user_watches=524288') and turn watch mode on again; the server runs "
         "unwatched.]";
}

}  // namespace

bool QSSourceChanges::isBuildInput(const fs::path& root, const fs::path& path) {
  if (path == root / "Package.swift" || path == root / "Package.resolved") return true;
  return path == root / "Sources" || isWithin(root / "Sources", path);
}

QSSourceChanges::QSSourceChanges(asio::any_io_executor executor, fs::path projectPath, std::string projectName,
                                 std::optional<std::size_t> maxWatches, Hooks hooks)
    : executor_(std::move(executor)), projectPath_(std::move(projectPath)), projectName_(std::move(projectName)),
      maxWatches_(maxWatches), hooks_(std::move(hooks)) {}

QSSourceChanges::~QSSourceChanges() {
  // The descriptor belongs to the tree watch.
  if (readable_) readable_->release();
}

bool QSSourceChanges::begin() {
  try {
    tree_ = std::make_unique<QSTreeWatch>(maxWatches_);
  } catch (const QSSystemError&) {
    end(limitText(projectName_));
    return false;
  }
  auto root = tree_->watchFolder(projectPath_);
  if (root == QSTreeWatch::Added::missing) {
    end("[Watch ended: the project folder " + projectPath_.string() + " is gone; the server runs unwatched.]");
    return false;
  }
  // A package without Sources/ yet is fine: the folder is watched once it is created.
  if (root == QSTreeWatch::Added::limitReached ||
      tree_->watchTree(projectPath_ / "Sources") == QSTreeWatch::Added::limitReached) {
    end(limitText(projectName_));
    return false;
  }
  readable_ = std::make_unique<asio::posix::stream_descriptor>(executor_, tree_->descriptor());
  return true;
}

void QSSourceChanges::cancel() {
  over_ = true;
  if (readable_) readable_->cancel();
}

void QSSourceChanges::end(const std::string& reason) {
  if (over_) return;
  cancel();
  hooks_.ended(reason);
}

asio::awaitable<void> QSSourceChanges::run() {
  while (!over_) {
    std::error_code error;
    co_await readable_->async_wait(asio::posix::stream_descriptor::wait_read,
                                   asio::redirect_error(asio::use_awaitable, error));
    if (over_) co_return;
    if (error) {
      end("[Watch ended for " + projectName_ + ": " + error.message() + "; the server runs unwatched.]");
      co_return;
    }
    note(tree_->take());
  }
}

void QSSourceChanges::note(const QSTreeWatch::Batch& batch) {
  if (std::find(batch.gone.begin(), batch.gone.end(), projectPath_) != batch.gone.end()) {
    end("[Watch ended: the project folder " + projectPath_.string() +
        " was removed or renamed; the server runs unwatched.]");
    return;
  }
  if (tree_->limitReached()) {
    end(limitText(projectName_));
    return;
  }
  bool input = batch.overflowed;
  std::optional<std::string> last;
  for (const auto& change : batch.changes) {
    if (!isBuildInput(projectPath_, change.path)) continue;
    input = true;
    last = change.path.lexically_relative(projectPath_).string();
    // Sources/ itself was created (or replaced): watch everything in it.
    if (change.path == projectPath_ / "Sources" && tree_->watchTree(change.path) == QSTreeWatch::Added::limitReached) {
      end(limitText(projectName_));
      return;
    }
  }
  if (input) hooks_.changed(std::move(last));
}

}  // namespace qs
