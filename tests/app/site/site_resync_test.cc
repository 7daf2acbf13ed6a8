// Re-sync against a real project folder: plans, conflict policies, scaffold files, and manifest
// entries that point outside the project.
#include "app/site/site_documents.h"
#include "app/site/site_error.h"
#include "app/site/site_import.h"
#include "app/site/site_resync.h"
#include "core/platform/files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace qs {
namespace {

using namespace sitetest;
namespace fs = std::filesystem;

class SiteResyncTest : public ::testing::Test {
protected:
  // Exports `document` into the project folder with its manifest, as an import does.
  void exportProject(const QSPagesProject& document) {
    ExportedVaporProject exported = QSVaporExporter(noFonts()).exportProject(document, "QuaysideSite");
    writeExportedFiles(folder_.path(), exported.files);
    QSVaporSyncManifest manifest{1, std::nullopt, QSTime::now(), exported.hasForms,
                                 QSSyncManifest::ownedBaseline(exported)};
    QSSyncManifest::write(folder_.path(), manifest);
  }
  QSResyncPlan plan(const QSPagesProject& document) { return planResync(document, folder_.path(), noFonts()); }
  fs::path at(const std::string& relative) { return folder_.path() / relative; }

  testing::TemporaryFolder folder_;
  QSPagesProject twoPages_ = decode(document({page("/", {text("home")}, true), page("/about", {text("about")})}));
};

TEST_F(SiteResyncTest, UnchangedProjectUpdatesEveryDesignFileThroughItsManifest) {
  EXPECT_THROW(plan(twoPages_), QSSiteException);  // no manifest: its text is pinned end to end
  exportProject(twoPages_);
  QSResyncPlan p = plan(twoPages_);
  EXPECT_EQ(p.designUpdates, (std::vector<std::string>{
                                 "Public/css/.gitkeep", "Resources/Views/404.leaf", "Resources/Views/500.leaf",
                                 "Resources/Views/about.leaf", "Resources/Views/base.leaf", "Resources/Views/error.leaf",
                                 "Resources/Views/index.leaf", "Sources/App/Controllers/PageController.swift",
                                 "Sources/App/Middleware/ErrorPageMiddleware.swift"}));
  EXPECT_TRUE(p.conflicts.empty() && p.prunes.empty() && p.scaffoldAdditions.empty() && p.refused.empty());
  std::string before = readFile(at("Resources/Views/index.leaf"));
  QSResyncReport report = applyResync(p, QSResyncPolicy::keepConflicts);
  EXPECT_EQ(report.updated, p.designUpdates);
  EXPECT_EQ(readFile(at("Resources/Views/index.leaf")), before);

  // The manifest as another version may write it: unknown keys are passed over, missing ones refused.
  std::string good = R"({"schemaVersion": 1, "lastExportedAt": "2026-12-06T09:45:20Z", "hadForms": false,
                         "ownedFiles": {"a": "b"}, "sourceBrpBookmark": "L3Nob3AuYnJw", "later": [1]})";
  auto manifest = QSSyncManifest::decode(good);
  ASSERT_TRUE(manifest);
  EXPECT_EQ(QSSyncManifest::bookmarkedPath(*manifest->sourceBrpBookmark), "/shop.brp");
  EXPECT_EQ(QSSyncManifest::decode(QSSyncManifest::encode(*manifest))->ownedFiles, manifest->ownedFiles);
  EXPECT_FALSE(QSSyncManifest::decode(R"({"schemaVersion": 1, "lastExportedAt": "2026-12-06T09:45:20Z", "hadForms": false})"));
  EXPECT_FALSE(QSSyncManifest::decode("not json"));
}

