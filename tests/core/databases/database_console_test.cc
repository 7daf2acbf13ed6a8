// The console's command line and exec launch for each engine.
#include "core/databases/database_console.h"
#include "core/platform/shell_words.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

QSDatabase record(QSDatabaseType type, std::optional<std::string> user, std::optional<std::string> password, int port) {
  QSDatabase db = QSDatabase::make("blog", type, port);
  db.username = std::move(user);
  db.password = std::move(password);
  db.databaseName = "blog_dev";
  return db;
}

TEST(DatabaseConsoleTest, CommandLinesAndLaunchesPerEngine) {
  const fs::path sqliteFolder = "/home/me/.local/share/Quayside/sqlite";
  auto postgres = record(QSDatabaseType::postgresql, "blog", "s3cret", 5432);
  EXPECT_EQ(QSDatabaseConsole::command(postgres, "/opt/pg/bin/psql", sqliteFolder),
            "PGPASSWORD=s3cret /opt/pg/bin/psql -h 127.0.0.1 -p 5432 -U blog blog_dev");
  auto launch = QSDatabaseConsole::launch(postgres, "/opt/pg/bin/psql", sqliteFolder);
  EXPECT_EQ(launch.program, "/opt/pg/bin/psql");
  EXPECT_EQ(launch.arguments, (Strings{"/opt/pg/bin/psql", "-h", "127.0.0.1", "-p", "5432", "-U", "blog", "blog_dev"}));
  EXPECT_EQ(launch.environment, (std::map<std::string, std::string>{{"PGPASSWORD", "s3cret"}}));
  // The caller's own connection settings are dropped; its history file is kept.
  auto& unset = launch.unsetEnvironment;
  EXPECT_NE(std::find(unset.begin(), unset.end(), "PGHOST"), unset.end());
  EXPECT_NE(std::find(unset.begin(), unset.end(), "MYSQL_PWD"), unset.end());
  EXPECT_EQ(std::find(unset.begin(), unset.end(), "PGPASSWORD"), unset.end());
  EXPECT_EQ(std::find(unset.begin(), unset.end(), "MYSQL_HISTFILE"), unset.end());

  // A password with a space and a quote is quoted for the shell, never put in the arguments.
  auto mysql = record(QSDatabaseType::mysql, std::nullopt, "it's a secret", 3306);
  EXPECT_EQ(QSDatabaseConsole::command(mysql, "mysql", sqliteFolder),
            "MYSQL_PWD='it'\\''s a secret' mysql --no-defaults -h 127.0.0.1 -P 3306 -u quayside blog_dev");
  launch = QSDatabaseConsole::launch(mysql, "/usr/bin/mariadb", sqliteFolder);
  EXPECT_EQ(launch.arguments,
            (Strings{"/usr/bin/mariadb", "--no-defaults", "-h", "127.0.0.1", "-P", "3306", "-u", "quayside", "blog_dev"}));
  EXPECT_EQ(launch.environment.at("MYSQL_PWD"), "it's a secret");

  // An empty password sets no variable.
  auto noPassword = record(QSDatabaseType::postgresql, "o'brien", "", 5433);
  EXPECT_EQ(QSDatabaseConsole::command(noPassword, "/path with space/psql", sqliteFolder),
            "'/path with space/psql' -h 127.0.0.1 -p 5433 -U 'o'\\''brien' blog_dev");
  EXPECT_TRUE(QSDatabaseConsole::launch(noPassword, "/psql", sqliteFolder).environment.empty());

  // Redis: the server's password, which it demands of every client, in the client's variable.
  auto redis = record(QSDatabaseType::redis, "ignored", "s3cret", 6380);
  EXPECT_EQ(QSDatabaseConsole::command(redis, "redis-cli", sqliteFolder),
            "REDISCLI_AUTH=s3cret redis-cli -h 127.0.0.1 -p 6380");
  EXPECT_EQ(QSDatabaseConsole::launch(redis, "/usr/bin/redis-cli", sqliteFolder).environment.at("REDISCLI_AUTH"),
            "s3cret");

  auto sqlite = record(QSDatabaseType::sqlite, std::nullopt, std::nullopt, 0);
  sqlite.databaseName = "my notes";
  EXPECT_EQ(QSDatabaseConsole::command(sqlite, "/usr/bin/sqlite3", sqliteFolder),
            "/usr/bin/sqlite3 '/home/me/.local/share/Quayside/sqlite/my notes.sqlite'");
  EXPECT_EQ(shellWord(""), "''");
  EXPECT_EQ(shellWord("user@host:5432/a.b_c-d"), "user@host:5432/a.b_c-d");
}

}  // namespace
}  // namespace qs
