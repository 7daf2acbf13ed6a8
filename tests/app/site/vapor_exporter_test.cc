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

std::vector<std::string> paths(const ExportedVaporProject& exported) {
  std::vector<std::string> out;
  for (const auto& file : exported.files) out.push_back(file.relativePath);
  return out;
}

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
  EXPECT_EQ(paths(exported), (std::vector<std::string>{
                                 "Package.swift", ".gitignore", "Sources/App/entrypoint.swift",
                                 "Sources/App/configure.swift", "Sources/App/routes.swift",
                                 "Sources/App/Controllers/PageController.swift",
                                 "Sources/App/Middleware/ErrorPageMiddleware.swift", "Resources/Views/base.leaf",
                                 "Resources/Views/index.leaf", "Resources/Views/404.leaf", "Resources/Views/500.leaf",
                                 "Resources/Views/error.leaf", "Public/css/.gitkeep"}));
  const std::string& manifest = content(exported, "Package.swift");
  EXPECT_NE(manifest.find("    name: \"mini\",\n"), std::string::npos);
  EXPECT_NE(manifest.find("                .product(name: \"Leaf\", package: \"leaf\"),\n"), std::string::npos);
  // Error pages must come before file serving to catch its not-found.
  EXPECT_NE(content(exported, "Sources/App/configure.swift")
                .find("    app.middleware.use(ErrorPageMiddleware())\n"
                      "    app.middleware.use(FileMiddleware(publicDirectory: app.directory.publicDirectory))\n"),
            std::string::npos);
  EXPECT_NE(content(exported, "Resources/Views/error.leaf").find("Error #(code)</p>"), std::string::npos);
  EXPECT_EQ(content(exported, "Sources/App/Controllers/PageController.swift").rfind(QSVaporSources::designHeader, 0), 0u);
}

TEST(VaporExporterTest, DocumentWithFormsNestedPagesAndAssets) {
  QSPagesProject shop = fixture("shop.brp");
  ExportedVaporProject exported = exportWithoutFonts(shop, "shop");
  EXPECT_TRUE(exported.hasForms);
  EXPECT_NE(content(exported, "Package.swift").find(
                "        .package(url: \"https://github.com/vapor/fluent-postgres-driver.git\", from: \"2.9.0\"),\n"),
            std::string::npos);
  const std::string& configure = content(exported, "Sources/App/configure.swift");
  EXPECT_NE(configure.find("import Fluent\nimport FluentPostgresDriver\n"), std::string::npos);
  EXPECT_NE(configure.find("        database: Environment.get(\"DB_NAME\") ?? \"quayside_site\",\n        tls: .disable\n"
                           "    )), as: .psql)\n    app.migrations.add(CreateFormSubmission())\n"),
            std::string::npos);
  EXPECT_NE(content(exported, "Sources/App/routes.swift").find("    try app.register(collection: FormController())\n"),
            std::string::npos);

  // The controllers' texts: the sources tests.
  EXPECT_NE(content(exported, "Sources/App/Controllers/PageController.swift").find("self.docs_intro"), std::string::npos);
  EXPECT_NE(content(exported, "Sources/App/Controllers/FormController.swift").find("var E_mail_2: String?"),
            std::string::npos);

  // The document's own 404 page replaces the generated one.
  EXPECT_NE(content(exported, "Resources/Views/404.leaf").find("Nothing here"), std::string::npos);
  EXPECT_EQ(content(exported, "Public/images/0A11CE00-0000-4000-8000-000000000001.png"), "\x89PNG\r\n\x1a\nfixture");
  EXPECT_FALSE(findFile(exported, "Public/images/0A11CE00-0000-4000-8000-000000000002.jpg"));

  const std::string& contact = content(exported, "Resources/Views/contact.leaf");
  EXPECT_NE(contact.find("<form method=\"post\" action=\"/forms/contact\""), std::string::npos);
  EXPECT_NE(contact.find("#if(formSuccess):<div"), std::string::npos);
  EXPECT_NE(contact.find("Thank you! Your submission has been received.</div>#endif"), std::string::npos);
  EXPECT_NE(contact.find("<option value=\"\">Select...</option>"), std::string::npos);

  for (const auto& file : exported.files)
    if (file.relativePath.ends_with(".leaf")) expectOnlyOwnLeafTags(file.content, file.relativePath);

  ExportedVaporProject again = exportWithoutFonts(fixture("shop.brp"), "shop");
  ASSERT_EQ(again.files.size(), exported.files.size());
  for (std::size_t i = 0; i < again.files.size(); ++i) EXPECT_EQ(again.files[i].content, exported.files[i].content);
}

