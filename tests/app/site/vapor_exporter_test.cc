// The exported project: file set, generated Swift as text, views, and hostile documents.
#include "app/site/export_styles.h"
#include "app/site/site_documents.h"
#include "app/site/vapor_exporter.h"
#include "app/site/vapor_sources.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace sitetest;

const std::string& content(const ExportedVaporProject& exported, const std::string& path) {
  const ExportedFile* file = findFile(exported, path);
  EXPECT_NE(file, nullptr) << path;
  static const std::string none;
  return file ? file->content : none;
}

// Every "#" of a generated view is a Leaf tag the exporter meant, Leaf's "\#" escape, or part
// of a numeric character reference; anything else would be a document text reaching Leaf.
void expectOnlyOwnLeafTags(const std::string& view, const std::string& path) {
  static const std::vector<std::string> kTags{"#extend(\"base\"):", "#export(\"", "#endexport", "#endextend",
                                              "#import(\"", "#if(formSuccess):", "#endif", "#(code)", "#(reason)"};
  for (std::size_t at = view.find('#'); at != std::string::npos; at = view.find('#', at + 1)) {
    bool reference = at > 0 && view[at - 1] == '&' && at + 1 < view.size() && std::isdigit(view[at + 1]);
    bool escaped = at > 0 && view[at - 1] == '\\';
    bool tag = false;
    for (const auto& t : kTags) tag = tag || view.compare(at, t.size(), t) == 0;
    EXPECT_TRUE(reference || escaped || tag) << path << ": " << view.substr(at > 20 ? at - 20 : 0, 60);
  }
}

TEST(VaporExporterTest, DocumentWithoutForms) {
  ExportedVaporProject exported = exportWithoutFonts(fixture("minimal.brp"), "mini");
  EXPECT_FALSE(exported.hasForms);
  std::vector<std::string> paths;
  for (const auto& file : exported.files) paths.push_back(file.relativePath);
  EXPECT_EQ(paths, (std::vector<std::string>{
                                 "Package.swift", ".gitignore", "Sources/App/entrypoint.swift",
                                 "Sources/App/configure.swift", "Sources/App/routes.swift",
                                 "Sources/App/Controllers/PageController.swift",
                                 "Sources/App/Middleware/ErrorPageMiddleware.swift", "Resources/Views/base.leaf",
                                 "Resources/Views/index.leaf", "Resources/Views/404.leaf", "Resources/Views/500.leaf",
                                 "Resources/Views/error.leaf", "Public/css/.gitkeep"}));
  EXPECT_TRUE(has(content(exported, "Package.swift"), "    name: \"mini\",\n"));
  // Error pages must come before file serving to catch its not-found.
  EXPECT_TRUE(has(content(exported, "Sources/App/configure.swift"),
                  "    app.middleware.use(ErrorPageMiddleware())\n    app.middleware.use(FileMiddleware("));
  EXPECT_TRUE(has(content(exported, "Resources/Views/error.leaf"), "Error #(code)</p>"));
  const std::string& pages = content(exported, "Sources/App/Controllers/PageController.swift");
  EXPECT_TRUE(pages.starts_with(QSVaporSources::designHeader));
  EXPECT_TRUE(content(exported, ".gitignore").ends_with(".env.bak.*\n"));
}

// The export logs its start and end.
TEST(VaporExporterTest, DocumentWithFormsNestedPagesAndAssets) {
  std::vector<std::string> lines;
  ExportedVaporProject exported = QSVaporExporter(noFonts(), [&](const std::string& line) { lines.push_back(line); })
                                      .exportProject(fixture("shop.brp"), "shop");
  EXPECT_EQ(lines, (std::vector<std::string>{"Vapor export started: 6 pages, forms: true",
                                             "Vapor export complete: " + std::to_string(exported.files.size()) + " files"}));
  EXPECT_TRUE(exported.hasForms);
  EXPECT_TRUE(has(content(exported, "Package.swift"), "fluent-postgres-driver.git"));
  const std::string& configure = content(exported, "Sources/App/configure.swift");
  EXPECT_TRUE(has(configure, "app.migrations.add(CreateFormSubmission())"));
  EXPECT_TRUE(has(content(exported, "Sources/App/routes.swift"), "register(collection: FormController())"));
  EXPECT_TRUE(findFile(exported, "Sources/App/Controllers/FormController.swift"));

  // The document's own 404 page replaces the generated one.
  EXPECT_TRUE(has(content(exported, "Resources/Views/404.leaf"), "Nothing here"));
  EXPECT_EQ(content(exported, "Public/images/0A11CE00-0000-4000-8000-000000000001.png"), "\x89PNG\r\n\x1a\nfixture");
  EXPECT_FALSE(findFile(exported, "Public/images/0A11CE00-0000-4000-8000-000000000002.jpg"));
  const std::string& contact = content(exported, "Resources/Views/contact.leaf");
  EXPECT_TRUE(has(contact, "<form method=\"post\" action=\"/forms/contact\""));
  EXPECT_TRUE(has(contact, "Thank you! Your submission has been received.</div>#endif"));
  for (const auto& file : exported.files)
    if (file.relativePath.ends_with(".leaf")) expectOnlyOwnLeafTags(file.content, file.relativePath);

  ExportedVaporProject again = exportWithoutFonts(fixture("shop.brp"), "shop");
  ASSERT_EQ(again.files.size(), exported.files.size());
  for (std::size_t i = 0; i < again.files.size(); ++i) EXPECT_EQ(again.files[i].content, exported.files[i].content);
}

