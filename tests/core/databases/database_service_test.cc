// The database service against the real engines of the OS packages (PostgreSQL, MariaDB, Redis,
// sqlite3), each in a data folder of the test's own.
#include "core/databases/database_error.h"
#include "core/databases/database_service.h"
#include "core/databases/engine_tool.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::thrownMessage;

// Names and passwords that break SQL built without quoting.
const std::string kHostileName = "it's \"a\" `db`; \\ $$ x";
const std::string kHostilePassword = "p'a\"s`s\\w;o$$rd";

std::string variableValue(const std::vector<QSEnvironmentVariable>& variables, const std::string& key) {
  for (const auto& v : variables)
    if (v.key == key) return v.value;
  return "<missing " + key + ">";
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

class DatabaseServiceTest : public ::testing::Test {
protected:
  testing::IsolatedHome home;
  fs::path dataRoot = home.home() / "data";
  QSDatabaseService service{dataRoot};

  void TearDown() override {
    service.stopAll();
    testing::thrownMessage([&] { service.stop(QSDatabaseType::postgresql); });  // not running: nothing to stop
  }

  QSDatabase record(const std::string& name, QSDatabaseType type, std::optional<std::string> user = "quayside",
                    std::optional<std::string> password = std::nullopt) {
    QSDatabase db = QSDatabase::make(name, type);
    db.username = std::move(user);
    db.password = std::move(password);
    if (type != QSDatabaseType::redis) db.databaseName = name;
    return db;
  }
};

TEST_F(DatabaseServiceTest, PostgreSQLProvisionsQuotedNamesConnectsAdoptsAndDrops) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  auto provisioned = service.provision(record(kHostileName, QSDatabaseType::postgresql, "o'wner \"x\"", kHostilePassword));
  EXPECT_EQ(service.status(QSDatabaseType::postgresql), QSDatabaseStatus::running);
  EXPECT_EQ(fs::status(dataRoot / "postgresql").permissions(), fs::perms(0700));
  EXPECT_EQ(fs::status(dataRoot / "postgresql/data").permissions(), fs::perms(0700));

  // The project's own URL reaches the database as its role, with the password.
  std::string url = variableValue(provisioned.envVars, "DATABASE_URL");
  EXPECT_EQ(variableValue(provisioned.envVars, "DB_PORT"), std::to_string(provisioned.database.port));
  EXPECT_EQ(variableValue(provisioned.envVars, "DB_PASSWORD"), kHostilePassword);
  auto psql = *service.registry().binaryPath(QSDatabaseType::postgresql, "psql");
  auto who = runProcess({psql.string(), "-X", "-tA", url, "-c", "select current_user || '|' || current_database()"});
  ASSERT_TRUE(who.succeeded()) << who.errorOutput;
  EXPECT_EQ(trimmed(who.output), "o'wner \"x\"|" + kHostileName);
  // It listens on 127.0.0.1 only.
  auto listen = runProcess({psql.string(), "-X", "-tA", url, "-c", "show listen_addresses"});
  EXPECT_EQ(trimmed(listen.output), "127.0.0.1");

  // Adoption takes the local databases that exist, and no others (Redis is not running here).
  service.provision(record("notes", QSDatabaseType::sqlite, std::nullopt));
  std::vector<QSEnvDatabaseReference> references = {
      {QSDatabaseType::postgresql, kHostileName, "localhost", 5432, "quayside", std::nullopt},
      {QSDatabaseType::postgresql, "absent", "127.0.0.1", 5432, std::nullopt, std::nullopt},
      {QSDatabaseType::postgresql, kHostileName, "db.example.com", 5432, std::nullopt, std::nullopt},
      {QSDatabaseType::sqlite, "notes", "localhost", 0, std::nullopt, std::nullopt},
      {QSDatabaseType::redis, "0", "localhost", 6379, std::nullopt, std::nullopt},
  };
  auto adopted = service.adoptableDatabases(references, "My Shop");
  ASSERT_EQ(adopted.size(), 2u);
  EXPECT_EQ(adopted[0].name, kHostileName);
  EXPECT_EQ(adopted[0].port, provisioned.database.port);
  EXPECT_EQ(adopted[0].status, QSDatabaseStatus::running);
  EXPECT_EQ(adopted[1].name, "notes");
  EXPECT_EQ(adopted[1].status, QSDatabaseStatus::stopped);

  EXPECT_TRUE(service.databaseExists(kHostileName, QSDatabaseType::postgresql));
  service.dropDatabase(kHostileName, QSDatabaseType::postgresql, provisioned.database.port);
  EXPECT_FALSE(service.databaseExists(kHostileName, QSDatabaseType::postgresql));

  // The cluster is detached: a new service instance finds it running.
  QSDatabaseService later(dataRoot);
  EXPECT_EQ(later.status(QSDatabaseType::postgresql), QSDatabaseStatus::running);
  later.stop(QSDatabaseType::postgresql);
  EXPECT_EQ(service.status(QSDatabaseType::postgresql), QSDatabaseStatus::stopped);
}