TEST(VaporExporterTest, RenderedElements) {
  QSPagesProject shop = fixture("shop.brp");
  ExportedVaporProject exported = exportWithoutFonts(shop, "shop");
  std::string sectionClass = QSExportStyles::responsiveClass(shop.pages[0].elements[1]);
  const std::string& home = content(exported, "Resources/Views/index.leaf");
  auto has = [&](std::string_view part) { return home.find(part) != std::string::npos; };
  EXPECT_TRUE(has("<span class=\"brp-wm\">My Site</span>"));
  EXPECT_TRUE(has("<a href=\"/about\" target=\"_blank\" rel=\"noopener\" style=\"display:inline-block;"));
  EXPECT_TRUE(has("<a href=\"&#35;\" style=\"display:inline-block;background:transparent"));
  EXPECT_TRUE(has("<img src=\"/images/0A11CE00-0000-4000-8000-000000000001.png\" alt=\"A &quot;photo&quot;\""));
  EXPECT_TRUE(has(">Image</div>"));
  EXPECT_TRUE(has("<p>See <a href=\"/about&#35;team\">us</a> and <a href=\"mailto:a@b.c\">mail</a></p>"));
  EXPECT_TRUE(has("<section class=\"" + sectionClass + "\" style=\"display:flex;flex-direction:row;"));
  EXPECT_TRUE(has("<p style=\"font-size:15px;padding:8px 32px;"));  // no overrides, no class
  EXPECT_TRUE(has("<a href=\"/contact?plan=pro\" class=\"brp-btn brp-btn-primary\">Start</a>"));
  EXPECT_TRUE(has("Made with</span> Brindle Pages</span></a></div></footer>"));
  EXPECT_TRUE(has("#export(\"pageStyle\"):<style>:root { --brand: light-dark(\\#DB2777, \\#D82474);"));

  // Without forms in the project, a form posts to its own action.
  QSPagesProject doc = decode(document({page("/", {text("x")}, true)}));
  QSPagesElement f = decode(document({page("/", {form()}, true)})).pages[0].elements[0];
  doc.globalNavbar = f;  // a form in the navbar still counts as a form
  EXPECT_TRUE(exportWithoutFonts(doc).hasForms);
  doc.globalNavbar.reset();
  doc.pages[0].elements.push_back(f);
  EXPECT_NE(content(exportWithoutFonts(doc), "Resources/Views/index.leaf").find("action=\"/forms/index\""), std::string::npos);
}

TEST(VaporExporterTest, HostileDocumentStaysInsideAndInert) {
  ExportedVaporProject exported = exportWithoutFonts(fixture("hostile.brp"), "Evil\", path: \"/etc");
  for (const auto& file : exported.files) {
    EXPECT_EQ(file.relativePath.find(".."), std::string::npos) << file.relativePath;
    EXPECT_NE(file.relativePath.front(), '/');
    if (file.relativePath.ends_with(".leaf")) expectOnlyOwnLeafTags(file.content, file.relativePath);
  }
  EXPECT_TRUE(findFile(exported, "Resources/Views/.bashrc.leaf"));
  EXPECT_TRUE(findFile(exported, "Resources/Views/page-base.leaf"));  // the layout is not replaced
  EXPECT_NE(content(exported, "Package.swift").find("    name: \"Evil\\\", path: \\\"/etc\",\n"), std::string::npos);

  const std::string& pages = content(exported, "Sources/App/Controllers/PageController.swift");
  EXPECT_NE(pages.find("routes.get(\".bashrc\", use: self.bashrc)"), std::string::npos);
  EXPECT_NE(pages.find("routes.get(\"a\", \"b\", \"\\\"quote\\\"\", \"(x)\", use: self.a_b_quote_x)"), std::string::npos);
  EXPECT_NE(pages.find("routes.get(\"1st\", use: self.page_1st)"), std::string::npos);
  const std::string& forms = content(exported, "Sources/App/Controllers/FormController.swift");
  EXPECT_NE(forms.find("if let value = data.Name_evil { fields[\"Name\\\"); evil(\\\"\"] = value }"), std::string::npos);
  EXPECT_NE(forms.find("        var class_: String?\n"), std::string::npos);

  const std::string& home = content(exported, "Resources/Views/index.leaf");
  EXPECT_NE(home.find("&#35;(secret) and &#35;extend(&quot;x&quot;)"), std::string::npos);
  EXPECT_NE(home.find("#export(\"title\"):&#35;(title)#endexport"), std::string::npos);
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
