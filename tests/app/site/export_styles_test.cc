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
  EXPECT_EQ(autoDarkVariant("red", QSColorRole::other), "red");
  EXPECT_EQ(themed("red", QSColorRole::other, true), "light-dark(red, red)");

  EXPECT_EQ(autoDarkVariant("#666666", QSColorRole::background), "#666666");  // lightness 0.40
  EXPECT_NEAR(hexToHSL(autoDarkVariant("#E6E6E6", QSColorRole::background))->l, 0.10, 0.005);
  EXPECT_EQ(autoDarkVariant("#FFFFFF", QSColorRole::foreground), "#FFFFFF");
  EXPECT_EQ(autoDarkVariant("#000000", QSColorRole::foreground), "#EBEBEB");
  EXPECT_EQ(rgba("#FF8000", 0.5), "rgba(255,128,0,0.5)");
}

TEST(ExportStylesTest, InlineStyleInOrder) {
  json e = element("text", {{"content", "x"}});
  e["style"].update({{"fontTokenID", "Serif"}, {"fontSize", 18.9}, {"fontWeight", "bold"}, {"lineHeight", 1.5},
                     {"letterSpacing", 0.3}, {"textDecoration", "strikethrough"}, {"textTransform", "uppercase"},
                     {"textAlign", "center"}, {"backgroundColor", {{"hex", "#f8f8f7"}}}, {"textColor", {{"hex", "#111111"}}},
                     {"borderWidth", 2}, {"borderColor", {{"hex", "#EEEEEE"}}}, {"opacity", 0.5}, {"overflow", "auto"},
                     {"backgroundGradient", {{"type", "linear"}, {"angle", 45.7}, {"stops", {
                         {{"color", {{"hex", "#B"}}}, {"position", 0.5}}, {{"color", {{"hex", "#A"}}}, {"position", 0.25}},
                         {{"color", {{"hex", "#C"}}}, {"position", 0.5}}}}}}});
  e["layout"]["padding"] = {{"top", 72}, {"right", 32}, {"bottom", 72}, {"left", 32}};
  e["layout"]["width"] = {{"type", "percent"}, {"value", 50.9}};
  e["layout"]["maxWidth"] = {{"type", "viewport"}, {"value", 80}};
  json doc = document({page("/", {e}, true)});
  doc["globalStyles"]["fontTokens"] = {{{"name", "Serif"}, {"fontFamily", "Lora"}, {"source", "bundled"}}};
  QSPagesProject project = decode(doc);
  const auto& element = project.pages[0].elements[0];
  EXPECT_EQ(QSExportStyles::inlineStyle(element, project.globalStyles),
            "font-family:'Lora', Georgia, serif;font-size:18px;font-weight:700;line-height:1.50;letter-spacing:0.3px;"
            "text-decoration:line-through;text-transform:uppercase;text-align:center;"
            "background:linear-gradient(45deg, #A 25%, #B 50%, #C 50%);color:#111111;border:2px solid #EEEEEE;"
            "opacity:0.50;overflow:auto;padding:72px 32px 72px 32px;width:50%;max-width:80vw;margin-inline:auto");

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
  std::string a = QSExportStyles::responsiveClass(*elements[0]), b = QSExportStyles::responsiveClass(*elements[2]);
  EXPECT_EQ(QSExportStyles::generateResponsiveCSS(elements),
            "/* Per-element responsive: tablet */\n@media (max-width: 768px) {\n"
            "  ." + a + " { font-size:14px !important; opacity:0.50 !important; }\n"
            "  ." + b + " { gap:4px !important; }\n}\n"
            "/* Per-element responsive: mobile */\n@media (max-width: 480px) {\n"
            "  ." + b + " { display:flex !important; flex-direction:row-reverse !important; width:100% !important; }\n}\n");
  EXPECT_EQ(QSExportStyles::generateResponsiveCSS({elements[0]}).find("mobile"), std::string::npos);
  EXPECT_EQ(QSExportStyles::generateResponsiveCSS({elements[1]}), "");
}

TEST(ExportStylesTest, StylesheetFollowsTheSwitches) {
  std::string css = QSExportStyles::generateCSS(fixture("minimal.brp"));
  for (const char* absent : {"light-dark(", "prefers-color-scheme: dark", "@font-face"})
    EXPECT_FALSE(has(css, absent)) << absent;

  css = QSExportStyles::generateCSS(fixture("shop.brp"));
  EXPECT_TRUE(has(css, "@font-face {\n  font-family: 'Fraunces';\n"
                       "  src: url('/fonts/Fraunces.ttf') format('truetype');\n"));
  EXPECT_TRUE(has(css, ":root[data-theme=\"dark\"] nav.brp-nav { background: rgba(15,14,19,0.45); }"));
  EXPECT_EQ(QSExportStyles::pageStyle({"#DB2777aa"}, true),
            "<style>:root { --brand: light-dark(#DB2777, #D82474); --brp-btn-ink: #ffffff; }</style>");
  EXPECT_EQ(QSExportStyles::pageStyle({"oops"}, false), "<style>:root { --brand: oops; }</style>");
}

TEST(ExportStylesTest, GlassMeshAndDarkChrome) {
  QSPagesStylesheet styles;
  EXPECT_EQ(QSExportStyles::ambientGlassOverride(styles), "");
  QSPagesPageMesh mesh{std::vector<QSPagesColor>{QSPagesColor{"#FF0000"}, QSPagesColor{"#00FF00"}}, false, 0.2, 0.4};
  EXPECT_EQ(QSExportStyles::pageMeshImage(mesh, true),
            "radial-gradient(760px 540px at 6% 0%, rgba(255,0,0,0.4), transparent 60%), "
            "radial-gradient(760px 540px at 94% 8%, rgba(0,255,0,0.4), transparent 60%)");
  styles.pageMesh = mesh;
  std::string ambient = QSExportStyles::ambientGlassOverride(styles);
  EXPECT_TRUE(has(ambient, "rgba(0,255,0,0.2), transparent 60%), #f6f7f8;"));

  // Dark mode without the toggle (this once looped): one copy, in the media query, prefixed ":root".
  QSPagesProject project = fixture("minimal.brp");
  project.globalStyles.autoDarkMode = true;
  std::string css = QSExportStyles::generateCSS(project);
  EXPECT_TRUE(has(css, "@media (prefers-color-scheme: dark) {\n  :root { --brp-text: #ededed;"));
  EXPECT_FALSE(has(css, "data-theme"));
  EXPECT_TRUE(has(css, "  --brp-btn-ink: #ffffff;\n"));  // the default violet stays dark enough for white text
}

}  // namespace
}  // namespace qs
