// Snapshots against the real engines of the OS packages (PostgreSQL, MariaDB): backup, change,
// restore; failed dumps; refused restores; listing and pruning by file.
#include "core/databases/backup_error.h"
#include "core/databases/backup_service.h"
#include "core/databases/database_service.h"
#include "core/platform/file_lock.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

#include <ctime>

namespace qs {
namespace {

namespace fs = std::filesystem;

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The text of the backup error `work` throws, or "no exception".
std::string errorOf(const std::function<void()>& work) {
  return testing::thrownMessage<QSBackupException>(work);
}

QSTimestamp localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
  tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
  return QSTimestamp(std::chrono::seconds(std::mktime(&tm)));
}

// The files in a folder, hidden ones included, so that a leftover partial dump shows.
std::vector<std::string> entries(const fs::path& folder) {
  auto names = tryListDirectory(folder);
  std::sort(names.begin(), names.end());
  return names;
}

class BackupServiceTest : public ::testing::Test {
protected:
  testing::IsolatedHome home;
  fs::path dataRoot = home.home() / "data";
  fs::path root = home.home() / "Backups";
  QSDatabaseService databases{dataRoot};
  QSBackupService backups{QSServiceRegistry(dataRoot / "services.json"), root};

  void TearDown() override {
    databases.stopAll();
    // Not running: nothing to stop.
    testing::thrownMessage([&] { databases.stop(QSDatabaseType::postgresql); });
  }

  QSDatabase provision(const std::string& name, QSDatabaseType type) {
    QSDatabase db = QSDatabase::make(name, type);
    db.username = "shop_owner";
    db.password = "pa ss'word";
    db.databaseName = name;
    return databases.provision(db).database;
  }

  // Runs SQL as the database's own user and returns what it printed.
  std::string sql(const QSDatabase& db, const std::string& statement) {
    QSProcessResult result;
    if (db.type == QSDatabaseType::postgresql) {
      auto psql = *databases.registry().binaryPath(db.type, "psql");
      result = runProcess({psql.string(), "-X", "-tA", db.connectionString(), "-c", statement});
    } else {
      auto mysql = *databases.registry().binaryPath(db.type, "mysql");
      result = runProcess({mysql.string(), "--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(db.port), "-u",
                           *db.username, "-N", "-B", "-e", statement, *db.databaseName},
                          {.environment = {{"MYSQL_PWD", *db.password}}});
    }
    EXPECT_TRUE(result.succeeded()) << statement << ": " << result.errorOutput;
    return trimmed(result.output);
  }

  // Backup, change, restore: the change is gone. Then the refusals, which leave the data alone.
  void roundTrip(const QSDatabase& db) {
    sql(db, "CREATE TABLE posts (id INT PRIMARY KEY, title VARCHAR(40))");
    sql(db, "INSERT INTO posts VALUES (1, 'kept')");
    fs::path snapshot = backups.backup(db);
    sql(db, "UPDATE posts SET title = 'changed'");
    sql(db, "INSERT INTO posts VALUES (2, 'added')");
    sql(db, "CREATE TABLE made_later (id INT)");

    // The data is replaced, tables made since the snapshot included; what was there is kept aside.
    fs::path safety = backups.restore(db, snapshot);
    EXPECT_EQ(sql(db, "SELECT COUNT(*) FROM information_schema.tables WHERE table_name = 'made_later'"), "0");
    EXPECT_TRUE(safety.filename().string().ends_with("-before-restore.sql")) << safety;
    auto listed = backups.backups(db);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].url, safety);
    EXPECT_EQ(listed[1].url, snapshot);

    testing::writeTextFile(home.home() / "binary.sql", std::string("PGDMP\0\x01\x0e", 8));
    EXPECT_EQ(errorOf([&] { backups.restore(db, home.home() / "binary.sql"); }),
              (home.home() / "binary.sql").string() +
                  " isn't an SQL dump: restore takes the plain SQL text that pg_dump or mysqldump writes.");
  }
};