TEST_F(DatabaseServiceTest, PostgreSQLStatusVersionMismatchAndTakenPort) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  ASSERT_TRUE(service.isInstalled(QSDatabaseType::postgresql));  // links the system's engine
  service.initialize(QSDatabaseType::postgresql);
  fs::path data = dataRoot / "postgresql/data";

  // A stale PID file (its process gone) is removed and reads as stopped.
  testing::writeTextFile(data / "postmaster.pid", "999999\n" + data.string() + "\n");
  EXPECT_EQ(service.status(QSDatabaseType::postgresql), QSDatabaseStatus::stopped);
  EXPECT_FALSE(fileExists(data / "postmaster.pid"));

  // A data folder of another major version is refused before anything starts.
  std::string actual = trimmed(testing::readTextFile(data / "PG_VERSION"));
  testing::writeTextFile(data / "PG_VERSION", "9\n");
  std::string binary = service.registry().service(QSDatabaseType::postgresql)->version;
  EXPECT_EQ(thrownMessage<QSDatabaseException>(
                [&] { service.start(QSDatabaseType::postgresql, service.clusterPort(QSDatabaseType::postgresql)); }),
            "The PostgreSQL data directory was created by version 9, but the installed binary is version " + binary +
                ". Reinitialize the database for version " + binary +
                " (this erases local databases) or reinstall PostgreSQL 9 from Settings > Services.");
  EXPECT_FALSE(fileExists(data / "postmaster.pid"));
  testing::writeTextFile(data / "PG_VERSION", actual + "\n");

  // A port held by another server moves the engine, and the registry remembers where.
  int free = testing::freeTestPort(testing::PortBand::databases);
  service.registry().setPort(free, QSDatabaseType::postgresql);
  asio::io_context io;
  asio::ip::tcp::acceptor holder(io, {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(free)});
  int moved = service.clusterPort(QSDatabaseType::postgresql);
  EXPECT_GT(moved, free);
  EXPECT_EQ(service.registry().service(QSDatabaseType::postgresql)->port, moved);
  // Told to start on the held port anyway (it was free when chosen), the engine moves on.
  service.start(QSDatabaseType::postgresql, free);
  EXPECT_EQ(service.status(QSDatabaseType::postgresql), QSDatabaseStatus::running);
  int running = service.registry().service(QSDatabaseType::postgresql)->port;
  EXPECT_GT(running, free);
  EXPECT_EQ(service.clusterPort(QSDatabaseType::postgresql), running);  // a running engine keeps its port
}

TEST_F(DatabaseServiceTest, MySQLProvisionsQuotedNamesConnectsAndDrops) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::mysql)) GTEST_SKIP() << "MariaDB is not installed";
  auto provisioned = service.provision(record(kHostileName, QSDatabaseType::mysql, "us'er\\", kHostilePassword));
  EXPECT_EQ(service.status(QSDatabaseType::mysql), QSDatabaseStatus::running);
  EXPECT_EQ(fs::status(dataRoot / "mysql").permissions(), fs::perms(0700));
  EXPECT_EQ(variableValue(provisioned.envVars, "DB_USERNAME"), "us'er\\");

  auto client = *service.registry().binaryPath(QSDatabaseType::mysql, "mysql");
  auto who = runProcess({client.string(), "--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(provisioned.database.port),
                         "-u", "us'er\\", "-N", "-B", "-r", "-e", "select database()", kHostileName},
                        {.environment = {{"MYSQL_PWD", kHostilePassword}}});
  ASSERT_TRUE(who.succeeded()) << who.errorOutput;
  EXPECT_EQ(trimmed(who.output), kHostileName);

  EXPECT_TRUE(service.databaseExists(kHostileName, QSDatabaseType::mysql));
  service.dropDatabase(kHostileName, QSDatabaseType::mysql, provisioned.database.port);
  EXPECT_FALSE(service.databaseExists(kHostileName, QSDatabaseType::mysql));
}

TEST_F(DatabaseServiceTest, RedisAndSQLite) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::redis)) GTEST_SKIP() << "Redis is not installed";
  auto redis = service.provision(record("blog_redis", QSDatabaseType::redis));
  EXPECT_EQ(variableValue(redis.envVars, "REDIS_URL"), "redis://127.0.0.1:" + std::to_string(redis.database.port));
  EXPECT_EQ(service.status(QSDatabaseType::redis), QSDatabaseStatus::running);
  // A later owner stops the server an earlier one left behind.
  QSDatabaseService later(dataRoot);
  later.reapOrphanedProcesses();
  EXPECT_TRUE(pollUntil([&] { return service.status(QSDatabaseType::redis) == QSDatabaseStatus::stopped; },
                        std::chrono::seconds(30)));

  // SQLite: a file in the data folder, named by its absolute path; existing contents are kept.
  auto lite = service.provision(record("notes", QSDatabaseType::sqlite, std::nullopt));
  fs::path file = dataRoot / "sqlite/notes.sqlite";
  EXPECT_EQ(variableValue(lite.envVars, "DATABASE_URL"), "sqlite://" + file.string());
  ASSERT_TRUE(runProcess({"/usr/bin/sqlite3", file.string(), "create table t(x); insert into t values (7);"}).succeeded());
  service.provision(record("notes", QSDatabaseType::sqlite, std::nullopt));
  EXPECT_EQ(trimmed(runProcess({"/usr/bin/sqlite3", file.string(), "select x from t"}).output), "7");
  EXPECT_EQ(thrownMessage<QSDatabaseException>([&] { service.provision(record("../escape", QSDatabaseType::sqlite, std::nullopt)); }),
            "Failed to create database: '../escape' can't be the name of an SQLite database: use a name without '/'.");
  service.dropDatabase("notes", QSDatabaseType::sqlite, 0);
  EXPECT_FALSE(fileExists(file));
}

}  // namespace
}  // namespace qs
