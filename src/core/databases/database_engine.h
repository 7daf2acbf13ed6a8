// One database engine (PostgreSQL, MySQL/MariaDB, Redis, SQLite) as the database service, the
// backups and the console use it: its cluster under the data folder, the databases and accounts
// in it, the tool runs that dump and restore a database, and its interactive client.
// makeDatabaseEngine picks the class for a type; nothing else needs to ask which type it is.
//
// Like the database service, every operation blocks while engine tools run.
#pragma once

#include "core/databases/service_account.h"
#include "core/models/database.h"
#include "core/models/environment_variable.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSServiceRegistry;

// What an engine needs of whoever holds it. The console and the backups, which only build tool
// runs, leave the registry and the callbacks out.
struct QSEngineContext {
  // The Quayside data folder: the engine's cluster lives in its folder there.
  std::filesystem::path dataRoot;
  // Finds the engine's tools and knows the installed version.
  QSServiceRegistry* registry = nullptr;
  // The port the engine runs on, or will (the database service's clusterPort).
  std::function<int()> clusterPort;
  // Starts the server on `port`, moving on to a free port while another server takes it.
  std::function<void(int port)> startOnAFreePort;
  // Initialises and starts the engine unless it runs.
  std::function<void()> ensureRunning;
};

// One run of an engine tool, for the caller to find (by name among the engine's binaries) and run.
struct QSEngineCommand {
  std::string tool;                            // "pg_dump", "mysql", …
  std::vector<std::string> arguments;          // after the program
  std::map<std::string, std::string> environment;
  std::optional<std::filesystem::path> input;  // given as standard input
  std::vector<std::string> secrets;            // removed from any error the run reports
};

class QSDatabaseEngine {
public:
  explicit QSDatabaseEngine(QSEngineContext context);
  virtual ~QSDatabaseEngine();
  QSDatabaseEngine(const QSDatabaseEngine&) = delete;
  QSDatabaseEngine& operator=(const QSDatabaseEngine&) = delete;

  virtual QSDatabaseType type() const = 0;
  // Whether a server runs the databases (SQLite's are plain files, always there).
  virtual bool runsServer() const { return true; }
  // Whether accounts sign in to a database (Redis has one password for the whole server).
  virtual bool hasAccounts() const { return true; }
  // Whether the server keeps running when its owner ends (PostgreSQL, which pg_ctl detaches);
  // the others are children of the owner that started them.
  virtual bool outlivesOwner() const { return false; }

  // The cluster. initialize creates it when it has none (idempotent); secure migrates a running
  // cluster from before service passwords (idempotent). start is one attempt on `port`.
  virtual bool isInitialized() const = 0;
  virtual void initialize() = 0;
  virtual void secure() {}
  virtual void start(int port) = 0;
  virtual void stop() = 0;
  // Stops the server by signal, whoever started it, and returns once it has gone.
  virtual void end() {}
  // stopped or running only.
  virtual QSDatabaseStatus status() = 0;
  // The servers this instance started or adopted, which reaping orphans must spare.
  virtual std::vector<std::int32_t> serverProcesses() const { return {}; }
  // Whether a process of that name is one of the engine's servers.
  virtual bool isServerProcess(const std::string& name) const = 0;

  // The databases. createDatabase makes the database and its role or user (idempotent);
  // dropDatabase removes it (PostgreSQL forcibly); applyCredentials makes the engine's account
  // match the record, moving what `previousUser` had in the database to the new one.
  virtual void createDatabase(const std::string& name, int port, const std::optional<std::string>& username,
                              const std::optional<std::string>& password) = 0;
  virtual void dropDatabase(const std::string& name) = 0;
  // Throws when the engine cannot answer.
  virtual bool databaseExists(const std::string& name) = 0;
  virtual void applyCredentials(const QSDatabase&, const std::optional<std::string>& /*previousUser*/) {}
  // Whether the database `record` names is here to be adopted; fills in where it was found
  // (the port, and for Redis the name). Starts the engine when it needs to look inside.
  virtual bool adopt(QSDatabase& record, const std::string& projectName);
  // DB_HOST … DATABASE_URL, or DATABASE_URL, or REDIS_URL.
  virtual std::vector<QSEnvironmentVariable> environment(const QSDatabase& database) const = 0;
  // Whether the engine keeps a database of that (lower-cased) name for itself.
  virtual bool isReservedName(std::string_view /*lowered*/) const { return false; }

  // Snapshots as SQL dumps (PostgreSQL and MySQL). The commands sign in as the record's user
  // over TCP on `port`, except recreate, which drops and makes the database again as the
  // service account through the engine's socket.
  virtual bool keepsSnapshots() const { return false; }
  // Whether the engine's dump tool wrote a file that begins with `head`.
  virtual bool wroteDump(std::string_view /*head*/) const { return false; }
  virtual QSEngineCommand dumpCommand(const QSDatabase& database, int port) const;
  virtual QSEngineCommand recreateCommand(const QSDatabase& database, int port) const;
  virtual QSEngineCommand loadCommand(const QSDatabase& database, int port, const std::filesystem::path& file) const;

  // The interactive client: its name among the engine's binaries, its arguments (after its
  // path) that connect it to the database, and the variable it reads the password from.
  virtual std::string clientName() const = 0;
  virtual std::vector<std::string> clientArguments(const QSDatabase& database,
                                                   const std::filesystem::path& sqliteFolder) const = 0;
  virtual std::optional<std::string> passwordVariable() const { return std::nullopt; }

protected:
  // The installed engine's tool, else /usr/local/bin/NAME.
  std::filesystem::path binary(const std::string& name) const;

  QSEngineContext context_;
  QSServiceAccount account_;
};

// The engine of `type`: the only place that tells the types apart.
std::unique_ptr<QSDatabaseEngine> makeDatabaseEngine(QSDatabaseType type, QSEngineContext context = {});

// DB_HOST, DB_PORT, DB_USERNAME, DB_PASSWORD, DB_NAME and DATABASE_URL for a database on a
// server with accounts; the URL names the same user as DB_USERNAME.
std::vector<QSEnvironmentVariable> serverDatabaseVariables(const QSDatabase& database);

// The user a client signs in as: the record's, else the service account.
const std::string& signInUser(const QSDatabase& database);

}  // namespace qs