TEST_F(BackupServiceTest, PostgreSQLBackupChangeRestoreRefusalsAndFailedDumps) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  auto db = provision("Shop", QSDatabaseType::postgresql);
  roundTrip(db);
  EXPECT_EQ(sql(db, "SELECT id || '|' || title FROM posts ORDER BY id"), "1|kept");

  // A dump of the other engine is refused by name of both.
  fs::path mysqlDump = home.home() / "other.sql";
  testing::writeTextFile(mysqlDump, "-- MariaDB dump 10.19  Distrib 10.11.6-MariaDB\n--\nCREATE TABLE `x` (id int);\n");
  EXPECT_EQ(errorOf([&] { backups.restore(db, mysqlDump); }),
            mysqlDump.string() + " was dumped from MySQL; it can't be restored into a PostgreSQL database.");

  // A script that fails halfway changes nothing: the data from before is put back, and said so.
  fs::path broken = home.home() / "broken.sql";
  testing::writeTextFile(broken, "CREATE TABLE half (id INT);\nSELECT * FROM missing_table;\n");
  std::string error = errorOf([&] { backups.restore(db, broken); });
  EXPECT_TRUE(error.starts_with("The restore failed: The database tool failed: psql:")) << error;
  EXPECT_NE(error.find("relation \"missing_table\" does not exist"), std::string::npos) << error;
  const std::string putBack = "\nThe database was put back as it was before, from the snapshot ";
  auto at = error.find(putBack);
  ASSERT_NE(at, std::string::npos) << error;
  fs::path kept = error.substr(at + putBack.size(), error.size() - at - putBack.size() - 1);
  EXPECT_NE(kept.filename().string().find("-before-restore"), std::string::npos) << kept;
  EXPECT_TRUE(fileExists(kept)) << kept;
  EXPECT_EQ(sql(db, "SELECT id || '|' || title FROM posts ORDER BY id"), "1|kept");
  EXPECT_EQ(sql(db, "SELECT COUNT(*) FROM information_schema.tables WHERE table_name = 'half'"), "0");

  // Failed dumps leave no snapshot behind: a table the project's role may not read makes pg_dump
  // fail after it has started, and a stopped engine fails it in the tool's own words.
  auto psql = *databases.registry().binaryPath(QSDatabaseType::postgresql, "psql");
  auto admin = runProcess({psql.string(), "-X", "-h", (dataRoot / "postgresql").string(), "-p",
                           std::to_string(db.port), "-U", "quayside", "-d", *db.databaseName, "-c",
                           "CREATE TABLE secrets (id INT)"});
  ASSERT_TRUE(admin.succeeded()) << admin.errorOutput;
  error = errorOf([&] { backups.backup(db, localTime(2026, 12, 2, 10, 0, 0)); });
  EXPECT_TRUE(error.starts_with("The database tool failed: pg_dump: error:")) << error;
  EXPECT_NE(error.find("permission denied"), std::string::npos) << error;
  databases.stop(QSDatabaseType::postgresql);
  error = errorOf([&] { backups.backup(db, localTime(2026, 12, 3, 10, 0, 0)); });
  EXPECT_NE(error.find("Connection refused"), std::string::npos) << error;
  EXPECT_EQ(entries(root / "shop").size(), 4u);  // the owner mark, the snapshot and two kept aside
  EXPECT_EQ(backups.backups(db).size(), 3u);
}

TEST_F(BackupServiceTest, MariaDBBackupChangeRestoreAndFailedDump) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::mysql)) GTEST_SKIP() << "MariaDB is not installed";
  auto db = provision("shop", QSDatabaseType::mysql);
  roundTrip(db);
  EXPECT_EQ(sql(db, "SELECT CONCAT(id, '|', title) FROM posts ORDER BY id"), "1|kept");

  // A view over a table that is gone: mysqldump has written the tables before it when it fails.
  sql(db, "CREATE TABLE gone (id INT)");
  sql(db, "CREATE VIEW zz_view AS SELECT id FROM gone");
  sql(db, "DROP TABLE gone");
  std::string error = errorOf([&] { backups.backup(db, localTime(2026, 12, 2, 10, 0, 0)); });
  EXPECT_TRUE(error.starts_with("The database tool failed: ")) << error;
  EXPECT_NE(error.find("zz_view"), std::string::npos) << error;
  EXPECT_EQ(entries(root / "shop").size(), 3u);  // the owner mark, the snapshot and the one kept aside
  EXPECT_EQ(backups.backups(db).size(), 2u);
}

