// The database service against the real engines of the OS packages (PostgreSQL, MariaDB, Redis,
// sqlite3), each in a data folder of the test's own.
#include "core/databases/database_error.h"
#include "core/databases/database_service.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "core/platform/proc_table.h"
#include "support/another_user.h"
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

TEST_F(DatabaseServiceTest, PostgreSQLProvisionsQuotedNamesConnectsAdoptsDropsAndMovesOffATakenPort) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  auto provisioned = service.provision(record(kHostileName, QSDatabaseType::postgresql, "o'wner \"x\"", kHostilePassword));
  EXPECT_EQ(service.status(QSDatabaseType::postgresql), QSDatabaseStatus::running);
  EXPECT_EQ(fs::status(dataRoot / "postgresql").permissions(), fs::perms(0700));
  EXPECT_EQ(fs::status(dataRoot / "postgresql/data").permissions(), fs::perms(0700));

  // The project's own URL reaches the database as its role, with the password.
  std::string url = variableValue(provisioned.envVars, "DATABASE_URL");
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

  service.stop(QSDatabaseType::postgresql);  // (a new owner finds it running: the end-to-end test)
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
                " (this erases local databases) or reinstall PostgreSQL 9 with 'qs engine install ID' ('qs engines' "
                "lists the versions).");
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

// The real client of each engine, run as a third local account.
struct Probe {
  std::string what;
  std::vector<std::string> argv;
  std::map<std::string, std::string> environment;
};

TEST_F(DatabaseServiceTest, NoEngineLetsAnotherLocalUserIn) {
  QSSystemEngines system;
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::redis})
    if (!system.isPresent(type)) GTEST_SKIP() << displayName(type) << " is not installed";
  if (!testing::canRunAsAnotherUser()) GTEST_SKIP() << "this process may not run commands as another user";
  auto pg = service.provision(record("shop", QSDatabaseType::postgresql, "shop")).database;
  auto my = service.provision(record("shop", QSDatabaseType::mysql, "shop")).database;
  auto redis = service.provision(record("shop_redis", QSDatabaseType::redis)).database;
  EXPECT_EQ(pg.password->size(), 32u) << "a user without a password gets a random one";
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::redis}) {
    fs::path folder = dataRoot / (type == QSDatabaseType::postgresql ? "postgresql" : type == QSDatabaseType::mysql ? "mysql" : "redis");
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0700)) << folder;
    EXPECT_EQ(fs::status(folder / ".service-password").permissions(), fs::perms(0600)) << folder;
  }

  // The OS's own clients: the ones in the data folder are out of the other account's reach.
  auto psql = fs::canonical(*service.registry().binaryPath(QSDatabaseType::postgresql, "psql")).string();
  auto mysql = fs::canonical(*service.registry().binaryPath(QSDatabaseType::mysql, "mysql")).string();
  auto redisCli = fs::canonical(*service.registry().binaryPath(QSDatabaseType::redis, "redis-cli")).string();
  std::string pgPort = std::to_string(pg.port), myPort = std::to_string(my.port), redisPort = std::to_string(redis.port);
  auto pgAs = [&](const std::string& host, const std::string& user) {
    return std::vector<std::string>{psql, "-X", "-w", "-h", host, "-p", pgPort, "-U", user, "-d", "postgres", "-tAc", "select 1"};
  };
  auto myAs = [&](const std::string& user) {
    return std::vector<std::string>{mysql, "--no-defaults", "-h", "127.0.0.1", "-P", myPort, "-u", user, "-N", "-e", "select 1"};
  };
  std::vector<Probe> refused = {
      {"PostgreSQL superuser over TCP", pgAs("127.0.0.1", "quayside")},
      {"PostgreSQL superuser over the socket", pgAs((dataRoot / "postgresql").string(), "quayside")},
      {"PostgreSQL role without its password", pgAs("127.0.0.1", "shop")},
      {"MySQL service account", myAs("quayside")},
      {"MySQL root", myAs("root")},
      {"MySQL anonymous", myAs("")},
      {"MySQL service account over the socket",
       {mysql, "--no-defaults", "-u", "quayside", "--socket=" + (dataRoot / "mysql/mysql.sock").string(), "-e", "select 1"}},
      {"MySQL user without its password", myAs("shop")},
  };
  for (const auto& probe : refused) {
    auto result = runProcess(testing::asAnotherUser(probe.argv), {.environment = probe.environment});
    EXPECT_FALSE(result.succeeded()) << probe.what << " let another user in: " << result.output;
  }
  auto pong = runProcess(testing::asAnotherUser({redisCli, "-h", "127.0.0.1", "-p", redisPort, "ping"}));
  EXPECT_EQ(trimmed(pong.output).rfind("NOAUTH", 0), 0u) << "Redis without its password: " << pong.output;

  // Over TCP, with the credentials in a project's .env, the same account gets in: the probes
  // above were refused for want of a password, not for want of a route.
  std::vector<Probe> allowed = {
      {"PostgreSQL role", {psql, "-X", "-w", "-tAc", "select 1", pg.connectionString()}},
      {"MySQL user", myAs("shop"), {{"MYSQL_PWD", *my.password}}},
  };
  for (const auto& probe : allowed) {
    auto result = runProcess(testing::asAnotherUser(probe.argv), {.environment = probe.environment});
    EXPECT_EQ(trimmed(result.output), "1") << probe.what << ": " << result.errorOutput;
  }
  auto authorised = runProcess(testing::asAnotherUser({redisCli, "-u", redis.connectionString(), "ping"}));
  EXPECT_EQ(trimmed(authorised.output), "PONG") << authorised.errorOutput;
}

