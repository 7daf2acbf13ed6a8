// `qs uninstall` with a provisioned PostgreSQL database: the cluster, which outlives the daemon,
// is stopped before the data folder goes, and the project's .env stays as it was.
#include "e2e/databases/engines_e2e_support.h"

#include "core/platform/proc_table.h"

namespace qs::testing {
namespace {

#if QS_HAVE_QUAYSIDED

namespace fs = std::filesystem;

using UninstallEnginesE2E = EnginesE2ETest;

TEST_F(UninstallEnginesE2E, StopsPostgreSQLBeforeDeletingItsData) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  startDaemon();
  fs::path blog = addProject("blog");
  qsOK({"db", "provision", "blog", "postgresql"});
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
