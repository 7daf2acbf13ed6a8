// The links between projects and databases: adoption at project add, linked databases started at
// bootstrap, ports followed before a server starts, drops when a project goes.
#include "core/engine/database_links.h"

#include <algorithm>

namespace qs {

QSDatabaseLinks::QSDatabaseLinks(QSEngineState& state, QSDatabaseOperations& databaseOps,
                                 QSEnvironmentOperations& environment, std::shared_ptr<QSDatabaseServicing> databases)
    : state_(state), databaseOps_(databaseOps), environment_(environment), databases_(std::move(databases)) {}

asio::awaitable<bool> QSDatabaseLinks::dropAndForget(std::optional<QSUUID> databaseID, const QSUUID& excludingProject) {
  if (!databaseID || !databaseOps_.database(*databaseID)) co_return false;
  for (const auto& p : state_.config.projects)
    if (p.id != excludingProject && (p.databaseID == databaseID || p.redisID == databaseID)) co_return false;
  QSDatabase record = *databaseOps_.database(*databaseID);
  try {
    co_await databaseOps_.requireDatabases().dropDatabase(record.effectiveDatabaseName(), record.type, record.port);
  } catch (const std::exception& e) {
    record.status = QSDatabaseStatus::error;
    record.errorMessage = std::string("Couldn't drop: ") + e.what();
    databaseOps_.storeDatabase(record);
    state_.emit(evt::DatabaseChanged{record});
    co_return false;
  }
  std::erase_if(state_.config.databases, [&](const QSDatabase& d) { return d.id == *databaseID; });
  state_.save();
  co_return true;
}

void QSDatabaseLinks::adoptDatabases(QSProject& p, const std::vector<QSDatabase>& adoptable) {
  bool appended = false;
  for (const auto& candidate : adoptable) {
    auto same = std::find_if(state_.config.databases.begin(), state_.config.databases.end(), [&](const QSDatabase& d) {
      return d.type == candidate.type && d.effectiveDatabaseName() == candidate.effectiveDatabaseName();
    });
    QSUUID id = candidate.id;
    if (same != state_.config.databases.end()) {
      id = same->id;
    } else {
      state_.config.databases.push_back(candidate);
      appended = true;
    }
    (candidate.type == QSDatabaseType::redis ? p.redisID : p.databaseID) = id;
  }
  if (appended) state_.emit(evt::DatabasesChanged{state_.config.databases});
}

asio::awaitable<void> QSDatabaseLinks::startLinkedDatabases() {
  if (!databases_) co_return;
  std::vector<QSUUID> ids;
  for (const auto& p : state_.config.projects) ids.push_back(p.id);
  for (const auto& id : ids) co_await ensureLinkedDatabasesRunning(id);
}

asio::awaitable<void> QSDatabaseLinks::ensureLinkedDatabasesRunning(const QSUUID& projectID) {
  auto* p = state_.project(projectID);
  if (!p) co_return;
  std::vector<std::optional<QSUUID>> linked{p->databaseID, p->redisID};
  for (const auto& id : linked) {
    auto* record = id ? databaseOps_.database(*id) : nullptr;
    if (!record || record->status == QSDatabaseStatus::running) continue;
    QSDatabaseType type = record->type;
    try {
      // An engine that is not installed (any more) is the user's to install, not a failure here.
      if (type != QSDatabaseType::sqlite && !(co_await databases_->isInstalled(type))) continue;
      co_await databaseOps_.startDatabase(*id);
    } catch (const std::exception& e) {
      state_.log(std::string(QSEngineState::logPrefix) + "couldn't start a linked database at start-up: " + e.what());
    }
  }
}

asio::awaitable<void> QSDatabaseLinks::reconcileLinkedDatabases(const QSUUID& projectID) {
  if (!databases_) co_return;
  auto* p = state_.project(projectID);
  if (!p) co_return;
  std::vector<std::optional<QSUUID>> linked{p->databaseID, p->redisID};
  for (const auto& id : linked) {
    auto* record = id ? databaseOps_.database(*id) : nullptr;
    if (!record || record->type == QSDatabaseType::sqlite) continue;
    QSDatabaseType type = record->type;
    int port = co_await databases_->clusterPort(type);
    record = databaseOps_.database(*id);
    if (!record || record->port == port) continue;
    record->port = port;
    QSDatabase moved = *record;
    state_.save();
    state_.emit(evt::DatabaseChanged{moved});
    environment_.syncEnvVars(moved);
  }
}

}  // namespace qs
