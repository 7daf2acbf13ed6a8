// The shared Redis server: a child of its owner on 127.0.0.1, working in the redis folder. Its
// settings, the service password among them, go in a private configuration file rather than on
// the command line, which every local user can read. One keyspace for every project, behind
// the service password: Redis has neither databases to make nor accounts.
#pragma once

#include "core/databases/database_engine.h"
#include "core/databases/server_process.h"

namespace qs {

class QSRedisEngine : public QSDatabaseEngine {
public:
  using QSDatabaseEngine::QSDatabaseEngine;

  QSDatabaseType type() const override { return QSDatabaseType::redis; }
  bool hasAccounts() const override { return false; }

  bool isInitialized() const override;
  void initialize() override;
  void start(int port) override;
  void stop() override;
  void end() override { stop(); }
  QSDatabaseStatus status() override { return isRunning() ? QSDatabaseStatus::running : QSDatabaseStatus::stopped; }
  std::vector<std::int32_t> serverProcesses() const override;
  bool isServerProcess(const std::string& name) const override { return name.starts_with("redis-server"); }

  void createDatabase(const std::string&, int, const std::optional<std::string>&,
                      const std::optional<std::string>&) override {}
  void dropDatabase(const std::string&) override {}
  bool databaseExists(const std::string&) override { return false; }
  // A running server is adopted under the project's name ("my_shop_redis").
  bool adopt(QSDatabase& record, const std::string& projectName) override;
  // REDIS_URL.
  std::vector<QSEnvironmentVariable> environment(const QSDatabase& database) const override;

  std::string clientName() const override { return "redis-cli"; }
  std::vector<std::string> clientArguments(const QSDatabase& database,
                                           const std::filesystem::path& sqliteFolder) const override;
  // The server's password.
  std::optional<std::string> passwordVariable() const override { return "REDISCLI_AUTH"; }

private:
  std::filesystem::path folder() const { return context_.dataRoot / "redis"; }
  // The server an earlier owner left running, found through its pid file. A Redis from before
  // service passwords lets anyone in: it is replaced, never adopted.
  std::optional<std::int32_t> adopted() const;
  bool isRunning() const { return server_.isRunning() || adopted(); }

  QSServerProcess server_;
};

}  // namespace qs
