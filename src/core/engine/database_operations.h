// The engine's databases: creation, provisioning for a project, start, stop, edits and removal of
// the records, each carried out by the database engines; and the status reconciliation that
// reports a database stopped once its engine has gone.
#pragma once

#include "core/engine/engine_services.h"
#include "core/engine/engine_state.h"
#include "core/engine/environment_operations.h"
#include "core/protocol/daemon_command.h"

#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSDatabaseOperations {
public:
  // `databases` is absent in a build without the database engines; everything but the list then
  // fails saying so. The reconciliation looks at the engines every `reconciliationInterval`.
  QSDatabaseOperations(QSEngineState& state, QSEnvironmentOperations& environment,
                       std::shared_ptr<QSDatabaseServicing> databases, std::chrono::milliseconds reconciliationInterval);

  // The database engines; nothing in a build without them.
  QSDatabaseServicing* engines() const { return databases_.get(); }
  QSDatabase* database(const QSUUID& id);
  QSDatabaseServicing& requireDatabases();
  // Writes `record` over the stored one of its id, if there is one, and saves.
  void storeDatabase(const QSDatabase& record);

  asio::awaitable<QSDatabase> createDatabase(const cmd::CreateDatabase& request);
  // A new database linked to the project, its connection variables written to the project's .env.
  asio::awaitable<QSProject> provisionDatabase(const cmd::ProvisionDatabase& request);
  asio::awaitable<void> startDatabase(const QSUUID& id);
  asio::awaitable<void> stopDatabase(const QSUUID& id);
  asio::awaitable<void> removeDatabase(const QSUUID& id);
  asio::awaitable<QSDatabase> updateDatabase(QSDatabase record);

  // A database recorded as running whose engine has gone is reported stopped, from now on until
  // stopStatusReconciliation. Nothing is saved: the status is run-time knowledge.
  void startStatusReconciliation();
  void stopStatusReconciliation();

private:
  asio::awaitable<void> reconcileDatabaseStatuses();
  void unlinkDatabaseFromProjects(const QSUUID& id);
  std::string uniqueDatabaseName(const std::string& base, QSDatabaseType type) const;
  std::string uniqueRoleName(const std::string& databaseName, QSDatabaseType type) const;
  // The user a new database of `type` gets: `given` (never the service account), else for
  // PostgreSQL and MySQL a login of its own.
  std::optional<std::string> defaultUsername(const std::string& databaseName, QSDatabaseType type,
                                             const std::optional<std::string>& given) const;

  QSEngineState& state_;
  QSEnvironmentOperations& environment_;
  std::shared_ptr<QSDatabaseServicing> databases_;
  std::chrono::milliseconds reconciliationInterval_;
  std::shared_ptr<asio::steady_timer> statusReconciliationTask_;
};

}  // namespace qs
