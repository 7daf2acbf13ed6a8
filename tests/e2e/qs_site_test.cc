// Site commands end to end: import through the real daemon, then re-sync, export and preview.
#include "e2e/e2e_support.h"

#include "core/platform/files.h"

namespace qs::testing {
namespace {

std::string shopFixture() { return std::string(QS_TEST_FIXTURES) + "/site/shop.brp"; }

class SiteCommands : public E2ETest {};

TEST_F(SiteCommands, ImportResyncAndPreview) {
  startDaemon();
  auto project = home.home() / "Quayside/my-shop";
  auto imported = qs({"site", "import", shopFixture(), "--name", " My Shop! "});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out.rfind("Imported shop.brp into ~/Quayside/my-shop: ", 0), 0u) << imported.out;
  EXPECT_NE(imported.out.find(", committed to a new git repository.\n\nmy-shop\n"), std::string::npos) << imported.out;
  EXPECT_TRUE(isDirectory(project / ".git"));
  EXPECT_NE(qsOK({"ls"}).find("my-shop"), std::string::npos);

  auto again = qs({"site", "import", shopFixture(), "--name", "my-shop", "--no-git"});
  EXPECT_EQ(again.status, 0) << again.err;  // the name is taken by a project, so it is numbered
  EXPECT_TRUE(isDirectory(home.home() / "Quayside/my-shop-2"));
  EXPECT_FALSE(fileExists(home.home() / "Quayside/my-shop-2/.git"));

  auto plan = qs({"site", "resync", "my-shop", "--dry-run"});
  ASSERT_EQ(plan.status, 0) << plan.err;
  EXPECT_EQ(plan.out.rfind("Re-sync plan for ~/Quayside/my-shop from " + shopFixture() + ":\n  Update (", 0), 0u)
      << plan.out;
  EXPECT_EQ(plan.out.find("Conflicts"), std::string::npos);

  writeFileAtomically(project / "Resources/Views/about.leaf", "mine");
  auto refused = qs({"site", "resync", "my-shop"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "qs: 1 generated file was changed since the last export. Re-run with --keep-mine to keep your edits or "
            "--overwrite to replace them.\n");
  EXPECT_NE(refused.out.find("  Conflicts, edited since the last export (1):\n    Resources/Views/about.leaf\n"),
            std::string::npos);
  auto kept = qs({"site", "resync", project.string(), shopFixture(), "--keep-mine"});
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_NE(kept.out.find("  Kept your edits (1):\n    Resources/Views/about.leaf\n"), std::string::npos);
  EXPECT_EQ(readTextFile(project / "Resources/Views/about.leaf"), "mine");

  auto preview = qs({"site", "preview", "my-shop"});
  ASSERT_EQ(preview.status, 0) << preview.err;
  EXPECT_EQ(preview.out.rfind("Wrote a preview of 8 pages to ~/Quayside/my-shop/.quayside/preview.\nOpen file://", 0), 0u)
      << preview.out;
}

TEST_F(SiteCommands, ExportNeedsNoDaemonAndBadDocumentsWriteNothing) {
  auto out = home.home() / "export";
  auto exported = qs({"site", "export", shopFixture(), "--out", out.string()});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out.substr(exported.out.find(" files")), " files to ~/export.\n");

  writeTextFile(home.home() / "bad.brp", "{\"pages\": [{}]}");
  auto bad = home.home() / "bad";
  EXPECT_EQ(qsFails({"site", "export", (home.home() / "bad.brp").string(), "--out", bad.string()}),
            "qs: The document can't be read: pages[0].elements is missing.\n");
  EXPECT_FALSE(fileExists(bad));

  qsFails({"site", "resync", out.string(), "--keep-mine", "--overwrite"}, 2);
  EXPECT_EQ(qsFails({"site", "resync", home.home().string()}),
            "qs: This folder has no Brindle Pages sync manifest, so it can't be re-synced.\n");
}

}  // namespace
}  // namespace qs::testing
