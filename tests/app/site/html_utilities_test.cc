// Links, names and escaping shared by the exporter and the renderers.
#include "app/site/html_utilities.h"
#include "app/site/vapor_exporter.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace QSHTMLUtilities;

QSPagesPage pageAt(const std::string& slug, bool home = false) {
  QSPagesPage page;
  page.slug = slug;
  page.isHomepage = home;
  return page;
}

TEST(HTMLUtilitiesTest, StaticPageLinksBecomeRoutes) {
  QSLinkResolver links({pageAt("/", true), pageAt("/docs/intro"), pageAt("/pricing")});
  EXPECT_EQ(links.href("docs/intro.html#start"), "/docs/intro&#35;start");
  EXPECT_EQ(links.href("intro.html?x=1&y=2"), "/docs/intro?x=1&amp;y=2");  // by its last component
  EXPECT_EQ(links.href("index.html"), "/");
  EXPECT_EQ(links.href("missing/page.html"), "/missing/page");  // no page: the plain route
  EXPECT_EQ(links.href("https://example.com/a.html"), "https://example.com/a.html");
  EXPECT_EQ(links.href(""), "&#35;");
  EXPECT_EQ(links.href("#top"), "&#35;top");
  EXPECT_EQ(links.href("/abs\"<x>"), "/abs&quot;&lt;x&gt;");
  EXPECT_EQ(links.href("notes.txt"), "notes.txt");
  EXPECT_EQ(QSLinkResolver().href("about.html"), "/about");

  EXPECT_EQ(links.rewriteLinks("<a href=\"pricing.html\">#1</a> <a href=\"x"), "<a href=\"/pricing\">&#35;1</a> <a href=\"x");
  EXPECT_EQ(links.inlineFormat("See [the **docs**](intro.html) or `qs <help>` and a ` lone tick"),
            "See <a href=\"/docs/intro\">the **docs**</a> or <code class=\"brp-code\">qs &lt;help&gt;</code> "
            "and a ` lone tick");
}

TEST(HTMLUtilitiesTest, SlugsReduceToSafeComponents) {
  EXPECT_EQ(slugComponents("/../../.bashrc"), (std::vector<std::string>{".bashrc"}));
  EXPECT_EQ(slugComponents("/a\\..\\b//./c/"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(slugComponents(std::string("/x\0y\n", 5)), (std::vector<std::string>{"xy"}));
  EXPECT_TRUE(slugComponents("/../").empty());
  EXPECT_EQ(normalizedSlug("docs//intro/.."), "/docs/intro");
  EXPECT_EQ(normalizedSlug(".."), "/");
}

TEST(HTMLUtilitiesTest, NamesForSwiftSourceAndFolders) {
  EXPECT_EQ(safeMethodName("\"); exit(0); //"), "_exit0___");
  EXPECT_EQ(safeMethodName("!!!"), "page");
  EXPECT_EQ(safeMethodName("class"), "class_");
  EXPECT_EQ(safeFieldName("E-mail address"), "E_mail_address");
  EXPECT_EQ(safeFieldName("1st choice"), "field_1st_choice");
  EXPECT_EQ(safeFieldName("?"), "field");
  std::vector<QSPagesFormField> fields{{"E-mail", {}, "", false}, {"E mail", {}, "", false}, {"", {}, "", false}};
  EXPECT_EQ(formFieldNames(fields), (std::vector<std::string>{"E_mail", "E_mail_2", "field"}));

  EXPECT_EQ(swiftStringLiteral("a\"b\\c\\(d)\n\x01"), "\"a\\\"b\\\\c\\\\(d)\\n\\u{1}\"");
  EXPECT_EQ(sanitizedProjectName("--Caf\u00e9--"), "caf");
  EXPECT_EQ(sanitizedProjectName("!!!"), "site");
}

TEST(HTMLUtilitiesTest, EscapingShowsLeafTagsLiterally) {
  EXPECT_EQ(escapeHTML("<a href=\"x\">&#(secret)</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&#35;(secret)&lt;/a&gt;");
  // A single quote, which would end an attribute quoted that way, and "#" at either end.
  EXPECT_EQ(escapeHTML("#O'Brien#"), "&#35;O&#39;Brien&#35;");
  EXPECT_EQ(leafSafeMarkup("<p style=\"color:#FFF\">&#9733; &#35;x #if(formSuccess):ok#endif #if(x):</p>"),
            "<p style=\"color:&#35;FFF\">&#9733; &#35;x #if(formSuccess):ok#endif &#35;if(x):</p>");
  EXPECT_EQ(leafSafeMarkup(leafSafeMarkup("#a")), "&#35;a");
  EXPECT_EQ(cssValue("red;}</style>'\\x"), "red/stylex");
}

}  // namespace
}  // namespace qs
