// Databases end to end: the real qs and quaysided provision PostgreSQL, MariaDB and Redis for
// projects; the engines' own clients reach them with the .env the daemon wrote, also after a restart or a crash.
#include "e2e/databases/engines_e2e_support.h"

#include "core/databases/engine_tool.h"
#include "core/models/dotenv.h"
#include "core/platform/file_lock.h"
#include "core/platform/proc_table.h"
#include "support/test_locations.h"

#include <nlohmann/json.hpp>

namespace qs::testing {
namespace {

#if QS_HAVE_QUAYSIDED

namespace fs = std::filesystem;

// The value of `key` in the project's .env, read with the parser the daemon uses.
std::string envValue(const fs::path& project, const std::string& key) {
  for (const auto& variable : parseDotenv(readTextFile(project / ".env")))
    if (variable.key == key) return variable.value;
  return "<no " + key + ">";
}

// The daemon as the user runs it: `qs daemon start` and `qs daemon stop`.
class DatabasesE2E : public EnginesE2ETest {
protected:
  DatabasesE2E() { environment["QS_DAEMON_EXECUTABLE"] = qs::testing::binFolder() + "/quaysided"; }
  void TearDown() override {
    qs({"daemon", "stop"});
    // Engines a crashed daemon left behind must not outlive a test that failed half-way.
    for (const char* file : {"mysql/mysql.pid", "redis/redis.pid"})
      if (auto pid = readFileIfPresent(data / file); pid && !pid->empty()) endProcesses({std::stoi(*pid)});
    EnginesE2ETest::TearDown();
  }

  // Whether every database `qs db ls` lists reports running within a minute (the daemon starts
  // them after it serves its socket).
  bool allRunning() {
    return pollUntil(
        [&] {
          auto listed = qs({"db", "ls", "--json"});
          if (listed.status != 0) return false;
          auto databases = json::parse(listed.out);
          return !databases.empty() && std::all_of(databases.begin(), databases.end(),
                                                   [](const json& d) { return d["status"] == "running"; });
        },
        std::chrono::seconds(60));
  }

  // Each engine answers the project with the settings in its .env.
  void expectAnswering(const fs::path& blog, const fs::path& shop) {
    auto selected = psql(envValue(blog, "DATABASE_URL"), "select 1");
    EXPECT_EQ(trimmed(selected.output), "1") << selected.errorOutput;
    auto redisCli = (data / "services/redis-system/bin/redis-cli").string();
    auto pong = runProcess({redisCli, "-u", envValue(blog, "REDIS_URL"), "ping"});
    EXPECT_EQ(trimmed(pong.output), "PONG") << pong.errorOutput;
    auto mysql = (data / "services/mysql-system/bin/mysql").string();
    auto answered = runProcess({mysql, "--no-defaults", "-h", "127.0.0.1", "-P", envValue(shop, "DB_PORT"), "-u",
                                envValue(shop, "DB_USERNAME"), "-N", "-e", "select 1", envValue(shop, "DB_NAME")},
                               {.environment = {{"MYSQL_PWD", envValue(shop, "DB_PASSWORD")}}});
    EXPECT_EQ(trimmed(answered.output), "1") << answered.errorOutput;
  }
};

TEST_F(DatabasesE2E, ThreeEnginesThroughTheDaemonAcrossARestartAndACrash) {
  QSSystemEngines system;
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::redis})
    if (!system.isPresent(type)) GTEST_SKIP() << displayName(type) << " is not installed";
  qsOK({"daemon", "start"});

  // PostgreSQL, with a role and password of the project's own; a role name holding URL
  // delimiters still reads back from the URL.
  fs::path blog = addProject("blog");
  auto provisioned = run({qsPath(), "db", "provision", "blog", "postgresql", "--user", "b@l:og/x", "--password-stdin"},
                         "first pw\n", home.home());
  ASSERT_EQ(provisioned.status, 0) << provisioned.err;
  EXPECT_EQ(provisioned.err, "");
  EXPECT_EQ(provisioned.out.rfind("Provisioned the PostgreSQL database blog for blog", 0), 0u) << provisioned.out;
  std::string url = envValue(blog, "DATABASE_URL");
  auto selected = psql(url, "select current_user || '@' || current_database()");
  ASSERT_TRUE(selected.succeeded()) << url << "\n" << selected.errorOutput;
  EXPECT_EQ(trimmed(selected.output), "b@l:og/x@blog");
  EXPECT_EQ(qsOK({"db", "url", "blog"}), url + "\n");

