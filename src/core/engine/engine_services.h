// Services the engine drives that arrive with the database and routing layers. The engine holds
// each behind an interface so that tests, and the layers as they land, can plug in.
#pragma once

#include "core/models/database.h"
#include "core/models/env_database_reference.h"
#include "core/models/environment_variable.h"
#include "core/protocol/daemon_error.h"

#include <string>

#include <asio/awaitable.hpp>

#include <vector>

namespace qs {

// The shared database engines (PostgreSQL, MySQL, Redis) and the databases provisioned on them.
class QSDatabaseServicing {
public:
  virtual ~QSDatabaseServicing() = default;
  // Ends engine processes left behind by an earlier owner (except those it adopts) and returns
  // once they have gone.
  virtual asio::awaitable<void> reapOrphanedProcesses() = 0;
  // Stops every engine this owner started.
  virtual asio::awaitable<void> stopAll() = 0;
  // Whether the engine of a type is running right now.
  virtual asio::awaitable<QSDatabaseStatus> status(QSDatabaseType type) = 0;
  // The connection variables a project linked to `database` gets (DB_HOST, …, DATABASE_URL).
  virtual std::vector<QSEnvironmentVariable> generateEnvVars(const QSDatabase& database) = 0;

  // The operations below fail, by default, saying the engines are not part of this build.

  // Creates the type's cluster when it has none (idempotent).
  virtual asio::awaitable<void> initialize(QSDatabaseType) { unavailable(); }
  // Starts the type's engine on `port` (it may move to a free port; clusterPort then tells).
  virtual asio::awaitable<void> start(QSDatabaseType, int) { unavailable(); }
  virtual asio::awaitable<void> stop(QSDatabaseType) { unavailable(); }
  // The port the type's shared engine runs on, or will.
  virtual asio::awaitable<int> clusterPort(QSDatabaseType) { unavailable(); }
  virtual asio::awaitable<bool> isInstalled(QSDatabaseType) { unavailable(); }
  // The record as provisioned (engine running, database created) and its connection variables.
  virtual asio::awaitable<std::pair<QSDatabase, std::vector<QSEnvironmentVariable>>> provision(QSDatabase) {
    unavailable();
  }
  // Makes the engine's account match the record; what `previousUser` had in the database (its
  // tables, its grants) passes to the record's user.
  virtual asio::awaitable<void> applyCredentials(QSDatabase, std::optional<std::string> /*previousUser*/) {
    unavailable();
  }
  // The record with the password the engine expects of it (the engine's service password for a
  // record on the service account and for Redis).
  virtual asio::awaitable<QSDatabase> withServiceCredentials(QSDatabase database) { co_return database; }
  virtual asio::awaitable<void> dropDatabase(std::string, QSDatabaseType, int) { unavailable(); }
  // Databases named by a project's .env references that already exist here.
  virtual asio::awaitable<std::vector<QSDatabase>> adoptableDatabases(std::vector<QSEnvDatabaseReference>, std::string) {
    co_return std::vector<QSDatabase>{};
  }

protected:
  [[noreturn]] static void unavailable() {
    throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{
        "Managing databases (PostgreSQL, MySQL, Redis) isn't available in this build of quaysided yet."}));
  }
};

}  // namespace qs
