// The links between projects and databases beyond a single edit: the databases a new project's
// .env names, adopted; every project's linked databases started at bootstrap; a linked engine's
// port followed before the project's server starts; a removed project's databases dropped.
#pragma once

#include "core/engine/database_operations.h"
#include "core/engine/engine_services.h"
#include "core/engine/engine_state.h"
#include "core/engine/environment_operations.h"

#include <asio/awaitable.hpp>

#include <memory>
#include <optional>
#include <vector>

namespace qs {

class QSDatabaseLinks {
public:
  QSDatabaseLinks(QSEngineState& state, QSDatabaseOperations& databaseOps, QSEnvironmentOperations& environment,
                  std::shared_ptr<QSDatabaseServicing> databases);

  // Links the project to the databases found for its .env (adding records not yet known).
  void adoptDatabases(QSProject& project, const std::vector<QSDatabase>& adoptable);
  // Every project's linked databases whose engine is installed, started (or adopted, when an
  // earlier owner left the engine running).
  asio::awaitable<void> startLinkedDatabases();
  // The project's linked databases recorded on the port their engine runs on now.
  asio::awaitable<void> reconcileLinkedDatabases(const QSUUID& projectID);
  // Drops a database no other project links and forgets it; whether it was forgotten.
  asio::awaitable<bool> dropAndForget(std::optional<QSUUID> databaseID, const QSUUID& excludingProject);

private:
  asio::awaitable<void> ensureLinkedDatabasesRunning(const QSUUID& projectID);

  QSEngineState& state_;
  QSDatabaseOperations& databaseOps_;
  QSEnvironmentOperations& environment_;
  std::shared_ptr<QSDatabaseServicing> databases_;
};

}  // namespace qs
