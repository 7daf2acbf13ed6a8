// Changes under watched folders as the kernel reports them, folders created later included.
#include "core/platform/folder_changes.h"
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

// A folder's list kept up to date by others' changes (the mail store's): names added and removed,
// moves in and out among them, in order; once the folder itself goes, every batch says to list
// it again.
TEST(FolderChangesTest, NamesInOrderAndIncompleteOnceTheFolderGoes) {
  TemporaryFolder top;
  fs::create_directories(top / "inbox");
  QSFolderChanges changes(top / "inbox");
  ASSERT_TRUE(changes.watching());
  writeTextFile(top / "inbox/a.eml", "a");
  fs::rename(top / "inbox/a.eml", top / "a.eml");
  writeTextFile(top / "b.eml", "b");
  fs::rename(top / "b.eml", top / "inbox/b.eml");
  fs::remove(top / "inbox/b.eml");
  auto batch = changes.take();
  EXPECT_FALSE(batch.incomplete);
  EXPECT_EQ(batch.changes, (std::vector<QSFolderChanges::Change>{{"a.eml", true}, {"a.eml", false}, {"b.eml", true},
                                                                 {"b.eml", false}}));
  EXPECT_TRUE(changes.take().changes.empty());
  fs::remove_all(top / "inbox");
  EXPECT_TRUE(changes.take().incomplete);
  EXPECT_FALSE(changes.watching());
  EXPECT_TRUE(changes.take().incomplete);
  EXPECT_FALSE(QSFolderChanges(top / "missing").watching());
}

}  // namespace
}  // namespace qs
