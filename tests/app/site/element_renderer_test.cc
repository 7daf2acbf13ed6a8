// The HTML of each element kind, pinned where its shape matters to the stylesheet and the user.
#include "app/site/element_renderer.h"
#include "app/site/export_styles.h"
#include "app/site/site_documents.h"
#include "core/platform/encoding.h"
#include "core/platform/utf8.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace sitetest;

class ElementRendererTest : public ::testing::Test {
protected:
  // Renders the one element of a homepage holding `e`, in a document changed by `edit`.
  std::string render(const json& e, const std::function<void(json&)>& edit = {}) {
    json doc = document({page("/", {e}, true), page("/about", json::array())});
    if (edit) edit(doc);
    project_ = decode(doc);
    links_ = QSHTMLUtilities::QSLinkResolver(project_.pages);
    QSRenderContext context{project_, links_, false, "index"};
    return renderElement(project_.pages[0].elements[0], context);
  }

  QSPagesProject project_;
  QSHTMLUtilities::QSLinkResolver links_;
};

// Document texts are escaped, "#" is neutralised for Leaf, and links go through the resolver.
TEST_F(ElementRendererTest, TextsAndLinks) {
  EXPECT_TRUE(has(render(element("heading", {{"content", "Hi <you>"}, {"level", "h3"}})), "\">Hi &lt;you&gt;</h3>\n"));
  std::string rich = render(element("richText", {{"html", "<p><a href=\"about.html\">About</a></p>"}}));
  EXPECT_TRUE(has(rich, "<div class=\"brp-prose\"><p><a href=\"/about\">About</a></p></div>"));
  EXPECT_TRUE(has(render(element("embed", {{"html", "<b onclick=\"x\">#</b>"}, {"sandboxed", true}})),
                  "<iframe srcdoc=\"&lt;b onclick=&quot;x&quot;&gt;&#35;&lt;/b&gt;\" sandbox=\"allow-scripts\" "));
  json article = {{"slug", "install"}, {"title", "Install"}, {"summary", ""},
                  {"bodyHTML", "<p><a href=\"about.html\">x</a> #1</p>"}};
  json category = {{"title", "Start"}, {"articles", {article}}};
  std::string docs = render(element("docs", {{"categories", {category}}}));
  EXPECT_TRUE(has(docs, "<a href=\"&#35;install\">Install</a>"));
  EXPECT_TRUE(has(docs, "<h2>Install</h2><p><a href=\"/about\">x</a> &#35;1</p></section>"));
}

TEST_F(ElementRendererTest, Buttons) {
  json primary = element("button", {{"label", "Buy"}, {"url", "about.html"}, {"openInNewTab", false}, {"variant", "primary"}});
  std::string button = render(primary);
  EXPECT_TRUE(button.starts_with("<a href=\"/about\" style=\"display:inline-block;") && button.ends_with("\">Buy</a>\n"));
  // The secondary button's text follows the brand's deep tone, which the dark theme lightens.
  json secondary = primary;
  secondary["kind"]["value"]["variant"] = "secondary";
  EXPECT_TRUE(has(render(secondary), "transparent);color:var(--brp-deep,&#35;4C1D95);"));
}

// A picture in a frame of fixed height fills the frame and is clipped by it.
TEST_F(ElementRendererTest, ImagesStayInTheirFrame) {
  json image = element("image", {{"externalURL", "https://x.y/a.png"}, {"alt", "A"}, {"objectFit", "cover"}});
  image["layout"]["height"] = {{"type", "fixed"}, {"value", 320}};
  EXPECT_EQ(render(image), "<div style=\"padding:8px 32px;overflow:hidden;height:320px\"><img src=\"https://x.y/a.png\" "
                           "alt=\"A\" style=\"width:100%;height:100%;object-fit:cover\"></div>\n");
}

// Text is cut between characters: an initial is a whole character, accents included.
TEST_F(ElementRendererTest, AppCardInitials) {
  for (auto [name, initial] : std::vector<std::pair<std::string, std::string>>{
           {"\u00c9coute", "\u00c9"}, {"e\u0301te", "e\u0301"}, {"\U0001F1EB\U0001F1F7 Radio", "\U0001F1EB\U0001F1F7"},
           {"\U0001F469\u200D\U0001F4BB Dev", "\U0001F469\u200D\U0001F4BB"}, {"", "?"}}) {
    json card = element("appCard", {{"appName", name}, {"tagline", ""}, {"category", ""}, {"iconSymbol", ""},
                                    {"accentColor", {{"hex", "#B45309"}}}, {"ctaLabel", ""}, {"url", ""},
                                    {"openInNewTab", false}});
    std::string html = render(card);
    EXPECT_TRUE(has(html, "font-size:22px;background:&#35;B45309\">" + initial + "</div>")) << name;
    EXPECT_TRUE(isValidUTF8(html)) << name;
  }
}

