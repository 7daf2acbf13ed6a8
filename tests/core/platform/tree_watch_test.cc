// Changes under watched folders as the kernel reports them, folders created later included.
#include "core/platform/tree_watch.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::writeTextFile;

bool changed(const QSTreeWatch::Batch& batch, const fs::path& path) {
  return std::any_of(batch.changes.begin(), batch.changes.end(), [&](const auto& c) { return c.path == path; });
}

TEST(TreeWatchTest, WritesCreationsRemovalsAndNewFoldersBelowATree) {
  TemporaryFolder root;
  fs::create_directories(root / "Sources/App");
  writeTextFile(root / "Package.swift", "// manifest");
  QSTreeWatch watch;
  ASSERT_EQ(watch.watchFolder(root.path()), QSTreeWatch::Added::watching);
  ASSERT_EQ(watch.watchTree(root / "Sources"), QSTreeWatch::Added::watching);
  EXPECT_EQ(watch.watchCount(), 3u);
  EXPECT_TRUE(watch.take().changes.empty()) << "nothing happened yet";

  writeTextFile(root / "Sources/App/routes.swift", "x");
  writeTextFile(root / "Package.swift", "// changed");
  fs::create_directories(root / "Sources/App/Models");
  auto first = watch.take();  // the new folder is watched from here on
  EXPECT_TRUE(changed(first, root / "Sources/App/routes.swift"));
  EXPECT_TRUE(changed(first, root / "Package.swift"));
  EXPECT_TRUE(changed(first, root / "Sources/App/Models"));
  EXPECT_EQ(watch.watchCount(), 4u);

  writeTextFile(root / "Sources/App/Models/User.swift", "x");
  fs::rename(root / "Sources/App/routes.swift", root / "Sources/App/Routes.swift");
  fs::remove(root / "Sources/App/Routes.swift");
  auto second = watch.take();
  EXPECT_TRUE(changed(second, root / "Sources/App/Models/User.swift"));
  EXPECT_TRUE(changed(second, root / "Sources/App/routes.swift"));
  EXPECT_TRUE(changed(second, root / "Sources/App/Routes.swift"));
  EXPECT_TRUE(second.gone.empty());
}

TEST(TreeWatchTest, AWatchedFolderThatGoesAwayAndTheLimit) {
  TemporaryFolder parent;
  fs::create_directories(parent / "project/Sources/App");
  QSTreeWatch watch;
  ASSERT_EQ(watch.watchFolder(parent / "project"), QSTreeWatch::Added::watching);
  EXPECT_EQ(watch.watchFolder(parent / "missing"), QSTreeWatch::Added::missing);
  fs::rename(parent / "project", parent / "renamed");
  EXPECT_EQ(watch.take().gone, std::vector<fs::path>{parent / "project"});

  // The limit is met part way through a tree: what was added stays watched and it says so.
  QSTreeWatch capped(2);
  EXPECT_EQ(capped.watchTree(parent / "renamed"), QSTreeWatch::Added::limitReached);
  EXPECT_TRUE(capped.limitReached());
  EXPECT_EQ(capped.watchCount(), 2u);
}

}  // namespace
}  // namespace qs
