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
  std::string imported = qsOK({"site", "import", shopFixture(), "--name", " My Shop! "});
  EXPECT_EQ(imported.rfind("Imported shop.brp into ~/Quayside/my-shop: ", 0), 0u) << imported;
  EXPECT_NE(imported.find(", committed to a new git repository.\n\nmy-shop\n"), std::string::npos)
      << imported;
  EXPECT_TRUE(isDirectory(project / ".git"));

  qsOK({"site", "import", shopFixture(), "--name", "my-shop", "--no-git"});  // taken by a project: numbered
  EXPECT_TRUE(isDirectory(home.home() / "Quayside/my-shop-2"));
  EXPECT_FALSE(fileExists(home.home() / "Quayside/my-shop-2/.git"));

  std::string plan = qsOK({"site", "resync", "my-shop", "--dry-run"});
  EXPECT_EQ(plan.rfind("Re-sync plan for ~/Quayside/my-shop from " + shopFixture() + ":\n  Update (", 0), 0u)
      << plan;
  EXPECT_EQ(plan.find("Conflicts"), std::string::npos);

  writeFileAtomically(project / "Resources/Views/about.leaf", "mine");
  auto refused = qs({"site", "resync", "my-shop"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "qs: 1 generated file was changed since the last export. Re-run with --keep-mine to keep your edits or "
            "--overwrite to replace them.\n");
  EXPECT_NE(refused.out.find("  Conflicts, edited since the last export (1):\n    Resources/Views/about.leaf\n"),
            std::string::npos);
  std::string kept = qsOK({"site", "resync", project.string(), shopFixture(), "--keep-mine"});
  EXPECT_NE(kept.find("  Kept your edits (1):\n    Resources/Views/about.leaf\n"), std::string::npos);

  std::string preview = qsOK({"site", "preview", "my-shop"});
  EXPECT_TRUE(preview.starts_with(
      "Wrote a preview of 8 pages to ~/Quayside/my-shop/.quayside/preview.\nOpen file://"))
      << preview;
}

TEST_F(SiteCommands, ExportNeedsNoDaemonAndBadDocumentsWriteNothing) {
  auto out = home.home() / "export";
  std::string exported = qsOK({"site", "export", shopFixture(), "--out", out.string()});
  EXPECT_EQ(exported.substr(exported.find(" files")), " files to ~/export.\n");

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
