// Colours, inline styles, responsive rules and the site stylesheet.
#include "app/site/export_styles.h"
#include "app/site/site_documents.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace QSSiteColors;
using namespace sitetest;

TEST(ExportStylesTest, Colours) {
  EXPECT_EQ(hslToHex(*hexToHSL(" #abc ")), "#AABBCC");
  EXPECT_EQ(autoDarkVariant("#11223380", QSColorRole::other).substr(7), "80");
  for (const char* notHex : {"red", "#12345", "#12345G"}) EXPECT_FALSE(hexToHSL(notHex)) << notHex;
  EXPECT_EQ(themed("red", QSColorRole::other, true), "light-dark(red, red)");

  EXPECT_EQ(autoDarkVariant("#666666", QSColorRole::background), "#666666");  // lightness 0.40
  EXPECT_NEAR(hexToHSL(autoDarkVariant("#E6E6E6", QSColorRole::background))->l, 0.10, 0.005);
  EXPECT_EQ(autoDarkVariant("#000000", QSColorRole::foreground), "#EBEBEB");
  EXPECT_EQ(rgba("#FF8000", 0.5), "rgba(255,128,0,0.5)");
}

// The declarations that can go wrong: font fallbacks, rounding, gradient stops sorted by their
// position, widths in their units, and the theme's variables in dark mode.
TEST(ExportStylesTest, InlineStyle) {
  json e = element("text", {{"content", "x"}});
  e["style"].update({{"fontTokenID", "Serif"}, {"fontSize", 18.9}, {"fontWeight", "bold"},
                     {"textDecoration", "strikethrough"}, {"backgroundColor", {{"hex", "#f8f8f7"}}},
                     {"textColor", {{"hex", "#111111"}}}, {"borderWidth", 2}, {"borderColor", {{"hex", "#EEEEEE"}}},
                     {"backgroundGradient", {{"type", "linear"}, {"angle", 45.7}, {"stops", {
                         {{"color", {{"hex", "#B"}}}, {"position", 0.5}}, {{"color", {{"hex", "#A"}}}, {"position", 0.25}},
                         {{"color", {{"hex", "#C"}}}, {"position", 0.5}}}}}}});
  e["layout"]["width"] = {{"type", "percent"}, {"value", 50.9}};
  e["layout"]["maxWidth"] = {{"type", "viewport"}, {"value", 80}};
  json doc = document({page("/", {e}, true)});
  doc["globalStyles"]["fontTokens"] = {{{"name", "Serif"}, {"fontFamily", "Lora"}, {"source", "bundled"}}};
  QSPagesProject project = decode(doc);
  std::string light = QSExportStyles::inlineStyle(project.pages[0].elements[0], project.globalStyles);
  for (const char* part : {"font-family:'Lora', Georgia, serif;", "font-size:18px;", "font-weight:700;",
                           "text-decoration:line-through;", "background:linear-gradient(45deg, #A 25%, #B 50%, #C 50%);",
                           "width:50%;max-width:80vw;margin-inline:auto"})
    EXPECT_TRUE(has(light, part)) << part << " in " << light;

  project.globalStyles.autoDarkMode = true;
  project.pages[0].elements[0].style.backgroundGradient.reset();
  std::string dark = QSExportStyles::inlineStyle(project.pages[0].elements[0], project.globalStyles);
  EXPECT_TRUE(has(dark, "background:var(--brp-bg2);color:light-dark(#111111, #EBEBEB);border:2px solid var(--brp-border)"));
}

TEST(ExportStylesTest, ResponsiveRulesPerBreakpoint) {
  json tabletOnly = element("text", {{"content", "x"}});
  tabletOnly["responsiveOverrides"] = {{"tablet", {{"style", {{"fontSize", 14.6}, {"opacity", 0.5}}}}}};
  json both = element("text", {{"content", "y"}});
  both["responsiveOverrides"] = {{"tablet", {{"layout", {{"gap", 4}}}}},
                                 {"mobile", {{"layout", {{"display", "flex"}, {"flexDirection", "row-reverse"},
                                                         {"width", {{"type", "fill"}}}}}}}};
  json nothing = element("text", {{"content", "z"}});
  nothing["responsiveOverrides"] = json::object();
  QSPagesProject project = decode(document({page("/", {element("container", nullptr, {tabletOnly, nothing}), both}, true)}));
  auto elements = QSExportStyles::collectResponsiveElements(project);
  ASSERT_EQ(elements.size(), 3u);
  std::string a = "." + QSExportStyles::responsiveClass(*elements[0]), b = "." + QSExportStyles::responsiveClass(*elements[2]);
  std::string css = QSExportStyles::generateResponsiveCSS(elements);
  std::string tablet = css.substr(0, css.find("/* Per-element responsive: mobile */")), mobile = css.substr(tablet.size());
  EXPECT_TRUE(has(tablet, "@media (max-width: 768px) {\n  " + a + " { font-size:14px !important; opacity:0.50 !important; }"));
  EXPECT_TRUE(has(tablet, b + " { gap:4px !important; }"));
  EXPECT_TRUE(has(mobile, "@media (max-width: 480px) {\n  " + b + " { display:flex !important;"));
  EXPECT_FALSE(has(mobile, a));
  EXPECT_EQ(QSExportStyles::generateResponsiveCSS({elements[1]}), "");
}

