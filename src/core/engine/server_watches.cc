#include "core/engine/server_watches.h"

#include <vector>

namespace qs {

QSServerWatches::QSServerWatches(asio::any_io_executor executor, QSWatchOptions options,
                                 std::shared_ptr<QSServerRecords> records)
    : executor_(std::move(executor)), options_(options), records_(std::move(records)) {}

QSServerWatches::~QSServerWatches() {
  for (auto& [id, watch] : watches_) watch->end();
}

void QSServerWatches::start(const QSProject& project, QSProjectWatch::Hooks hooks) {
  auto watch = QSProjectWatch::start(executor_, project.path, project.name, std::move(hooks), options_);
  if (!watch->hasEnded()) watches_[project.id] = watch;
}

asio::awaitable<void> QSServerWatches::stop(QSUUID projectID) {
  auto it = watches_.find(projectID);
  if (it == watches_.end()) co_return;
  auto watch = it->second;
  watches_.erase(it);
  co_await watch->stop();
  records_->setActivity(projectID, std::nullopt, std::nullopt);
}

asio::awaitable<void> QSServerWatches::stopAll() {
  std::vector<QSUUID> watched;
  for (const auto& [id, watch] : watches_) watched.push_back(id);
  for (const auto& id : watched) co_await stop(id);
}

bool QSServerWatches::end(const QSUUID& projectID) {
  auto it = watches_.find(projectID);
  if (it == watches_.end()) return false;
  it->second->end();
  watches_.erase(it);
  return true;
}

void QSServerWatches::ended(const QSUUID& projectID) {
  watches_.erase(projectID);
  records_->setActivity(projectID, std::nullopt, std::nullopt);
}

bool QSServerWatches::isWatched(const QSUUID& projectID) const { return watches_.contains(projectID); }

}  // namespace qs
