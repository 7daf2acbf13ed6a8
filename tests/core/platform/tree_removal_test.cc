// Removing a whole tree (a project's folder, the data folder at uninstall) never reaches through
// a link, and a failure names the entry it stopped at.
#include "core/platform/files.h"
#include "core/platform/system_error.h"
#include "core/platform/tree_removal.h"
#include "support/process_helpers.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace qs {
namespace {

using testing::TemporaryFolder;
using testing::readTextFile;
using testing::writeTextFile;
namespace fs = std::filesystem;

TEST(TreeRemovalTest, LinksAreRemovedNeverFollowed) {
  TemporaryFolder top, outside;
  writeTextFile(outside / "keep/file", "precious");
  auto tree = top / "tree";
  writeTextFile(tree / "a/b/c.txt", "x");
  fs::create_directory_symlink(outside / "keep", tree / "a/linked-folder");
  fs::create_symlink(outside / "keep/file", tree / "a/b/linked-file");
  fs::create_symlink(top / "missing", tree / "dangling");
  EXPECT_TRUE(removeTree(tree));
  EXPECT_FALSE(fileExists(tree));
  EXPECT_EQ(readTextFile(outside / "keep/file"), "precious");

  // A link given as the tree goes itself; a plain file goes; nothing there is no failure.
  fs::create_directory_symlink(outside / "keep", top / "link");
  EXPECT_TRUE(removeTree(top / "link"));
  EXPECT_FALSE(fileExists(top / "link"));
  EXPECT_EQ(readTextFile(outside / "keep/file"), "precious");
  writeTextFile(top / "plain", "");
  EXPECT_TRUE(removeTree(top / "plain"));
  EXPECT_FALSE(removeTree(top / "plain"));
}

// The removal runs as an account that may not write in "locked" (root may write anywhere: a
// child of this process gives root's rights up first).
TEST(TreeRemovalTest, AFailureNamesTheEntryAndKeepsIt) {
  TemporaryFolder top;
  ::chmod(top.path().c_str(), 0755);
  auto tree = top / "tree";
  writeTextFile(tree / "locked/f", "stays");
  ::chmod((tree / "locked").c_str(), 0555);
  std::string what = testing::outputOfForkedChild([&] {
    std::string what = "kept root's rights";
    if (::geteuid() != 0 || ::setresuid(65534, 65534, 65534) == 0)
      what = testing::thrownMessage<QSSystemError>([&] { removeTree(tree); });
    [[maybe_unused]] auto written = ::write(STDOUT_FILENO, what.data(), what.size());
  });
  EXPECT_EQ(what, "unlinkat " + (tree / "locked/f").string() + ": Permission denied");
  EXPECT_EQ(readTextFile(tree / "locked/f"), "stays");
  ::chmod((tree / "locked").c_str(), 0755);
}

}  // namespace
}  // namespace qs
