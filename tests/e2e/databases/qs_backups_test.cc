// Snapshots, restore, the console and `qs uninstall` end to end: the real qs and quaysided with
// the PostgreSQL of the OS packages.
#include "e2e/databases/engines_e2e_support.h"

#include "core/platform/proc_table.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qs::testing {
namespace {

#if QS_HAVE_QUAYSIDED

namespace fs = std::filesystem;

class BackupsE2E : public EnginesE2ETest {
protected:
  std::string psql(const std::string& sql) {
    auto result = EnginesE2ETest::psql(url, sql);
    EXPECT_TRUE(result.succeeded()) << sql << ": " << result.errorOutput;
    return trimmed(result.output);
  }

  std::string url;
};

TEST_F(BackupsE2E, BackupListRestoreConsoleAndUninstall) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  startDaemon();
  // The project blog with a PostgreSQL database blog of its own role.
  fs::path blog = addProject("blog");
  qsOK({"db", "provision", "blog", "postgresql", "--user", "blog", "--password", "pw 'x'"});
  url = trimmed(qsOK({"db", "url", "blog"}));
  psql("CREATE TABLE posts (title TEXT); INSERT INTO posts VALUES ('first')");

  std::string taken = qsOK({"db", "backup", "blog"});
  std::string prefix = "Backed up blog to " + (data / "Backups/blog/blog-").string();
  EXPECT_EQ(taken.rfind(prefix, 0), 0u) << taken;
  auto listed = nlohmann::json::parse(qsOK({"db", "backups", "blog", "--json"}));
  ASSERT_EQ(listed.size(), 1u);
  std::string snapshot = listed[0]["path"];
  double size = listed[0]["sizeBytes"].get<double>();
  ASSERT_GE(size, 1000);  // a table and a row: about a kilobyte of SQL
  EXPECT_EQ(taken, fmt::format("Backed up blog to {} ({:.1f} KB).\n", snapshot, size / 1000));
  EXPECT_NE(qsOK({"db", "backups", "blog"}).find(fs::path(snapshot).filename().string()), std::string::npos);

  // Restoring asks first; without a terminal it wants --yes and touches nothing.
  psql("UPDATE posts SET title = 'changed'");
  EXPECT_EQ(qsFails({"db", "restore", "blog", "--latest"}),
            "qs: Restoring replaces the data in blog; add --yes to do it without a question.\n");
  EXPECT_EQ(psql("SELECT title FROM posts"), "changed");
  auto declined = qsOnTerminal({"db", "restore", "blog", "--latest"}, "n\n");
  EXPECT_NE(declined.out.find("Nothing restored."), std::string::npos) << declined.out;
  // What the database held is kept aside first, as a snapshot of its own.
  std::string restored = qsOK({"db", "restore", "blog", "--latest", "--yes"});
  auto after = nlohmann::json::parse(qsOK({"db", "backups", "blog", "--json"}));
  ASSERT_EQ(after.size(), 2u);
  std::string kept = after[0]["path"];
  EXPECT_TRUE(kept.ends_with("-before-restore.sql")) << kept;
  EXPECT_EQ(restored, "Restored blog from " + snapshot + ".\nWhat it held before is kept in " + kept + ".\n");
  EXPECT_EQ(psql("SELECT title FROM posts"), "first");
  // --latest means the newest snapshot taken on purpose, not the one kept aside.
  EXPECT_EQ(qsOK({"db", "restore", "blog", "--latest", "--yes"}).rfind("Restored blog from " + snapshot + ".\n", 0), 0u);

  EXPECT_EQ(qsFails({"db", "restore", "blog", "missing.sql", "--yes"}),
            "qs: There is no file at " + (home.home() / "missing.sql").string() + ".\n");

  // The console is the engine's own client, connected as the project's role: its password
  // travels in the environment only.
  std::string query = "SELECT current_user || '/' || current_database();\n";
  auto console = run({qsPath(), "db", "console", "blog"}, query, home.home());
  EXPECT_EQ(console.status, 0) << console.err;
  EXPECT_NE(console.out.find("blog/blog"), std::string::npos) << console.out;
  EXPECT_EQ(console.err, "Connecting to blog with psql (exit the client to come back).\n");

  EXPECT_EQ(qsOK({"db", "prune", "blog", "--keep", "1"}), "Deleted 2 of blog's snapshots; 1 kept.\n");

  // `qs uninstall` stops the cluster, which outlives the daemon, before the data folder goes; the
  // project's .env stays as it was.
  auto env = readTextFile(blog / ".env");
  auto pidText = readTextFile(data / "postgresql/data/postmaster.pid");
  auto postmaster = static_cast<std::int32_t>(std::stol(pidText.substr(0, pidText.find('\n'))));
  ASSERT_EQ(processIdentity(postmaster).value_or(QSProcessIdentity{}).name, "postgres");
  auto removed = qs({"uninstall", "-y"});
  EXPECT_EQ(removed.status, 0) << removed.out << removed.err;
  EXPECT_THAT(removed.out, ::testing::HasSubstr("✓ Delete app data\n"));
  // The uninstall returns once the cluster has exited.
  EXPECT_NE(processIdentity(postmaster).value_or(QSProcessIdentity{}).name, "postgres");
  EXPECT_FALSE(fs::exists(data));
  EXPECT_EQ(readTextFile(blog / ".env"), env);
}

#endif

}  // namespace
}  // namespace qs::testing
