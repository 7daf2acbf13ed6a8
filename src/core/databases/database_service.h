// The local database engines: one shared cluster per engine type (PostgreSQL, MySQL, Redis)
// under the data folder, each on 127.0.0.1 and a port of its own, and the per-project databases,
// roles and users in them. SQLite databases are plain files. What differs between the engines
// lives in their QSDatabaseEngine classes; this service keeps the registry, the ports and the
// records, and the order of the steps.
//
// Every operation blocks while engine tools run. The daemon calls it from one worker thread
// (never from the service loop), which also keeps the operations one at a time.
#pragma once

#include "core/databases/database_engine.h"
#include "core/databases/service_catalogue.h"
#include "core/databases/service_registry.h"
#include "core/models/database.h"
#include "core/models/env_database_reference.h"
#include "core/models/environment_variable.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSProvisionResult {
  QSDatabase database;
  std::vector<QSEnvironmentVariable> envVars;
};

class QSDatabaseService {
public:
  // `dataRoot` is the Quayside data folder: clusters live in its postgresql/, mysql/, redis/ and
  // sqlite/ folders, engines in services/, the registry is services.json. `system` finds the
  // OS's packaged engines, which are linked and registered on first use when no engine of their
  // type is installed.
  explicit QSDatabaseService(std::filesystem::path dataRoot, QSSystemEngines system = QSSystemEngines());
  // Leaves the engines running; stopAll stops them.
  ~QSDatabaseService();
  QSDatabaseService(const QSDatabaseService&) = delete;
  QSDatabaseService& operator=(const QSDatabaseService&) = delete;

  // Creates the type's cluster when it has none (idempotent). SQLite: nothing. A new MySQL
  // cluster is left running on its cluster port (its service user is made through the server).
  void initialize(QSDatabaseType type);
  // Starts the type's engine on `port` and returns once it accepts connections. When another
  // server takes the port first, the engine moves to the next free one and the registry keeps
  // it (clusterPort then tells which). SQLite: nothing.
  void start(QSDatabaseType type, int port);
  void stop(QSDatabaseType type);
  // Makes sure the engine runs, creates the database (and its role or user), and returns the
  // record with the engine's port and the variables a project needs to reach it. A user other
  // than the service account gets a random password when the record has none; a record on the
  // service account, and every Redis record, carries the engine's service password.
  QSProvisionResult provision(const QSDatabase& database);
  // Drops the database (PostgreSQL forcibly, closing its connections); SQLite: deletes its file.
  // A name the engine keeps for itself (mysql, postgres, …) is refused.
  void dropDatabase(const std::string& name, QSDatabaseType type, int port);
  // Makes the engine's role or user match the record's username and password. When the user
  // changed from `previousUser`, what the old one had in the database moves to the new one
  // (PostgreSQL: the objects it owns there; MySQL: its grants on the database).
  void applyCredentials(const QSDatabase& database, const std::optional<std::string>& previousUser = std::nullopt);
  // The record with the password the engine expects of it: the engine's service password for a
  // record on the service account and for every Redis record; others unchanged.
  QSDatabase withServiceCredentials(const QSDatabase& database) const;
  // The databases that `references` name which already exist here, as new records.
  std::vector<QSDatabase> adoptableDatabases(const std::vector<QSEnvDatabaseReference>& references,
                                             const std::string& projectName);
  // Whether the database exists in the type's cluster (false when the engine cannot answer).
  bool databaseExists(const std::string& name, QSDatabaseType type);

  // The port the type's engine runs on, or will: the registered port while it runs, else the
  // first free one from there (recorded in the registry when it moved). SQLite: 0.
  int clusterPort(QSDatabaseType type);
  // SQLite: always. Otherwise a registered engine, or a system engine linked and registered now.
  bool isInstalled(QSDatabaseType type);
  // stopped or running only.
  QSDatabaseStatus status(QSDatabaseType type);
  // DB_HOST … DATABASE_URL, or DATABASE_URL (SQLite: the file's absolute path), or REDIS_URL.
  std::vector<QSEnvironmentVariable> generateEnvVars(const QSDatabase& database) const;
  // Ends the MySQL and Redis servers that an earlier owner started from the engines' folder,
  // except the one each engine's pid file names (adopted instead), and returns once they have
  // gone (SIGTERM, then SIGKILL after 30 seconds), so their ports are free again.
  void reapOrphanedProcesses();
  // Stops the MySQL and Redis servers this instance started or adopted. PostgreSQL keeps running.
  void stopAll();
  // Stops every engine that runs from the data folder, whoever started it, and returns once
  // they have exited: the MySQL and Redis servers of this instance and of earlier owners (SIGTERM,
  // SIGKILL after 30 seconds) and PostgreSQL (a fast shutdown, an immediate one after 60
  // seconds). For removing the data folder, which no engine may write into afterwards. Throws
  // QSSystemError ("stop PostgreSQL (pid N): Connection timed out") when it is still there after that.
  void stopEveryEngine();

  QSServiceRegistry& registry() { return registry_; }

private:
  QSDatabaseEngine& engine(QSDatabaseType type) const { return *engines_.at(type); }
  void ensureClusterRunning(QSDatabaseType type, int port);
  // The engine's start, moving to the next free port (kept in the registry) while another
  // server takes the one chosen before the engine binds it.
  void startOnAFreePort(QSDatabaseType type, int port);

  std::filesystem::path dataRoot_;
  QSSystemEngines system_;
  QSServiceRegistry registry_;
  std::map<QSDatabaseType, std::unique_ptr<QSDatabaseEngine>> engines_;
};

}  // namespace qs