TEST_F(ElementRendererTest, Navigation) {
  json child = {{"url", "about.html"}, {"label", "Team"}, {"openInNewTab", false}, {"children", json::array()},
                {"dropdown", "list"}, {"subtitle", "Who we are"}, {"iconSymbol", "person"}, {"group", ""}};
  json parent = child;
  parent["url"] = "";
  parent["label"] = "Company";
  parent["children"] = {child};
  json nav = element("navbar", {{"links", {parent}}, {"ctaLabel", ""}, {"ctaURL", ""}, {"logoText", "Acme"}});
  std::string html = render(nav);
  EXPECT_TRUE(has(html, "<li class=\"brp-has-sub\"><span class=\"brp-subtrigger\" tabindex=\"0\">Company "));
  EXPECT_TRUE(has(html, "<ul class=\"brp-subnav\"><li><a href=\"/about\">Team</a></li></ul>"));
  for (const char* absent : {"brp-nav-cta", "brp-theme-toggle"}) EXPECT_FALSE(has(html, absent)) << absent;

  nav["kind"]["value"]["ctaLabel"] = "Join";
  nav["kind"]["value"]["ctaURL"] = "about.html";
  html = render(nav, [](json& doc) {
    doc["globalStyles"]["autoDarkMode"] = true;
    doc["globalStyles"]["showThemeToggle"] = true;
  });
  EXPECT_TRUE(has(html, "<li><a href=\"/about\" class=\"brp-nav-cta\">Join</a></li></ul><button class=\"brp-theme-toggle\""));
}

TEST_F(ElementRendererTest, Footers) {
  json simple = element("footer", {{"links", {{{"url", "about.html"}, {"label", "About"}}, {{"url", "", }, {"label", "Top"}}}},
                                   {"socialLinks", {{{"url", "https://x.y"}, {"platform", "mastodon"}}}},
                                   {"copyrightText", "(c) Us"}, {"wordmark", ""}, {"tagline", ""},
                                   {"columns", json::array()}, {"bottomNote", "Made here"}, {"bottomLinks", json::array()}});
  EXPECT_TRUE(has(render(simple), "<p><a href=\"/about\">About</a> &middot; <a href=\"&#35;\">Top</a></p>"));
  simple["kind"]["value"]["links"][1]["url"] = "https://maps.x";
  EXPECT_TRUE(has(render(simple), "<a href=\"https://maps.x\" target=\"_blank\" rel=\"noopener\">Top</a></p>"));
  std::string badged = render(simple, [](json& doc) { doc["globalStyles"]["showBrindleBadge"] = true; });
  EXPECT_TRUE(has(badged, "<span><span class=\"dim\">Made with</span> Brindle Pages</span></a></div></footer>"));
}

// The copy-link button draws its glyph: no emoji font is needed to see it.
TEST_F(ElementRendererTest, ShareLinks) {
  std::string html = render(element("shareButton", {{"style", "links"}, {"label", ""}, {"networks", {"email", "copy"}}}));
  EXPECT_TRUE(has(html, "data-brp-share-net=\"copy\" aria-label=\"Copy link\""));
  EXPECT_TRUE(has(html, "font-weight:600\"><svg width=\"16\" height=\"16\""));
  EXPECT_FALSE(has(html, "&#128279;"));
}

TEST_F(ElementRendererTest, Forms) {
  json field = {{"label", "Agree"}, {"type", "checkbox"}, {"placeholder", ""}, {"isRequired", false}};
  json f = element("form", {{"fields", {field}}, {"submitLabel", "Send"}, {"action", "https://x.y/f?a=1&b=2"}});
  std::string own = render(f);
  EXPECT_TRUE(has(own, "<form method=\"post\" action=\"https://x.y/f?a=1&amp;b=2\""));
  EXPECT_TRUE(has(own, "<input type=\"checkbox\" name=\"Agree\" value=\"on\"> Agree</label>"));
}

}  // namespace
}  // namespace qs