TEST_F(SiteResyncTest, EditsPrunesAndScaffoldFiles) {
  exportProject(twoPages_);
  writeFileAtomically(at("Resources/Views/about.leaf"), "my edit");
  writeFileAtomically(at("Sources/App/routes.swift"), "// my routes");
  removeFile(at(".gitignore"));
  removeFile(at("Resources/Views/index.leaf"));  // deleted: a plain update
  QSPagesProject onePage = twoPages_;
  onePage.pages.pop_back();

  QSResyncPlan p = plan(onePage);
  EXPECT_EQ(p.conflicts, (std::vector<std::string>{"Resources/Views/about.leaf"}));
  EXPECT_EQ(p.prunes, (std::vector<std::string>{"Resources/Views/about.leaf"}));
  EXPECT_EQ(p.scaffoldAdditions, (std::vector<std::string>{".gitignore"}));
  QSResyncReport kept = applyResync(p, QSResyncPolicy::keepConflicts);
  EXPECT_EQ(kept.skippedConflicts, (std::vector<std::string>{"Resources/Views/about.leaf"}));
  EXPECT_EQ(readFile(at("Resources/Views/about.leaf")), "my edit");
  EXPECT_TRUE(fileExists(at("Resources/Views/index.leaf")));
  EXPECT_TRUE(fileExists(at(".gitignore")));
  EXPECT_EQ(readFile(at("Sources/App/routes.swift")), "// my routes");

  // The kept edit is a conflict again: the manifest holds the generated hash.
  writeFileAtomically(at("Resources/Views/index.leaf"), "edited home");
  QSResyncPlan again = plan(twoPages_);
  EXPECT_EQ(again.conflicts, (std::vector<std::string>{"Resources/Views/index.leaf"}));
  QSResyncReport overwritten = applyResync(again, QSResyncPolicy::overwriteConflicts);
  EXPECT_EQ(overwritten.overwrittenConflicts, (std::vector<std::string>{"Resources/Views/index.leaf"}));
  EXPECT_NE(readFile(at("Resources/Views/index.leaf")), "edited home");
  EXPECT_NE(readFile(at("Resources/Views/about.leaf")), "my edit");
}

// A file the design now puts where the user already has one of their own is theirs: kept or
// overwritten only by the policy, and never taken over while it is kept.
TEST_F(SiteResyncTest, UsersOwnFilesAtNewDesignPaths) {
  exportProject(twoPages_);
  writeFileAtomically(at("Sources/App/Controllers/FormController.swift"), "// my form handling");
  writeFileAtomically(at("Resources/Views/contact.leaf"), "my contact view");
  QSPagesProject grown = twoPages_;
  grown.pages.push_back(decode(document({page("/contact", {form()})})).pages[0]);
  grown.pages.push_back(decode(document({page("/team", {text("t")})})).pages[0]);
  // A file with exactly the content the export writes is no one's work to lose.
  ExportedVaporProject fresh = QSVaporExporter(noFonts()).exportProject(grown, "QuaysideSite");
  writeFileAtomically(at("Resources/Views/team.leaf"), findFile(fresh, "Resources/Views/team.leaf")->content);

  QSResyncPlan p = plan(grown);
  EXPECT_TRUE(p.conflicts.empty());
  EXPECT_EQ(p.unownedConflicts, (std::vector<std::string>{"Resources/Views/contact.leaf",
                                                           "Sources/App/Controllers/FormController.swift"}));
  QSResyncReport kept = applyResync(p, QSResyncPolicy::keepConflicts);
  EXPECT_EQ(kept.keptUnowned, p.unownedConflicts);
  EXPECT_EQ(readFile(at("Sources/App/Controllers/FormController.swift")), "// my form handling");
  EXPECT_EQ(readFile(at("Resources/Views/contact.leaf")), "my contact view");
  auto owned = QSSyncManifest::read(folder_.path())->ownedFiles;
  EXPECT_EQ(owned.count("Resources/Views/contact.leaf"), 0u);
  EXPECT_EQ(owned.count("Resources/Views/team.leaf"), 1u);

  // Removing the page later must not prune the user's file.
  QSResyncPlan back = plan(twoPages_);
  EXPECT_EQ(std::count(back.prunes.begin(), back.prunes.end(), "Resources/Views/contact.leaf"), 0);

  QSResyncPlan again = plan(grown);
  EXPECT_EQ(again.unownedConflicts, p.unownedConflicts);
  QSResyncReport overwritten = applyResync(again, QSResyncPolicy::overwriteConflicts);
  EXPECT_EQ(overwritten.overwrittenUnowned, p.unownedConflicts);
  EXPECT_NE(readFile(at("Resources/Views/contact.leaf")), "my contact view");
  EXPECT_TRUE(plan(grown).unownedConflicts.empty());
}

TEST_F(SiteResyncTest, AddingTheFirstFormIsAStructuralChange) {
  exportProject(twoPages_);
  QSPagesProject withForm = twoPages_;
  withForm.pages[1].elements = decode(document({page("/", {form()}, true)})).pages[0].elements;
  QSResyncPlan p = plan(withForm);
  EXPECT_TRUE(p.structuralChangeNeeded);
  QSResyncReport report = applyResync(p, QSResyncPolicy::keepConflicts);
  EXPECT_TRUE(report.structuralChangeNeeded);
  EXPECT_TRUE(fileExists(at("Sources/App/Controllers/FormController.swift")));
  EXPECT_EQ(readFile(at("Package.swift")).find("fluent"), std::string::npos);
  EXPECT_TRUE(QSSyncManifest::read(folder_.path())->hadForms);
  EXPECT_FALSE(plan(withForm).structuralChangeNeeded);
}

