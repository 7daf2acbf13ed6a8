// The shared MySQL (or MariaDB) server: mysql/data under the data folder, a child of its owner,
// on 127.0.0.1 with its socket in the (private) mysql folder, administered as `quayside` over
// that socket. Every call passes --no-defaults first, so no option file of the system or the
// user redirects its socket, data or logs.
#pragma once

#include "core/databases/database_engine.h"
#include "core/databases/server_process.h"

namespace qs {

class QSMySQLEngine : public QSDatabaseEngine {
public:
  using QSDatabaseEngine::QSDatabaseEngine;

  QSDatabaseType type() const override { return QSDatabaseType::mysql; }

  bool isInitialized() const override;
  // A new cluster is left running on its cluster port: its service user is made through the server.
  void initialize() override;
  // Gives the service account (and root) the service password and drops the accounts that let
  // anyone in without one.
  void secure() override;
  void start(int port) override;
  void stop() override;
  void end() override;
  QSDatabaseStatus status() override { return isRunning() ? QSDatabaseStatus::running : QSDatabaseStatus::stopped; }
  std::vector<std::int32_t> serverProcesses() const override;
  bool isServerProcess(const std::string& name) const override { return name == "mysqld" || name == "mariadbd"; }

  void createDatabase(const std::string& name, int port, const std::optional<std::string>& username,
                      const std::optional<std::string>& password) override;
  void dropDatabase(const std::string& name) override;
  bool databaseExists(const std::string& name) override;
  void applyCredentials(const QSDatabase& database, const std::optional<std::string>& previousUser) override;
  std::vector<QSEnvironmentVariable> environment(const QSDatabase& database) const override {
    return serverDatabaseVariables(database);
  }
  // mysql, information_schema, performance_schema, sys.
  bool isReservedName(std::string_view lowered) const override;

  bool keepsSnapshots() const override { return true; }
  bool wroteDump(std::string_view head) const override;
  QSEngineCommand dumpCommand(const QSDatabase& database, int port) const override;
  // Grants name the database, so the user's survive it being dropped and made again.
  QSEngineCommand recreateCommand(const QSDatabase& database, int port) const override;
  QSEngineCommand loadCommand(const QSDatabase& database, int port, const std::filesystem::path& file) const override;

  std::string clientName() const override { return "mysql"; }
  std::vector<std::string> clientArguments(const QSDatabase& database,
                                           const std::filesystem::path& sqliteFolder) const override;
  std::optional<std::string> passwordVariable() const override { return "MYSQL_PWD"; }

private:
  std::filesystem::path folder() const { return context_.dataRoot / "mysql"; }
  std::filesystem::path socket() const { return account_.mysqlSocket(); }
  // The server an earlier owner left running, found through its pid file.
  std::optional<std::int32_t> adopted() const;
  bool isRunning() const { return server_.isRunning() || adopted(); }
  // Runs `sql` as the service account.
  std::string mysql(const std::string& sql, const std::vector<std::string>& secrets = {});

  QSServerProcess server_;
};

}  // namespace qs