TEST_F(DatabaseServiceTest, ClustersFromBeforeServicePasswordsAreClosedOnTheirNextStart) {
  QSSystemEngines system;
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql})
    if (!system.isPresent(type)) GTEST_SKIP() << displayName(type) << " is not installed";
  auto pg = service.provision(record("shop", QSDatabaseType::postgresql, "shop")).database;
  auto my = service.provision(record("shop", QSDatabaseType::mysql, "shop")).database;
  auto psql = service.registry().binaryPath(QSDatabaseType::postgresql, "psql")->string();
  auto mysql = service.registry().binaryPath(QSDatabaseType::mysql, "mysql")->string();
  auto secret = [&](const char* folder) {
    return trimmed(testing::readTextFile(dataRoot / folder / ".service-password"));
  };
  // Back to how clusters used to be: the service account and root open on TCP without a password.
  std::string pgSocket = (dataRoot / "postgresql").string(), pgPort = std::to_string(pg.port);
  testing::writeTextFile(dataRoot / "postgresql/data/pg_hba.conf",
                         "local all all trust\nhost all quayside 127.0.0.1/32 trust\n"
                         "host all all 127.0.0.1/32 scram-sha-256\n");
  auto oldPG = runProcess({psql, "-X", "-h", pgSocket, "-p", pgPort, "-U", "quayside", "-d", "postgres", "-c",
                           "ALTER ROLE quayside PASSWORD NULL", "-c", "SELECT pg_reload_conf()"});
  ASSERT_TRUE(oldPG.succeeded()) << oldPG.errorOutput;
  auto oldMy = runProcess({mysql, "--no-defaults", "-u", "quayside", "--socket=" + (dataRoot / "mysql/mysql.sock").string(),
                           "-e", "ALTER USER 'quayside'@'localhost' IDENTIFIED BY ''; ALTER USER 'root'@'localhost' "
                                 "IDENTIFIED BY ''; CREATE USER 'root'@'127.0.0.1'; CREATE USER ''@'localhost';"},
                          {.environment = {{"MYSQL_PWD", secret("mysql")}}});
  ASSERT_TRUE(oldMy.succeeded()) << oldMy.errorOutput;
  for (const char* folder : {"postgresql", "mysql"}) {
    removeFile(dataRoot / folder / ".service-password");
    removeFile(dataRoot / folder / ".service-secured");
  }
  auto pgTCP = [&](const std::string& password) {
    return runProcess({psql, "-X", "-w", "-h", "127.0.0.1", "-p", pgPort, "-U", "quayside", "-d", "postgres", "-tAc",
                       "select 1"},
                      {.environment = {{"PGPASSWORD", password}}});
  };
  auto myTCP = [&](const std::string& user, const std::string& password) {
    return runProcess({mysql, "--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(my.port), "-u", user, "-N",
                       "-e", "select 1"},
                      {.environment = {{"MYSQL_PWD", password}}});
  };
  ASSERT_TRUE(pgTCP("").succeeded());
  ASSERT_TRUE(myTCP("root", "").succeeded());

  // The next owner finds both running and closes them.
  QSDatabaseService later(dataRoot);
  later.initialize(QSDatabaseType::postgresql);
  later.initialize(QSDatabaseType::mysql);
  EXPECT_FALSE(pgTCP("").succeeded());
  EXPECT_TRUE(pgTCP(secret("postgresql")).succeeded());
  for (const char* user : {"root", "quayside", ""}) EXPECT_FALSE(myTCP(user, "").succeeded()) << "'" << user << "'";
  EXPECT_TRUE(myTCP("quayside", secret("mysql")).succeeded());
  EXPECT_TRUE(myTCP("shop", *my.password).succeeded()) << "the project's own user is left alone";
  later.stopAll();
}

