// The shared PostgreSQL cluster: postgresql/data under the data folder, run detached by pg_ctl
// on 127.0.0.1 with its socket in the (private) postgresql folder, administered as `quayside`.
#pragma once

#include "core/databases/database_engine.h"

namespace qs {

class QSPostgresEngine : public QSDatabaseEngine {
public:
  using QSDatabaseEngine::QSDatabaseEngine;

  QSDatabaseType type() const override { return QSDatabaseType::postgresql; }
  bool outlivesOwner() const override { return true; }

  bool isInitialized() const override;
  void initialize() override;
  // Gives a cluster from before service passwords its password and client rules.
  void secure() override;
  void start(int port) override;
  void stop() override;
  // pg_ctl's fast shutdown without pg_ctl; an immediate one after 60 seconds. Throws
  // QSSystemError ("stop PostgreSQL (pid N): Connection timed out") when it is still there after that.
  void end() override;
  QSDatabaseStatus status() override;
  bool isServerProcess(const std::string& name) const override { return name == "postgres"; }

  void createDatabase(const std::string& name, int port, const std::optional<std::string>& username,
                      const std::optional<std::string>& password) override;
  void dropDatabase(const std::string& name) override;
  bool databaseExists(const std::string& name) override;
  void applyCredentials(const QSDatabase& database, const std::optional<std::string>& previousUser) override;
  std::vector<QSEnvironmentVariable> environment(const QSDatabase& database) const override {
    return serverDatabaseVariables(database);
  }
  // postgres, template0, template1.
  bool isReservedName(std::string_view lowered) const override;

  bool keepsSnapshots() const override { return true; }
  bool wroteDump(std::string_view head) const override;
  QSEngineCommand dumpCommand(const QSDatabase& database, int port) const override;
  QSEngineCommand recreateCommand(const QSDatabase& database, int port) const override;
  // One transaction that stops at the first error: all of the file or nothing.
  QSEngineCommand loadCommand(const QSDatabase& database, int port, const std::filesystem::path& file) const override;

  std::string clientName() const override { return "psql"; }
  std::vector<std::string> clientArguments(const QSDatabase& database,
                                           const std::filesystem::path& sqliteFolder) const override;
  std::optional<std::string> passwordVariable() const override { return "PGPASSWORD"; }

private:
  std::filesystem::path folder() const { return context_.dataRoot / "postgresql"; }
  // The postmaster's id from its PID file, when a process called postgres has it.
  std::optional<std::int32_t> pid() const;
  // Runs `sql` as the service account in `database`.
  std::string psql(int port, const std::string& sql, const std::vector<std::string>& secrets = {},
                   const std::string& database = "postgres");
};

}  // namespace qs