TEST(BackupFilesTest, NamesFoldersListingPruningAndCollidingNames) {
  testing::IsolatedHome home;
  fs::path root = home.home() / "Backups";
  QSBackupService backups{QSServiceRegistry(home.home() / "services.json"), root};
  QSDatabase db = QSDatabase::make("ignored", QSDatabaseType::postgresql);
  db.databaseName = "My Shop DB";
  EXPECT_EQ(QSBackupService::snapshotName(db, localTime(2026, 12, 4, 5, 41, 0)), "my-shop-db-2026-12-04-054100.sql");
  EXPECT_EQ(backups.directory(db), root / "my-shop-db");

  // Nine snapshots a day apart, a partial dump and a note: retention 7 keeps the newest seven.
  fs::path folder = backups.directory(db);
  std::vector<fs::path> files;
  for (int day = 1; day <= 9; ++day) {
    files.push_back(folder / QSBackupService::snapshotName(db, localTime(2026, 11, day, 12, 0, 0)));
    testing::writeTextFile(files.back(), std::string(static_cast<std::size_t>(day), 'x'));
    fs::last_write_time(files.back(), fs::file_time_type::clock::now() - std::chrono::hours(24 * (10 - day)));
  }
  // A second backup within the second of an existing snapshot leaves it be and says why.
  EXPECT_EQ(errorOf([&] { backups.backup(db, localTime(2026, 11, 9, 12, 0, 0)); }),
            "A snapshot was taken this very second (" + files.back().string() + "); wait a moment and back up again.");
  testing::writeTextFile(folder / ".my-shop-db-2026-12-01-000000.sql.77-1.partial", "half");
  testing::writeTextFile(folder / "notes.txt", "mine");
  auto listed = backups.backups(db);
  ASSERT_EQ(listed.size(), 9u);
  EXPECT_EQ(listed.front().url, files[8]);
  EXPECT_EQ(listed.front().sizeBytes, 9);
  EXPECT_EQ(listed.back().url, files[0]);
  backups.prune(db, 7);
  EXPECT_FALSE(fileExists(files[0]));
  EXPECT_FALSE(fileExists(files[1]));
  EXPECT_TRUE(fileExists(files[2]));
  EXPECT_EQ(backups.backups(db).size(), 7u);
  EXPECT_TRUE(fileExists(folder / "notes.txt"));

  // Errors: engines without dumps, and a tool not installed yet.
  QSDatabase sqlite = QSDatabase::make("notes", QSDatabaseType::sqlite);
  EXPECT_EQ(errorOf([&] { backups.backup(sqlite); }),
            "Backups aren't supported for SQLite — only PostgreSQL and MySQL can be dumped.");
  QSDatabase redis = QSDatabase::make("cache", QSDatabaseType::redis);
  EXPECT_EQ(errorOf([&] { backups.restore(redis, files[8]); }),
            "Backups aren't supported for Redis — only PostgreSQL and MySQL can be dumped.");
  EXPECT_EQ(errorOf([&] { backups.backup(db); }),
            "The pg_dump tool isn't available yet. Start the database once so Quayside installs its engine.");

  // Colliding names: the first to keep snapshots claims the folder (backup writes the mark even
  // when its tool is missing, as it creates the folder first).
  QSDatabase first = QSDatabase::make("My Shop", QSDatabaseType::postgresql);
  QSDatabase second = QSDatabase::make("my-shop", QSDatabaseType::mysql);
  EXPECT_NE(errorOf([&] { backups.backup(first); }), "no exception");
  EXPECT_EQ(backups.directory(first), root / "my-shop");
  std::string shortID = second.id.string().substr(0, 8);
  std::transform(shortID.begin(), shortID.end(), shortID.begin(), ::tolower);
  EXPECT_EQ(backups.directory(second), root / ("my-shop-" + shortID));

  testing::writeTextFile(backups.directory(first) / "my-shop-2026-12-01-100000.sql", "a");
  testing::writeTextFile(backups.directory(second) / "my-shop-2026-12-01-100000.sql", "b");
  backups.prune(second, 1);
  backups.prune(first, 1);
  EXPECT_EQ(backups.backups(first).size(), 1u);
  EXPECT_EQ(backups.backups(second).size(), 1u);
}

TEST(BackupFilesTest, TemporariesOfKilledDumpsGoOnTheNextListing) {
  testing::IsolatedHome home;
  QSBackupService backups{QSServiceRegistry(home.home() / "services.json"), home.home() / "Backups"};
  QSDatabase db = QSDatabase::make("blog", QSDatabaseType::postgresql);
  fs::path folder = backups.directory(db);
  // A dump whose process was killed (nobody holds its lock), one still running (its lock held),
  // and files that merely look like temporaries.
  const std::string abandoned = ".blog-2026-12-01-000000.sql.4242-1.partial";
  const std::string running = ".blog-2026-12-01-000000.sql.4243-7.partial";
  const std::vector<std::string> lookAlikes = {".blog-2026-12-01-000000.sql.partial",
                                               "blog-2026-12-01-000000.sql.4242-1.partial",
                                               ".blog-2026-12-01-000000.sql.4242-1.partial.txt", ".notes.sql.1-1.partial"};
  for (const auto& name : lookAlikes) testing::writeTextFile(folder / name, "mine");
  testing::writeTextFile(folder / abandoned, "half");
  testing::writeTextFile(folder / running, "half");
  UniqueFd dumping = openLockFile(folder / running);
  ASSERT_TRUE(tryLockExclusive(dumping));

  EXPECT_TRUE(backups.backups(db).empty());
  auto expected = lookAlikes;
  expected.push_back(running);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries(folder), expected);
  // Once its process is gone, the running dump's temporary goes too (the tool is missing here,
  // so this backup fails, after the clean-up and without leaving a temporary of its own).
  dumping.reset();
  EXPECT_NE(errorOf([&] { backups.backup(db); }), "no exception");
  expected.erase(std::find(expected.begin(), expected.end(), running));
  expected.push_back(".database-id");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries(folder), expected);
}

}  // namespace
}  // namespace qs
