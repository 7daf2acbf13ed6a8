// The registry file shared by several processes, SQL quoting and the texts of the engines' errors.
#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/databases/service_registry.h"
#include "core/databases/sql_quoting.h"
#include "core/platform/files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

namespace fs = std::filesystem;

QSInstalledService installed(const fs::path& folder, const std::string& id, QSDatabaseType type) {
  createDirectories(folder / id);
  return {.id = id, .type = type, .version = "15", .installPath = folder / id, .installedAt = QSTime::now(),
          .port = defaultPort(type)};
}

TEST(ServiceRegistryTest, SharedFileReloadsReplacesAndForgetsDeletedInstalls) {
  testing::TemporaryFolder folder;
  fs::path file = folder / "services.json";
  testing::writeTextFile(file, "{ not json");
  QSServiceRegistry registry(file), other(file);
  EXPECT_TRUE(registry.installedServices().empty());  // corrupt reads as none, left alone
  EXPECT_EQ(testing::readTextFile(file), "{ not json");

  registry.registerService(installed(folder.path(), "postgresql-17", QSDatabaseType::postgresql));
  registry.registerService(installed(folder.path(), "postgresql-system", QSDatabaseType::postgresql));
  registry.registerService(installed(folder.path(), "redis-system", QSDatabaseType::redis));
  ASSERT_EQ(registry.installedServices().size(), 2u);  // one engine per type
  EXPECT_EQ(registry.service(QSDatabaseType::postgresql)->id, "postgresql-system");
  EXPECT_NO_THROW(json::parse(testing::readTextFile(file)));

  // Another process's write is seen at the next operation.
  other.setPort(6400, QSDatabaseType::redis);
  EXPECT_EQ(registry.service(QSDatabaseType::redis)->port, 6400);
  other.setPort(1, QSDatabaseType::mysql);  // no MySQL: no change
  EXPECT_FALSE(registry.isInstalled(QSDatabaseType::mysql));

  EXPECT_FALSE(registry.binaryPath(QSDatabaseType::redis, "redis-server"));
  testing::writeTextFile(folder / "redis-system/bin/redis-server", "");
  EXPECT_EQ(registry.binaryPath(QSDatabaseType::redis, "redis-server"), folder / "redis-system/bin/redis-server");

  // An install folder deleted by hand takes its entry with it.
  fs::remove_all(folder / "postgresql-system");
  EXPECT_FALSE(other.isInstalled(QSDatabaseType::postgresql));
  EXPECT_EQ(testing::readTextFile(file).find("postgresql-system"), std::string::npos);
  registry.unregister("redis-system");
  EXPECT_TRUE(other.installedServices().empty());
}

TEST(SQLQuotingTest, EveryNameAndPasswordIsQuoted) {
  EXPECT_EQ(sql::postgresIdentifier("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(sql::postgresLiteral("it's \\"), "'it''s \\'");
  EXPECT_EQ(sql::mysqlIdentifier("a`b"), "`a``b`");
  EXPECT_EQ(sql::mysqlLiteral("it's \\"), "'it''s \\\\'");
  EXPECT_EQ(sql::mysqlGrantDatabase("my_shop%\\"), "`my\\_shop\\%\\\\`");

  // The name as literal and identifier, the password as literal, in both branches; a password
  // holding the usual tag gets another.
  EXPECT_NE(sql::postgresRoleScript("o\"k", "a$$b'").find("rolname = 'o\"k') THEN\n    CREATE ROLE \"o\"\"k\" LOGIN "
                                                          "PASSWORD 'a$$b''';\n  ELSE\n    ALTER ROLE \"o\"\"k\" LOGIN PASSWORD 'a$$b''';"),
            std::string::npos);
  EXPECT_EQ(sql::postgresRoleScript("r", "$qs$").rfind("DO $qs1$ ", 0), 0u);
  EXPECT_NE(sql::postgresRoleScript("r", "").find("CREATE ROLE \"r\" LOGIN;\n  ELSE\n    ALTER ROLE \"r\" LOGIN;"),
            std::string::npos);

  EXPECT_EQ(sql::mysqlDatabaseScript("blog", "quayside", ""), "CREATE DATABASE IF NOT EXISTS `blog`;");
  EXPECT_EQ(sql::mysqlDatabaseScript("b`g", "u'", "p\\"),
            "CREATE DATABASE IF NOT EXISTS `b``g`;\nCREATE USER IF NOT EXISTS 'u'''@'%' IDENTIFIED BY 'p\\\\';\n"
            "ALTER USER 'u'''@'%' IDENTIFIED BY 'p\\\\';\nGRANT ALL PRIVILEGES ON `b``g`.* TO 'u'''@'%';\nFLUSH PRIVILEGES;");
}

TEST(DatabaseErrorTest, Messages) {
  using namespace databaseError;
  EXPECT_EQ(QSDatabaseError(CommandFailed{"psql", 1, "ERROR:  boom"}).message(), "psql failed with exit code 1: ERROR:  boom");
  EXPECT_EQ(QSDatabaseError(CommandFailed{"psql", 2, std::nullopt}).message(), "psql failed with exit code 2");
  EXPECT_EQ(firstErrorLine("notice\n  psql:<stdin>:1: ERROR:  bad  \nmore"), "psql:<stdin>:1: ERROR:  bad");
  EXPECT_EQ(firstErrorLine("\n\n  first  \nsecond"), "first");
  EXPECT_EQ(firstErrorLine(" \n"), std::nullopt);
  EXPECT_EQ(redacted("near 'pw' and pw", {"pw", ""}), "near '******' and ******");
  EXPECT_EQ(lastLogMessage("a # one\nb\nc # two \n", "#"), "two");
}

}  // namespace
}  // namespace qs
