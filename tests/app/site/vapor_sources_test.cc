// The generated Swift sources and views checked as text.
#include "app/site/page_views.h"
#include "app/site/site_documents.h"
#include "app/site/vapor_sources.h"
#include "core/platform/utf8.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace sitetest;

TEST(VaporSourcesTest, PageController) {
  QSPagesProject doc = decode(document({page("/", {text("a")}, true), page("/about/our-team", {text("b")}),
                                        page("/2024", {text("c")}), page("/index", {text("d")}), page("//", {text("e")}),
                                        page("/oops", {text("f")})}));
  doc.pages[5].errorRole = QSPagesErrorPageRole::serverError;
  // Names that would clash or start with a digit are made unique; the error page gets no route.
  std::string controller = QSVaporSources::pageController(doc.pages);
  for (const char* part : {"routes.get(use: self.index)\n", "routes.get(\"about\", \"our-team\", use: self.about_our_team)\n",
                           "routes.get(\"2024\", use: self.page_2024)\n", "routes.get(\"index\", use: self.index_2)\n",
                           "func index_2(req: Request) async throws -> View {\n        try await req.view.render(\"page-index\")"})
    EXPECT_TRUE(has(controller, part)) << part;
  EXPECT_FALSE(has(controller, "oops") || has(controller, "render(\"page-\")"));
  EXPECT_EQ(QSPageViews::leafName(doc.pages[4]), "page-");
  EXPECT_EQ(QSPageViews::leafName(doc.pages[5]), "500");
}

TEST(VaporSourcesTest, FormControllerPerPage) {
  QSPagesProject doc = decode(document({page("/", {form()}, true), page("/help/contact", {element("container", nullptr, {form()})}),
                                        page("/plain", {text("x")})}));
  std::string controller = QSVaporSources::formController(doc);
  for (const char* line : {"forms.post(\"index\", use: self.submit_index)\n",
                           "struct FormData_help_contact: Content {\n        var Email: String?\n",
                           "pageSlug: \"/help/contact\",\n", "req.view.render(\"help/contact\", [\"formSuccess\": true])"})
    EXPECT_TRUE(has(controller, line)) << line;
  EXPECT_FALSE(has(controller, "plain"));
}

// A form in the global navbar or footer shows on every page, so every page gets its route.
TEST(VaporSourcesTest, FormsInGlobalSectionsPostOnEveryPage) {
  json doc = document({page("/", {text("a")}, true), page("/about", {text("b")})});
  doc["globalFooter"] = element("section", nullptr, {form()});
  QSPagesProject project = decode(doc);
  std::string controller = QSVaporSources::formController(project);
  EXPECT_TRUE(has(controller, "        forms.post(\"about\", use: self.submit_about)\n"));
  QSHTMLUtilities::QSLinkResolver links(project.pages);
  EXPECT_TRUE(has(QSPageViews::pageLeaf(project.pages[1], "about", project, true, links), "action=\"/forms/about\""));
}

// View names are file names: no hidden files, no component longer than a file system takes, and
// pages whose names come out equal keep a view each.
TEST(VaporSourcesTest, ViewNamesFitTheFileSystem) {
  std::string longPart(300, 'a'), accented;
  for (int i = 0; i < 150; ++i) accented += "\u00e9";  // 300 bytes of two-byte characters
  QSPagesProject doc = decode(document({page("/", {text("a")}, true), page("/.well-known/x", {text("b")}),
                                        page("/..hidden", {text("c")}), page("/" + longPart, {text("d")}),
                                        page("/" + longPart + "b", {text("e")}), page("/" + accented, {text("f")})}));
  auto names = QSPageViews::leafNames(doc.pages);
  EXPECT_EQ(names[1], "well-known/x");
  EXPECT_EQ(names[2], "hidden");
  EXPECT_EQ(names[3], std::string(240, 'a'));
  EXPECT_EQ(names[4], std::string(240, 'a') + "-2");
  EXPECT_EQ(names[5].size(), 240u);
  EXPECT_TRUE(isValidUTF8(names[5]));
  std::string controller = QSVaporSources::pageController(doc.pages);
  EXPECT_TRUE(has(controller, "        try await req.view.render(\"" + std::string(240, 'a') + "-2\")\n"));
  EXPECT_TRUE(has(controller, "routes.get(\".well-known\", \"x\", use: self.well_known_x)"));
}

TEST(VaporSourcesTest, ViewsAroundThePages) {
  std::string base = QSPageViews::baseLeaf(fixture("minimal.brp"), "a { color: #FFF; }", "");
  EXPECT_TRUE(has(base, "<style>\na { color: \\#FFF; }</style>\n#import(\"pageStyle\")\n"));  // "#" escaped for Leaf
  EXPECT_FALSE(has(base, "brp-theme"));
  EXPECT_TRUE(has(QSPageViews::baseLeaf(fixture("shop.brp"), "", ""), "localStorage.getItem('brp-theme')"));

  QSPagesProject shop = fixture("shop.brp");
  QSHTMLUtilities::QSLinkResolver links(shop.pages);
  std::string intro = QSPageViews::pageLeaf(shop.pages[3], "docs/intro", shop, true, links);
  EXPECT_TRUE(has(intro, "#export(\"meta\"):\n    <meta name=\"robots\" content=\"noindex\">\n#endexport\n"));
  std::string about = QSPageViews::pageLeaf(shop.pages[1], "about", shop, true, links);
  EXPECT_TRUE(has(about, "#export(\"meta\"):\n    <link rel=\"canonical\" href=\"https://shop.test/about\">\n#endexport\n"));
}

}  // namespace
}  // namespace qs
