// Services the engine drives that arrive with the database and routing layers. The engine holds
// each behind an interface so that tests, and the layers as they land, can plug in.
#pragma once

#include "core/models/database.h"
#include "core/models/environment_variable.h"

#include <asio/awaitable.hpp>

#include <vector>

namespace qs {

// The shared database engines (PostgreSQL, MySQL, Redis) and the databases provisioned on them.
class QSDatabaseServicing {
public:
  virtual ~QSDatabaseServicing() = default;
  // Stops engine processes left behind by an earlier owner.
  virtual asio::awaitable<void> reapOrphanedProcesses() = 0;
  // Stops every engine this owner started.
  virtual asio::awaitable<void> stopAll() = 0;
  // Whether the engine of a type is running right now.
  virtual asio::awaitable<QSDatabaseStatus> status(QSDatabaseType type) = 0;
  // The connection variables a project linked to `database` gets (DB_HOST, …, DATABASE_URL).
  virtual std::vector<QSEnvironmentVariable> generateEnvVars(const QSDatabase& database) = 0;
};

}  // namespace qs