TEST_F(DatabaseServiceTest, MySQLRedisAndSQLiteAndTheEnginesAnEarlierOwnerLeft) {
  QSSystemEngines system;
  for (auto type : {QSDatabaseType::mysql, QSDatabaseType::redis})
    if (!system.isPresent(type)) GTEST_SKIP() << displayName(type) << " is not installed";
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

  auto redis = service.provision(record("shop_redis", QSDatabaseType::redis)).database;
  EXPECT_EQ(service.status(QSDatabaseType::redis), QSDatabaseStatus::running);

  // SQLite: a file in the data folder, named by its absolute path; existing contents are kept.
  auto lite = service.provision(record("notes", QSDatabaseType::sqlite, std::nullopt));
  fs::path notes = dataRoot / "sqlite/notes.sqlite";
  EXPECT_EQ(variableValue(lite.envVars, "DATABASE_URL"), "sqlite://" + notes.string());
  ASSERT_TRUE(runProcess({"/usr/bin/sqlite3", notes.string(), "create table t(x); insert into t values (7);"}).succeeded());
  service.provision(record("notes", QSDatabaseType::sqlite, std::nullopt));
  EXPECT_EQ(trimmed(runProcess({"/usr/bin/sqlite3", notes.string(), "select x from t"}).output), "7");
  EXPECT_EQ(thrownMessage<QSDatabaseException>([&] { service.provision(record("../escape", QSDatabaseType::sqlite, std::nullopt)); }),
            "Failed to create database: '../escape' can't be the name of an SQLite database: use a name without '/'.");
  service.dropDatabase("notes", QSDatabaseType::sqlite, 0);
  EXPECT_FALSE(fileExists(notes));

  // A new owner after a crash (its adopting what still runs: the end-to-end test). A server no
  // pid file names is a stray: it has ended by the time the reaping returns, so a new one starts
  // on the same port.
  int redisPID = std::stoi(testing::readTextFile(dataRoot / "redis/redis.pid"));
  QSDatabaseService later(dataRoot);
  removeFile(dataRoot / "redis/redis.pid");
  EXPECT_EQ(later.status(QSDatabaseType::redis), QSDatabaseStatus::stopped);
  later.reapOrphanedProcesses();
  EXPECT_TRUE(processHasEnded(redisPID));
  EXPECT_EQ(later.clusterPort(QSDatabaseType::redis), redis.port);
  later.start(QSDatabaseType::redis, redis.port);
  EXPECT_EQ(later.clusterPort(QSDatabaseType::redis), redis.port);

  later.stopAll();
}