  // A new password reaches the engine and the .env; the old one no longer works. A password in
  // the argument list still works, with a warning.
  auto edited = qs({"db", "edit", "blog", "--password", "second pw"});
  EXPECT_EQ(edited.status, 0);
  EXPECT_EQ(edited.err, "Warning: a password on the command line can be read by every user of this machine while "
                        "qs runs; pipe it into --password-stdin, or give --password alone to type it.\n");
  std::string rewritten = envValue(blog, "DATABASE_URL");
  EXPECT_TRUE(psql(rewritten, "select 1").succeeded());
  EXPECT_FALSE(psql(url, "select 1").succeeded());
  EXPECT_EQ(qsFails({"db", "edit", "blog", "--password"}, 2),
            "qs: --password without a value asks on a terminal, and there is none: pipe the password into "
            "--password-stdin instead.\n");
  EXPECT_EQ(qsFails({"db", "edit", "blog", "--password-stdin"}, 2).rfind("qs: No password on standard input", 0), 0u);
  auto typed = qsOnTerminal({"db", "edit", "blog", "--password"}, "third pw\nthird pw\n");
  EXPECT_EQ(typed.status, 0) << typed.out;
  // (The terminal echoes input sent before the prompt turns echo off, so that is not checked.)
  EXPECT_NE(typed.out.find("Password: "), std::string::npos) << typed.out;
  EXPECT_NE(typed.out.find("Repeat it: "), std::string::npos) << typed.out;
  EXPECT_EQ(envValue(blog, "DB_PASSWORD"), "third pw");

  // Redis for the same project, MariaDB for another. (SQLite's file, and a project added again
  // being linked to the database its .env names: the database service's and engine's tests.)
  qsOK({"db", "provision", "blog", "redis"});
  fs::path shop = addProject("shop");
  qsOK({"db", "provision", "shop", "mysql"});
  EXPECT_EQ(envValue(shop, "DB_USERNAME"), "shop") << "a user of its own, not the service account";
  EXPECT_EQ(envValue(shop, "DB_PASSWORD").size(), 32u);
  expectAnswering(blog, shop);
  ASSERT_EQ(json::parse(qsOK({"db", "ls", "--json"})).size(), 3u);
  auto engines = json::parse(qsOK({"engines", "--json"}));
  EXPECT_EQ(engines[0]["service"]["id"], "postgresql-system");
  EXPECT_EQ(engines[0]["status"], "running");

  // Every linked database answers after a stop and a start, and after a crash, which leaves
  // MariaDB and Redis running: the next daemon adopts them where they are.
  std::string blogEnv = readTextFile(blog / ".env"), shopEnv = readTextFile(shop / ".env");
  qsOK({"daemon", "stop"});
  qsOK({"daemon", "start"});
  ASSERT_TRUE(allRunning()) << qs({"db", "ls"}).out;
  expectAnswering(blog, shop);
  auto pid = lockHolder(home.home() / "owner.lock");
  ASSERT_TRUE(pid);
  ::kill(*pid, SIGKILL);
  ASSERT_TRUE(pollUntil([&] { return processHasEnded(*pid); }, std::chrono::seconds(30)));
  qsOK({"daemon", "start"});
  ASSERT_TRUE(allRunning()) << qs({"db", "ls"}).out;
  expectAnswering(blog, shop);
  EXPECT_EQ(readTextFile(blog / ".env"), blogEnv) << "every port stayed put";
  EXPECT_EQ(readTextFile(shop / ".env"), shopEnv);

  // Stopping the daemon stops MariaDB and Redis; PostgreSQL runs on. (Removing a project with
  // --drop-database: the engine's and the database service's tests.)
  int mysqlPort = std::stoi(envValue(shop, "DB_PORT"));
  qsOK({"daemon", "stop"});
  EXPECT_TRUE(QSPortScanner().processesListening(mysqlPort).empty());
  EXPECT_TRUE(psql(envValue(blog, "DATABASE_URL"), "select 1").succeeded());
}

#endif

}  // namespace
}  // namespace qs::testing
