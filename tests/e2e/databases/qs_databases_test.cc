// Databases end to end: the real qs and quaysided provision PostgreSQL, MariaDB, Redis and
// SQLite databases for projects; PostgreSQL's and Redis's own clients reach them with the settings
// the daemon wrote into the project's .env. (MariaDB's client: the database service's test.)
#include "e2e/databases/engines_e2e_support.h"

#include "core/models/dotenv.h"

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

using DatabasesE2E = EnginesE2ETest;

TEST_F(DatabasesE2E, FourEnginesThroughTheDaemon) {
  QSSystemEngines system;
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::redis})
    if (!system.isPresent(type)) GTEST_SKIP() << displayName(type) << " is not installed";
  startDaemon();

  // PostgreSQL, with a role and password of the project's own.
  fs::path blog = addProject("blog");
  std::string provisioned =
      qsOK({"db", "provision", "blog", "postgresql", "--user", "blog", "--password", "first pw"});
  EXPECT_EQ(provisioned.rfind("Provisioned the PostgreSQL database blog for blog", 0), 0u) << provisioned;
  std::string url = envValue(blog, "DATABASE_URL");
  auto selected = psql(url, "select current_user || '@' || current_database()");
  ASSERT_TRUE(selected.succeeded()) << url << "\n" << selected.errorOutput;
  EXPECT_EQ(trimmed(selected.output), "blog@blog");
  EXPECT_EQ(qsOK({"db", "url", "blog"}), url + "\n");

  // A new password reaches the engine and the .env; the old one no longer works.
  qsOK({"db", "edit", "blog", "--password", "second pw"});
  std::string rewritten = envValue(blog, "DATABASE_URL");
  EXPECT_TRUE(psql(rewritten, "select 1").succeeded());
  EXPECT_FALSE(psql(url, "select 1").succeeded());

  // Redis for the same project, MariaDB for another.
  qsOK({"db", "provision", "blog", "redis"});
  auto redisCli = (data / "services/redis-system/bin/redis-cli").string();
  EXPECT_EQ(trimmed(runProcess({redisCli, "-u", envValue(blog, "REDIS_URL"), "ping"}).output), "PONG");
  fs::path shop = addProject("shop");
  qsOK({"db", "provision", "shop", "mysql", "--user", "shop", "--password", "s3cret"});

  // SQLite for a third: the URL names the file the daemon made.
  fs::path notes = addProject("notes");
  qsOK({"db", "provision", "notes", "sqlite"});
  std::string file = envValue(notes, "DATABASE_URL").substr(std::string("sqlite://").size());
  EXPECT_EQ(file, (data / "sqlite/notes.sqlite").string());
  EXPECT_TRUE(fileExists(file));

  // Added again, a project whose .env names an existing database is linked to it.
  auto linkedBefore = json::parse(qsOK({"info", "notes", "--json"}))["databaseID"];
  qsOK({"rm", "notes", "--yes"});
  qsOK({"add", notes.string()});
  EXPECT_EQ(json::parse(qsOK({"info", "notes", "--json"}))["databaseID"], linkedBefore);

  auto listed = json::parse(qsOK({"db", "ls", "--json"}));
  ASSERT_EQ(listed.size(), 4u);
  auto engines = json::parse(qsOK({"engines", "--json"}));
  EXPECT_EQ(engines[0]["service"]["id"], "postgresql-system");
  EXPECT_EQ(engines[0]["status"], "running");

  // Removing projects with --drop-database drops what they alone linked.
  qsOK({"rm", "blog", "--drop-database", "--yes"});
  qsOK({"rm", "shop", "--drop-database", "--yes"});
  qsOK({"rm", "notes", "--drop-database", "--yes"});
  std::string admin = "postgresql://quayside@127.0.0.1:" + envValue(blog, "DB_PORT") + "/postgres";
  EXPECT_EQ(trimmed(psql(admin, "select count(*) from pg_database where datname = 'blog'").output), "0");
  EXPECT_FALSE(fileExists(file));
  EXPECT_EQ(json::parse(qsOK({"db", "ls", "--json"})).size(), 0u);

  // Stopping the daemon stops MariaDB and Redis; PostgreSQL runs on and is found again.
  int mysqlPort = std::stoi(envValue(shop, "DB_PORT"));
  daemon.reset();
  EXPECT_TRUE(QSPortScanner().processesListening(mysqlPort).empty());
  EXPECT_TRUE(psql(admin, "select 1").succeeded());
}

#endif

}  // namespace
}  // namespace qs::testing