TEST_F(DatabaseServiceTest, ANewUserTakesOverWhatTheOldOneHadInTheDatabase) {
  QSSystemEngines system;
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql})
    if (!system.isPresent(type)) GTEST_SKIP() << displayName(type) << " is not installed";
  ASSERT_TRUE(service.isInstalled(QSDatabaseType::postgresql) && service.isInstalled(QSDatabaseType::mysql));
  auto psql = service.registry().binaryPath(QSDatabaseType::postgresql, "psql")->string();
  auto run = [&](const std::string& url, const std::string& sql) {
    auto result = runProcess({psql, "-X", "-tA", "-v", "ON_ERROR_STOP=1", url, "-c", sql});
    EXPECT_TRUE(result.succeeded()) << sql << ": " << result.errorOutput;
    return trimmed(result.output);
  };
  // From a role of the project's own, and from the service account (links from before roles).
  auto blog = service.provision(record("blog", QSDatabaseType::postgresql, "alice")).database;
  run(blog.connectionString(), "CREATE TABLE posts (id serial PRIMARY KEY); CREATE TYPE mood AS ENUM ('ok')");
  auto legacy = service.provision(record("legacy", QSDatabaseType::postgresql, "quayside")).database;
  auto admin = runProcess({psql, "-X", "-h", (dataRoot / "postgresql").string(), "-p", std::to_string(legacy.port),
                           "-U", "quayside", "-d", "legacy", "-c",
                           "CREATE SCHEMA app; CREATE TABLE app.notes (id int GENERATED ALWAYS AS IDENTITY); "
                           "CREATE VIEW recent AS SELECT 1 AS x; CREATE FUNCTION two() RETURNS int LANGUAGE sql AS 'SELECT 2'"});
  ASSERT_TRUE(admin.succeeded()) << admin.errorOutput;
  struct Case {
    QSDatabase database;
    std::string previous;
    std::string owned;  // statements only the owner may run
  } cases[] = {
      {blog, "alice", "ALTER TABLE posts ADD COLUMN title text; INSERT INTO posts (title) VALUES ('x'); "
                      "ALTER TYPE mood ADD VALUE 'fine'"},
      {legacy, "quayside", "ALTER TABLE app.notes ADD COLUMN body text; INSERT INTO app.notes (body) VALUES ('x'); "
                           "CREATE TABLE app.more (id int); DROP VIEW recent; DROP FUNCTION two()"},
  };
  for (auto& c : cases) {
    c.database.username = "bob_" + c.database.name;
    c.database.password = "n3w pw";
    service.applyCredentials(c.database, c.previous);
    run(c.database.connectionString(), c.owned);
  }

  auto shop = service.provision(record("shop", QSDatabaseType::mysql, "carol")).database;
  auto mysql = service.registry().binaryPath(QSDatabaseType::mysql, "mysql")->string();
  auto asUser = [&](const QSDatabase& db) {
    return runProcess({mysql, "--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(db.port), "-u", *db.username,
                       "-N", "-e", "CREATE TABLE IF NOT EXISTS t (id int); SELECT COUNT(*) FROM t", "shop"},
                      {.environment = {{"MYSQL_PWD", *db.password}}});
  };
  ASSERT_TRUE(asUser(shop).succeeded());
  QSDatabase moved = shop;
  moved.username = "dave";
  service.applyCredentials(moved, "carol");
  EXPECT_TRUE(asUser(moved).succeeded()) << asUser(moved).errorOutput;
  EXPECT_FALSE(asUser(shop).succeeded()) << "the grants moved with the user";
}

TEST_F(DatabaseServiceTest, TheEnginesOwnDatabasesAreNeverDropped) {
  for (auto [type, name] : {std::pair{QSDatabaseType::mysql, "mysql"}, {QSDatabaseType::mysql, "SYS"},
                            {QSDatabaseType::postgresql, "template1"}, {QSDatabaseType::postgresql, "postgres"}})
    EXPECT_EQ(thrownMessage<QSDatabaseException>([&] { service.dropDatabase(name, type, 0); }),
              "\u201c" + std::string(name) + "\u201d is a database " +
                  std::string(displayName(type)) + " keeps for itself: choose another name.");
}

}  // namespace
}  // namespace qs