TEST(VaporExporterTest, RenderedElements) {
  QSPagesProject shop = fixture("shop.brp");
  const std::string home = content(exportWithoutFonts(shop, "shop"), "Resources/Views/index.leaf");
  std::string sectionClass = QSExportStyles::responsiveClass(shop.pages[0].elements[1]);
  EXPECT_TRUE(has(home, "<img src=\"/images/0A11CE00-0000-4000-8000-000000000001.png\" alt=\"A &quot;photo"));
  EXPECT_TRUE(has(home, "<section class=\"" + sectionClass + "\" style=\"display:flex;flex-direction:row;"));
  EXPECT_TRUE(has(home, "<p style=\"font-size:15px;padding:8px 32px;"));  // no overrides, no class
  EXPECT_TRUE(has(home, "#export(\"pageStyle\"):<style>:root { --brand: light-dark(\\#DB2777, \\#D82474);"));

  // A form in the navbar alone makes the project one with forms.
  QSPagesProject doc = decode(document({page("/", {text("x")}, true)}));
  doc.globalNavbar = decode(document({page("/", {form()}, true)})).pages[0].elements[0];
  EXPECT_TRUE(exportWithoutFonts(doc).hasForms);
}

TEST(VaporExporterTest, HostileDocumentStaysInsideAndInert) {
  ExportedVaporProject exported = exportWithoutFonts(fixture("hostile.brp"), "Evil\", path: \"/etc");
  for (const auto& file : exported.files) {
    EXPECT_EQ(file.relativePath.find(".."), std::string::npos) << file.relativePath;
    EXPECT_NE(file.relativePath.front(), '/');
    if (file.relativePath.ends_with(".leaf")) expectOnlyOwnLeafTags(file.content, file.relativePath);
  }
  EXPECT_TRUE(findFile(exported, "Resources/Views/bashrc.leaf"));  // a visible file Leaf renders
  EXPECT_TRUE(findFile(exported, "Resources/Views/page-base.leaf"));  // the layout is not replaced
  EXPECT_TRUE(has(content(exported, "Package.swift"), "    name: \"Evil\\\", path: \\\"/etc\",\n"));

  const std::string& pages = content(exported, "Sources/App/Controllers/PageController.swift");
  EXPECT_TRUE(has(pages, "routes.get(\".bashrc\", use: self.bashrc)"));
  EXPECT_NE(pages.find("routes.get(\"a\", \"b\", \"\\\"quote\\\"\", \"(x)\", use: self.a_b_quote_x)"), std::string::npos);
  const std::string& forms = content(exported, "Sources/App/Controllers/FormController.swift");
  EXPECT_NE(forms.find("if let value = data.Name_evil { fields[\"Name\\\"); evil(\\\"\"] = value }"), std::string::npos);
  EXPECT_TRUE(has(forms, "        var class_: String?\n"));

  const std::string& home = content(exported, "Resources/Views/index.leaf");
  EXPECT_TRUE(has(home, "&#35;(secret) and &#35;extend(&quot;x&quot;)"));
  EXPECT_TRUE(has(home, "#export(\"title\"):&#35;(title)#endexport"));
  EXPECT_EQ(content(exported, "Resources/Views/base.leaf").find("</style><script>x()"), std::string::npos);
}

TEST(VaporExporterTest, FontsComeFromTheInstalledFolders) {
  testing::TemporaryFolder fonts;
  testing::writeTextFile(fonts / "truetype/inter-vf/Inter.var.ttf", "inter variable");
  testing::writeTextFile(fonts / "truetype/inter/Inter-Regular.ttf", "inter regular");
  testing::writeTextFile(fonts / "truetype/jb/JetBrainsMono-Bold.ttf", "not the regular one");
  QSFontLibrary library({fonts.path(), fonts / "missing"});
  ExportedVaporProject exported = QSVaporExporter(library).exportProject(fixture("shop.brp"), "shop");
  EXPECT_EQ(content(exported, "Public/fonts/Inter.ttf"), "inter regular");
  EXPECT_FALSE(findFile(exported, "Public/fonts/JetBrainsMono.ttf"));
  EXPECT_FALSE(findFile(exported, "Public/fonts/Fraunces.ttf"));
}

}  // namespace
}  // namespace qs
