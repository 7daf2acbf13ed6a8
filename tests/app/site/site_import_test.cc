// Importing a document as a new project folder, and its static preview.
#include "app/site/site_documents.h"
#include "app/site/site_error.h"
#include "app/site/site_import.h"
#include "app/site/site_preview.h"
#include "app/site/sync_manifest.h"
#include "core/platform/files.h"
#include "core/platform/system_error.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace sitetest;

TEST(SiteImportTest, ImportWritesTheProjectAndItsManifestOrNothing) {
  testing::TemporaryFolder projects;
  QSSiteImportRequest request{fixturePath("shop.brp"), "  \t", projects / "Quayside", {"Shop", "shop-2"}};
  QSSiteImportResult result = importSiteDocument(request, noFonts());
  EXPECT_EQ(result.name, "shop-3");
  EXPECT_TRUE(fileExists(result.folder / "Resources/Views/docs/intro.leaf"));
  auto manifest = QSSyncManifest::read(result.folder);
  ASSERT_TRUE(manifest);
  EXPECT_TRUE(manifest->hadForms);
  EXPECT_EQ(QSSyncManifest::bookmarkedPath(*manifest->sourceBrpBookmark), fixturePath("shop.brp"));
  EXPECT_EQ(manifest->ownedFiles, QSSyncManifest::ownedBaseline(result.exported));
  EXPECT_EQ(manifest->ownedFiles.count("Package.swift"), 0u);

  // Names: trimmed and made safe, from the document when none is typed, unique ignoring case.
  EXPECT_EQ(importProjectName(" \tMy Shop\t", "/x/doc.brp", {}), "my-shop");
  EXPECT_EQ(importProjectName("", "/x/Summer Sale.brp", {"summer-sale"}), "summer-sale-2");
  EXPECT_EQ(importProjectName("", "/x/Summer Sale.brp", {"SUMMER-SALE", "summer-sale-2"}), "summer-sale-3");

  request.name = "Shop 3";
  EXPECT_EQ(testing::thrownMessage<QSSiteException>([&] { importSiteDocument(request, noFonts()); }),
            "A folder named \u201cshop-3\u201d already exists in " + (projects / "Quayside").string() + ".");

  testing::writeTextFile(projects / "broken.brp", "{\"pages\": []}");
  request = {projects / "broken.brp", "", projects / "Quayside", {}};
  EXPECT_THROW(importSiteDocument(request, noFonts()), QSSiteException);
  EXPECT_FALSE(fileExists(projects / "Quayside/broken"));

  // A document the import cannot write leaves no half-written folder behind to block the next try:
  // "/x" writes the file x.leaf where "/x.leaf/y" needs a folder.
  json clash = document({page("/", {text("a")}, true), page("/x", {text("b")}), page("/x.leaf/y", {text("c")})});
  testing::writeTextFile(projects / "clash.brp", clash.dump());
  EXPECT_THROW(importSiteDocument({projects / "clash.brp", "", projects / "Quayside", {}}, noFonts()), QSSystemError);
  EXPECT_FALSE(fileExists(projects / "Quayside/clash"));
}

// Export into a folder: refused when it holds anything, unless forced.
TEST(SiteImportTest, ExportIntoAFolder) {
  testing::TemporaryFolder home;
  QSSiteExportRequest request{fixturePath("minimal.brp"), home / "site", false};
  exportSiteDocument(request, noFonts());
  writeFileAtomically(home / "site/Sources/App/routes.swift", "// mine");
  auto refused = [&](std::string_view kind) {
    try {
      exportSiteDocument(request, noFonts());
    } catch (const QSSiteException& e) {
      return e.error().caseName() == kind;
    }
    return false;
  };
  EXPECT_TRUE(refused("alreadyExported"));
  removeFile(home / "site/.quayside/brindle-sync.json");
  EXPECT_TRUE(refused("folderNotEmpty"));
  EXPECT_EQ(readFile(home / "site/Sources/App/routes.swift"), "// mine");
  request.force = true;
  exportSiteDocument(request, noFonts());
  EXPECT_NE(readFile(home / "site/Sources/App/routes.swift"), "// mine");
  EXPECT_TRUE(QSSyncManifest::read(home / "site"));

  // A folder the export made is removed again when writing fails.
  testing::writeTextFile(home / "clash.brp",
                         document({page("/", {text("a")}, true), page("/x", {text("b")}), page("/x.leaf/y", {text("c")})}).dump());
  EXPECT_THROW(exportSiteDocument({home / "clash.brp", home / "new", false}, noFonts()), QSSystemError);
  EXPECT_FALSE(fileExists(home / "new"));
}

TEST(SiteImportTest, PreviewFlattensTheViews) {
  ExportedVaporProject exported = exportWithoutFonts(fixture("shop.brp"), "shop");
  auto source = QSSitePreview::fromExport(exported);
  std::string intro = QSSitePreview::flattenView(source, "docs/intro");
  for (std::string_view leaf : {"#extend", "#export", "#import", "#if(", "#endif", "\\#"})
    EXPECT_EQ(intro.find(leaf), std::string::npos) << leaf;
  EXPECT_TRUE(has(intro, "<title>Intro</title>"));
  EXPECT_TRUE(has(intro, "<a href=\"../index.html\" class=\"brp-brand\">"));
  EXPECT_TRUE(has(intro, "<a href=\"../contact.html\">contact</a>"));
  EXPECT_TRUE(has(QSSitePreview::flattenView(source, "error"), "Error 400</p>"));
  EXPECT_TRUE(has(QSSitePreview::flattenView(source, "index"),
                  "src=\"images/0A11CE00-0000-4000-8000-000000000001.png\""));

  testing::TemporaryFolder out;
  writeExportedFiles(out.path(), QSSitePreview::flatten(source));
  EXPECT_TRUE(fileExists(out / "shop/mug.html"));
  EXPECT_TRUE(fileExists(out / "images/0A11CE00-0000-4000-8000-000000000001.png"));
  EXPECT_EQ(QSSitePreview::fromFolder(out.path()).views.size(), 0u);

  // A project folder previews the same as the export it holds.
  testing::TemporaryFolder project;
  writeExportedFiles(project.path(), exported.files, true);
  auto fromDisk = QSSitePreview::fromFolder(project.path());
  EXPECT_EQ(fromDisk.views, source.views);
  EXPECT_EQ(fromDisk.publicFiles.size(), source.publicFiles.size());
  EXPECT_EQ(QSSitePreview::flattenView(fromDisk, "shop/mug"), QSSitePreview::flattenView(source, "shop/mug"));
}

}  // namespace
}  // namespace qs