// Dark mode without the toggle (this once looped): one copy, in the media query, prefixed ":root".
TEST(ExportStylesTest, DarkModeWithoutTheToggle) {
  QSPagesProject project = fixture("minimal.brp");
  project.globalStyles.autoDarkMode = true;
  std::string css = QSExportStyles::generateCSS(project);
  EXPECT_TRUE(has(css, "@media (prefers-color-scheme: dark) {\n  :root { --brp-text: #ededed;"));
  EXPECT_FALSE(has(css, "data-theme"));
  EXPECT_TRUE(has(css, "  --brp-btn-ink: #ffffff;\n"));  // the default violet stays dark enough for white text
}

// The declarations of the first rule whose selector is `selector` after `from` in `css`.
std::string ruleAfter(const std::string& css, std::string_view from, const std::string& selector) {
  auto start = css.find(std::string(from));
  auto at = css.find("\n  " + selector + " {", start == std::string::npos ? 0 : start);
  if (start == std::string::npos || at == std::string::npos) return "";
  return css.substr(at, css.find('}', at) - at);
}

// What screenshots of the first exports showed: rows pushed off a phone's screen, a menu over the brand
// name. Without dark mode, fonts or the theme toggle, the stylesheet has none of their rules.
TEST(ExportStylesTest, LayoutsThatHoldOnPhones) {
  std::string css = QSExportStyles::generateCSS(fixture("minimal.brp"));
  for (const char* absent : {"light-dark(", "prefers-color-scheme: dark", "@font-face"})
    EXPECT_FALSE(has(css, absent)) << absent;
  std::string rows = ruleAfter(css, "/* Responsive: mobile */", "[style*=\"flex-direction:row\"]");
  for (const char* wanted : {"flex-direction: column !important", "flex-wrap: nowrap !important", "height: auto !important"})
    EXPECT_TRUE(has(rows, wanted)) << wanted;
  std::string menu = ruleAfter(css, "@media (max-width: 720px)", ".brp-nav-links");
  EXPECT_TRUE(has(menu, "top: 100%;"));
  EXPECT_FALSE(has(menu, "top: 64px"));
  EXPECT_TRUE(has(ruleAfter(css, "@media (max-width: 720px)", ".brp-nav-inner"), "height: auto; min-height: 64px;"));

  // A bundled font is served from where the export puts it; with the toggle, the dark rules follow
  // the page's theme.
  css = QSExportStyles::generateCSS(fixture("shop.brp"));
  EXPECT_TRUE(has(css, "  src: url('/fonts/Fraunces.ttf') format('truetype');\n"));
  EXPECT_TRUE(has(css, ":root[data-theme=\"dark\"] nav.brp-nav {"));
}

// Buttons take an ink readable on their background in both themes, and the design system's tints
// come from the document's brand, not a fixed violet.
TEST(ExportStylesTest, DarkModeKeepsTextOnItsBackground) {
  QSPagesProject cafe = fixture("cafe.brp");
  std::string css = QSExportStyles::generateCSS(cafe);
  EXPECT_TRUE(has(css, "  :root .brp-cta .brp-btn-primary { background: #fff; color: var(--brp-ink); }\n"));
  EXPECT_TRUE(has(css, ".brp-btn-primary { background: var(--brp-accent); color: var(--brp-btn-ink, #fff); }"));
  EXPECT_TRUE(has(css, "  --brp-btn-ink: #17151c;\n"));  // dark text on the amber brand
  const auto& hero = cafe.pages[0].elements[0];
  EXPECT_TRUE(has(QSExportStyles::inlineStyle(hero, cafe.globalStyles),
                  "background:linear-gradient(180deg, light-dark(#FFFBEB, #292100) 0%, light-dark(#FDE68A, #755E02) 100%)"));
  // A light accent takes dark ink, and its dark variant white ink; a dark one white ink in both
  // (its alpha dropped); a value that is no colour, none.
  EXPECT_EQ(QSExportStyles::pageStyle({"#FDE68A"}, true),
            "<style>:root { --brand: light-dark(#FDE68A, #755E02); --brp-btn-ink: light-dark(#17151c, #ffffff); }</style>");
  EXPECT_EQ(QSExportStyles::pageStyle({"#FDE68A"}, false), "<style>:root { --brand: #FDE68A; --brp-btn-ink: #17151c; }</style>");
  EXPECT_TRUE(has(QSExportStyles::pageStyle({"#DB2777aa"}, true), "light-dark(#DB2777, #D82474); --brp-btn-ink: #ffffff;"));
  EXPECT_EQ(QSExportStyles::pageStyle({"oops"}, false), "<style>:root { --brand: oops; }</style>");

  double amber = hexToHSL("#F59E0B")->h;
  for (const char* token : {"--brand-light", "--accent-deep"}) {
    auto at = css.find(std::string("  ") + token + ": light-dark(");
    ASSERT_NE(at, std::string::npos) << token;
    std::string light = css.substr(css.find('(', at) + 1, 7), dark = css.substr(css.find(", ", at) + 2, 7);
    EXPECT_NEAR(hexToHSL(light)->h, amber, 0.02) << token << " " << light;
    EXPECT_NEAR(hexToHSL(dark)->h, amber, 0.02) << token << " " << dark;
  }
  cafe.globalStyles.autoDarkMode = false;
  cafe.globalStyles.colorTokens.push_back({"Brand Light", {"#FFF7ED"}});
  css = QSExportStyles::generateCSS(cafe);
  EXPECT_TRUE(has(css, "  --brand-light: #FFF7ED;\n"));
  std::string deep = css.substr(css.find("  --accent-deep: ") + 17, 7);
  EXPECT_GE(*contrastRatio(deep, "#FFF7ED"), 4.5) << deep;
}

}  // namespace
}  // namespace qs