TEST_F(SiteResyncTest, ManifestEntriesOutsideTheProjectAreRefused) {
  testing::TemporaryFolder outside;
  writeFileAtomically(outside / "victim.txt", "keep me");
  exportProject(twoPages_);
  fs::create_directory_symlink(outside.path(), at("Public/linked"));
  auto manifest = *QSSyncManifest::read(folder_.path());
  manifest.ownedFiles[(outside / "victim.txt").string()] = "00";
  manifest.ownedFiles["../" + outside.path().filename().string() + "/victim.txt"] = "00";
  manifest.ownedFiles["Public/linked/victim.txt"] = "00";
  manifest.ownedFiles["Public/./x"] = "00";
  QSSyncManifest::write(folder_.path(), manifest);

  QSResyncPlan p = plan(twoPages_);
  EXPECT_EQ(p.refused.size(), 4u);
  EXPECT_TRUE(p.prunes.empty());
  EXPECT_TRUE(p.conflicts.empty());
  QSResyncReport report = applyResync(p, QSResyncPolicy::overwriteConflicts);
  EXPECT_EQ(report.refused, p.refused);
  EXPECT_EQ(readFile(outside / "victim.txt"), "keep me");
  EXPECT_EQ(QSSyncManifest::read(folder_.path())->ownedFiles.count("Public/linked/victim.txt"), 0u);
}

// Conflicts decided one by one; a cancel at any point of the apply, however far the writing
// aside had come, leaves every byte and folder as it was.
TEST_F(SiteResyncTest, PerFileChoicesAndCancelledApplies) {
  exportProject(twoPages_);
  writeFileAtomically(at("Resources/Views/about.leaf"), "my about");
  writeFileAtomically(at("Resources/Views/index.leaf"), "my home");
  QSPagesProject grown = twoPages_;
  grown.pages.push_back(decode(document({page("/blog/first", {text("post")})})).pages[0]);
  removeFile(at(".gitignore"));
  QSResyncPlan p = plan(grown);
  ASSERT_EQ(p.conflicts, (std::vector<std::string>{"Resources/Views/about.leaf", "Resources/Views/index.leaf"}));

  auto before = qs::testing::treeSnapshot(folder_.path());
  std::size_t total = 0;
  for (std::size_t stopAt = 0;; ++stopAt) {
    QSResyncApplyOptions cancelling;
    cancelling.progress = [&](std::size_t done, std::size_t all) {
      total = all;
      return done < stopAt;
    };
    QSResyncReport cancelled = applyResync(p, QSResyncPolicy::overwriteConflicts, cancelling);
    ASSERT_TRUE(cancelled.cancelled);
    ASSERT_TRUE(cancelled.updated.empty());
    ASSERT_EQ(qs::testing::treeSnapshot(folder_.path()), before) << "cancelled after " << stopAt << " files";
    if (stopAt == total) break;
  }
  EXPECT_GT(total, 5u);

  QSResyncApplyOptions chosen;
  chosen.choices = {{"Resources/Views/about.leaf", QSResyncPolicy::keepConflicts}};
  QSResyncReport report = applyResync(p, QSResyncPolicy::overwriteConflicts, chosen);
  EXPECT_FALSE(report.cancelled);
  EXPECT_EQ(report.skippedConflicts, (std::vector<std::string>{"Resources/Views/about.leaf"}));
  EXPECT_EQ(report.overwrittenConflicts, (std::vector<std::string>{"Resources/Views/index.leaf"}));
  EXPECT_EQ(readFile(at("Resources/Views/about.leaf")), "my about");
  EXPECT_NE(readFile(at("Resources/Views/index.leaf")), "my home");
  EXPECT_TRUE(fileExists(at("Resources/Views/blog/first.leaf")));
  EXPECT_EQ(report.scaffoldAdded, (std::vector<std::string>{".gitignore"}));
  // Nothing written aside is left behind.
  for (const auto& [path, content] : qs::testing::treeSnapshot(folder_.path()))
    EXPECT_EQ(path.find(".tmp-"), std::string::npos) << path;
}

}  // namespace
}  // namespace qs
