// The renderers of the richer element kinds: navigation, hero, footer, section headers, feature
// rows, terminal, steps, call-to-action, documentation, share buttons and app-window mock-ups.
#include "app/site/element_renderer.h"

#include "app/site/pages_enum_names.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

namespace qs::QSRichRenderers {
namespace {

using namespace QSElementParts;
using QSHTMLUtilities::cssValue;
using QSHTMLUtilities::escapeHTML;

std::string link(std::string_view url, bool newTab, const QSRenderContext& context, std::string_view classes,
                 std::string_view inner) {
  return "<a href=\"" + context.links.href(url) + "\"" + classAttr(classes) + newTabAttrs(newTab) + ">" +
         std::string(inner) + "</a>";
}

std::string wordmark(std::string_view text, std::string_view cls) {
  return "<span class=\"" + std::string(cls) + "\">" + escapeHTML(text.empty() ? "My Site" : text) + "</span>";
}

std::string iconTile(std::string_view symbol, const std::optional<QSPagesColor>& accent, std::string_view cls,
                     double size) {
  auto svg = symbolSVG(symbol, size);
  std::string css = accent ? "color:" + cssValue(accent->hex) + ";background:color-mix(in srgb, " +
                                 cssValue(accent->hex) + " 14%, transparent)"
                           : "";
  return "<span class=\"" + std::string(cls) + "\"" + styleAttr(css) + ">" + (svg ? *svg : std::string("&#9670;")) +
         "</span>";
}

std::string megaPanel(const QSPagesNavLink& parent, const QSRenderContext& context) {
  std::vector<std::string> order;
  std::map<std::string, std::string> groups;
  for (const auto& child : parent.children) {
    if (!groups.count(child.group)) order.push_back(child.group);
    groups[child.group] += link(child.url, child.openInNewTab, context, "brp-mega-item",
                                iconTile(child.iconSymbol, child.iconAccent, "brp-mega-icon", 18) +
                                    "<span class=\"brp-mega-text\"><strong>" + escapeHTML(child.label) +
                                    "</strong><span class=\"brp-mega-sub\">" + escapeHTML(child.subtitle) +
                                    "</span></span>");
  }
  std::string out = "<div class=\"brp-subnav brp-mega\">";
  for (const auto& group : order) {
    out += "<div class=\"brp-mega-group\">";
    if (!group.empty()) out += "<div class=\"brp-mega-title\">" + escapeHTML(group) + "</div>";
    out += "<div class=\"brp-mega-grid\">" + groups[group] + "</div></div>";
  }
  return out + "</div>";
}

std::string navItem(const QSPagesNavLink& item, const QSRenderContext& context) {
  if (item.children.empty())
    return "<li>" + link(item.url, item.openInNewTab, context, "", escapeHTML(item.label)) + "</li>";
  bool mega = item.dropdown == QSPagesNavDropdownStyle::mega;
  std::string caret = " <span class=\"brp-caret\">\u25BE</span>";
  std::string trigger = item.url.empty()
                            ? "<span class=\"brp-subtrigger\" tabindex=\"0\">" + escapeHTML(item.label) + caret + "</span>"
                            : link(item.url, item.openInNewTab, context, "", escapeHTML(item.label) + caret);
  std::string out = std::string("<li class=\"brp-has-sub") + (mega ? " brp-has-mega" : "") + "\">" + trigger;
  if (mega) return out + megaPanel(item, context) + "</li>";
  out += "<ul class=\"brp-subnav\">";
  for (const auto& child : item.children) out += navItem(child, context);
  return out + "</ul></li>";
}

constexpr std::string_view kThemeToggle =
    "<button class=\"brp-theme-toggle\" type=\"button\" data-mode=\"system\" title=\"Theme: System\" aria-label=\"Theme\">"
    "<svg class=\"brp-ti-sun\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"2\"><circle cx=\"12\" cy=\"12\" r=\"4\"/>"
    "<path d=\"M12 2v2M12 20v2M4.9 4.9l1.4 1.4M17.7 17.7l1.4 1.4M2 12h2M20 12h2M4.9 19.1l1.4-1.4M17.7 6.3l1.4-1.4\"/></svg>"
    "<svg class=\"brp-ti-moon\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"2\"><path d=\"M21 12.8A9 9 0 1 1 11.2 3a7 7 0 0 0 9.8 9.8z\"/></svg>"
    "<svg class=\"brp-ti-sys\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"2\"><rect x=\"3\" y=\"4\" width=\"18\" height=\"12\" rx=\"2\"/><path d=\"M8 20h8M12 16v4\"/></svg>"
    "</button>";

std::string image(const std::optional<std::string>& source, std::string_view alt, std::string_view cls) {
  return "<img src=\"" + escapeHTML(*source) + "\" alt=\"" + escapeHTML(alt) + "\"" + classAttr(cls) + ">";
}

}  // namespace

std::string navbar(const QSPagesElement& e, const QSPagesNavbarContent& c, const QSRenderContext& context) {
  std::string out = "<nav" + rootAttrs(e, context, "brp-nav", "") + "><div class=\"brp-nav-inner\">";
  out += "<a href=\"/\" class=\"brp-brand\">" + brandMarkSVG(context.project, 26) + wordmark(c.logoText, "brp-wm") + "</a>";
  out += "<div class=\"brp-nav-right\"><ul class=\"brp-nav-links\">";
  for (const auto& item : c.links) out += navItem(item, context);
  if (!c.ctaLabel.empty())
    out += "<li>" + link(c.ctaURL, false, context, "brp-nav-cta", escapeHTML(c.ctaLabel)) + "</li>";
  out += "</ul>";
  if (context.project.globalStyles.autoDarkMode.value_or(false) &&
      context.project.globalStyles.showThemeToggle.value_or(false))
    out += kThemeToggle;
  out += "<button class=\"brp-nav-toggle\" type=\"button\" aria-label=\"Menu\" aria-expanded=\"false\">"
         "<span></span><span></span><span></span></button>";
  return out + "</div></div></nav>\n";
}

std::string heroScreenshotHTML(const QSPagesHeroContent& c, const QSRenderContext& context) {
  auto source = imageSource(context, c.screenshotAssetID, c.screenshotExternalURL);
  if (!source) return "";
  return "<div class=\"brp-hero-shot\">" + image(source, c.heading, "") + "</div>";
}

std::string hero(const QSPagesElement& e, const QSPagesHeroContent& c, const QSRenderContext& context) {
  auto background = imageSource(context, c.backgroundAssetID, std::nullopt);
  std::string shot = heroScreenshotHTML(c, context);
  std::string css = background ? "background:url('" + cssValue(*background) + "') center/cover;color:#FFF" : "";
  std::string out = "<header" + rootAttrs(e, context, background || !shot.empty() ? "brp-hero" : "brp-hero brp-hero-flat", css) + ">";
  if (!background) out += "<div class=\"brp-hero-mist\"></div>";
  out += "<div class=\"brp-hero-inner\">";
  if (!c.badge.empty()) out += "<span class=\"brp-badge\"><span class=\"dot\"></span>" + escapeHTML(c.badge) + "</span>";
  out += "<h1>" + escapeHTML(c.heading);
  if (!c.headingAccent.empty()) out += "<br><span class=\"accent\">" + escapeHTML(c.headingAccent) + "</span>";
  out += "</h1>";
  if (!c.subheading.empty()) out += "<p class=\"sub\">" + context.links.inlineFormat(c.subheading) + "</p>";
  if (!c.primaryCTALabel.empty() || !c.secondaryCTALabel.empty()) {
    out += "<div class=\"brp-btn-row\">";
    if (!c.primaryCTALabel.empty())
      out += link(c.primaryCTAURL, false, context, "brp-btn brp-btn-primary", escapeHTML(c.primaryCTALabel));
    if (!c.secondaryCTALabel.empty())
      out += link(c.secondaryCTAURL, false, context, "brp-btn brp-btn-secondary", escapeHTML(c.secondaryCTALabel));
    out += "</div>";
  }
  if (!c.fineprint.empty()) out += "<p class=\"fineprint\">" + escapeHTML(c.fineprint) + "</p>";
  return out + "</div>" + shot + "</header>\n";
}

std::string footer(const QSPagesElement& e, const QSPagesFooterContent& c, const QSRenderContext& context) {
  std::string out = "<footer" + rootAttrs(e, context, "brp-footer", "") + "><div class=\"brp-footer-inner\">";
  out += "<div class=\"brp-footer-brand\">" + brandMarkSVG(context.project, 24) + wordmark(c.wordmark, "brp-footer-wm");
  if (!c.tagline.empty()) out += "<p class=\"brp-footer-tag\">" + escapeHTML(c.tagline) + "</p>";
  out += "<div class=\"brp-footer-credit-slot\"></div></div><div class=\"brp-footer-cols\">";
  for (const auto& column : c.columns) {
    out += "<div class=\"brp-footer-col\"><h4>" + escapeHTML(column.heading) + "</h4>";
    for (const auto& l : column.links) {
      bool external = l.url.rfind("http", 0) == 0;
      out += link(l.url, external, context, "", escapeHTML(l.label));
    }
    out += "</div>";
  }
  out += "</div></div><div class=\"brp-footer-bottom\"><span>" + escapeHTML(c.copyrightText) + "</span><span>";
  std::string bottom;
  for (const auto& l : c.bottomLinks) {
    if (!bottom.empty()) bottom += " &middot; ";
    bottom += link(l.url, l.url.rfind("http", 0) == 0, context, "", escapeHTML(l.label));
  }
  return out + bottom + "</span></div></footer>\n";
}

std::string sectionHeader(const QSPagesElement& e, const QSPagesSectionHeaderContent& c, const QSRenderContext& context) {
  std::string align(pagesRawValue(c.align));
  std::string out = "<div" + rootAttrs(e, context, c.align == QSPagesTextAlign::center ? "brp-center" : "",
                                       "padding:48px 32px 16px;text-align:" + align) + ">";
  if (!c.iconSymbol.empty()) out += iconTile(c.iconSymbol, c.iconAccent, "brp-sec-icon", 30);
  if (!c.eyebrow.empty()) out += "<div class=\"brp-eyebrow\">" + escapeHTML(c.eyebrow) + "</div>";
  out += "<h2 class=\"brp-sec-h\">" + escapeHTML(c.heading);
  if (!c.headingAccent.empty()) out += " <span class=\"accent\">" + escapeHTML(c.headingAccent) + "</span>";
  out += "</h2>";
  if (!c.subheading.empty()) out += "<p class=\"brp-sec-sub\">" + context.links.inlineFormat(c.subheading) + "</p>";
  return out + "</div>\n";
}

std::string chipStrip(const QSPagesElement& e, const QSPagesChipStripContent& c, const QSRenderContext& context) {
  std::string out = "<div" + rootAttrs(e, context, "brp-chips", "") + ">";
  for (const auto& chip : c.chips)
    out += "<span class=\"brp-chip\"><b>" + escapeHTML(chip.label) + "</b>" + escapeHTML(chip.value) + "</span>";
  return out + "</div>\n";
}

std::string featureRow(const QSPagesElement& e, const QSPagesFeatureRowContent& c, const QSRenderContext& context) {
  std::string classes = "brp-feature brp-feature-row";
  if (c.flip) classes += " flip";
  std::string out = "<div" + rootAttrs(e, context, classes, "") + "><div class=\"brp-feature-copy\">";
  if (!c.kicker.empty()) out += "<div class=\"brp-kicker\">" + escapeHTML(c.kicker) + "</div>";
  out += "<h3>" + escapeHTML(c.heading) + "</h3><p>" + context.links.inlineFormat(c.body) + "</p>";
  if (!c.bullets.empty()) {
    out += "<ul>";
    for (const auto& b : c.bullets) out += "<li><b>" + escapeHTML(b.lead) + "</b> " + escapeHTML(b.text) + "</li>";
    out += "</ul>";
  }
  out += std::string("</div><div class=\"brp-feature-media") + (c.glow ? " glow" : "") + "\">";
  auto source = imageSource(context, c.imageAssetID, c.imageExternalURL);
  if (source)
    out += image(source, c.imageAlt, "");
  else if (c.mockup)
    out += appWindowHTML(*c.mockup, context, " class=\"brp-appwin\"" + styleAttr(appWindowAccentCSS(*c.mockup)));
  else
    out += "<div class=\"brp-feature-ph\">Screenshot</div>";
  return out + "</div></div>\n";
}

std::string terminal(const QSPagesElement& e, const QSPagesTerminalContent& c, const QSRenderContext& context) {
  static constexpr std::string_view kRoleClass[] = {"prompt", "out", "ok", "cmt"};
  std::string out = "<div" + rootAttrs(e, context, "brp-term", "") + ">";
  if (c.showChrome) out += "<div class=\"brp-term-bar\"><span></span><span></span><span></span></div>";
  for (const auto& line : c.lines)
    out += "<div><span class=\"" + std::string(kRoleClass[static_cast<int>(line.role)]) + "\">" +
           escapeHTML(line.text) + "</span></div>";
  return out + "</div>\n";
}

std::string steps(const QSPagesElement& e, const QSPagesStepsContent& c, const QSRenderContext& context) {
  std::string out = "<div" + rootAttrs(e, context, "brp-steps",
                                       fmt::format("grid-template-columns:repeat({}, 1fr)",
                                                   std::clamp<std::int64_t>(c.columns, 1, 12))) + ">";
  for (const auto& s : c.steps)
    out += "<div class=\"brp-step\"><div class=\"n\">" + escapeHTML(s.number) + "</div><h3>" + escapeHTML(s.title) +
           "</h3><p>" + context.links.inlineFormat(s.text) + "</p></div>";
  return out + "</div>\n";
}

std::string ctaBanner(const QSPagesElement& e, const QSPagesCTABannerContent& c, const QSRenderContext& context) {
  std::string out = "<div" + rootAttrs(e, context, "brp-cta", "") + ">";
  if (!c.iconSymbol.empty())
    if (auto svg = symbolSVG(c.iconSymbol, 56)) out += "<div style=\"display:flex;justify-content:center;margin-bottom:18px\">" + *svg + "</div>";
  if (!c.eyebrow.empty()) out += "<div class=\"brp-eyebrow\">" + escapeHTML(c.eyebrow) + "</div>";
  out += "<h2>" + escapeHTML(c.heading) + "</h2>";
  if (!c.subheading.empty()) out += "<p>" + context.links.inlineFormat(c.subheading) + "</p>";
  if (!c.buttonLabel.empty())
    out += "<div class=\"brp-btn-row\">" + link(c.buttonURL, false, context, "brp-btn brp-btn-primary", escapeHTML(c.buttonLabel)) + "</div>";
  if (!c.fineprint.empty()) out += "<p class=\"fineprint\">" + escapeHTML(c.fineprint) + "</p>";
  return out + "</div>\n";
}

std::string docs(const QSPagesElement& e, const QSPagesDocsContent& c, const QSRenderContext& context) {
  std::string side = "<aside class=\"brp-docs-side\">", main = "<main class=\"brp-docs-main\">";
  for (const auto& category : c.categories) {
    side += "<div class=\"brp-docs-cat\">" + escapeHTML(category.title) + "</div>";
    for (const auto& article : category.articles) {
      std::string id = escapeHTML(article.slug);
      side += "<a href=\"&#35;" + id + "\">" + escapeHTML(article.title) + "</a>";
      main += "<section class=\"brp-article\" id=\"" + id + "\"><h2>" + escapeHTML(article.title) + "</h2>";
      if (!article.summary.empty()) main += "<p class=\"summary\">" + escapeHTML(article.summary) + "</p>";
      main += context.links.rewriteLinks(article.bodyHTML) + "</section>";
    }
  }
  return "<div" + rootAttrs(e, context, "brp-docs", "") + ">" + side + "</aside>" + main + "</main></div>\n";
}

std::string shareButton(const QSPagesElement& e, const QSPagesShareButtonContent& c, const QSRenderContext& context) {
  if (c.style == QSPagesShareStyle::button)
    return "<button type=\"button\" data-brp-share" +
           rootAttrs(e, context, "brp-btn brp-btn-primary", "border:0;cursor:pointer;font:inherit") + ">" +
           escapeHTML(c.label.empty() ? "Share" : c.label) + "</button>\n";
  static constexpr std::string_view kLabels[] = {"X", "LinkedIn", "Facebook", "E-mail", "Copy link"};
  // Letters and a drawn link: an emoji would need a colour-emoji font, which many desktops lack.
  static constexpr std::string_view kGlyphs[] = {
      "X", "in", "f", "@",
      "<svg width=\"16\" height=\"16\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"currentColor\" "
      "stroke-width=\"2\" stroke-linecap=\"round\" stroke-linejoin=\"round\" aria-hidden=\"true\">"
      "<path d=\"M10 13a5 5 0 0 0 7.5.5l3-3a5 5 0 0 0-7-7l-1.7 1.7\"/>"
      "<path d=\"M14 11a5 5 0 0 0-7.5-.5l-3 3a5 5 0 0 0 7 7l1.7-1.7\"/></svg>"};
  std::string out = "<div" + rootAttrs(e, context, "", "display:flex;gap:8px;padding:8px 32px") + ">";
  for (auto network : c.networks) {
    auto i = static_cast<std::size_t>(network);
    out += "<a href=\"&#35;\" data-brp-share-net=\"" + std::string(pagesRawValue(network)) + "\" aria-label=\"" +
           std::string(kLabels[i]) +
           "\" style=\"width:38px;height:38px;display:inline-flex;align-items:center;justify-content:center;"
           "border:1px solid var(--brp-border, #e8e6e3);border-radius:10px;font-weight:600\">" +
           std::string(kGlyphs[i]) + "</a>";
  }
  return out + "</div>\n";
}

std::string appWindowAccentCSS(const QSPagesAppWindowContent& c) {
  return "--aw-accent:" + (c.accent ? cssValue(c.accent->hex) : std::string("var(--brand, #6D28D9)"));
}

std::string appWindowHTML(const QSPagesAppWindowContent& c, const QSRenderContext& context, std::string_view attrs) {
  std::string out = "<div" + std::string(attrs) + "><div class=\"brp-appwin-bar\">";
  if (c.chrome == QSPagesAppWindowChrome::macApp)
    out += "<div class=\"aw-lights\"><span></span><span></span><span></span></div><div class=\"aw-title\">" +
           escapeHTML(c.title) + "</div>";
  else
    out += "<div class=\"aw-lights\"><span></span><span></span><span></span></div><div class=\"aw-addr\">" +
           escapeHTML(c.address) + "</div>";
  out += "</div>";
  if (auto source = imageSource(context, c.imageAssetID, c.imageExternalURL))
    return out + image(source, c.title, "brp-appwin-shot") + "</div>";
  out += "<div class=\"brp-appwin-body\">";
  if (!c.sidebar.empty()) {
    out += "<div class=\"brp-appwin-side\">";
    for (std::size_t i = 0; i < c.sidebar.size(); ++i)
      out += std::string("<div class=\"aw-srow") + (i == 0 ? " on" : "") + "\">" + escapeHTML(c.sidebar[i]) + "</div>";
    out += "</div>";
  }
  out += "<div class=\"brp-appwin-main\">";
  if (!c.tabs.empty()) {
    out += "<div class=\"aw-tabs\">";
    for (std::size_t i = 0; i < c.tabs.size(); ++i)
      out += std::string("<span class=\"aw-tab") + (static_cast<std::int64_t>(i) == c.activeTab ? " on" : "") + "\">" +
             escapeHTML(c.tabs[i]) + "</span>";
    out += "</div>";
  }
  out += "<div class=\"aw-hero\"><span></span><span></span></div>";
  for (std::int64_t i = 0; i < std::clamp<std::int64_t>(c.rows, 0, 50); ++i)
    out += "<div class=\"aw-row\"><span class=\"aw-ic\"></span><span class=\"aw-lines\"><span class=\"aw-l1\"></span>"
           "<span class=\"aw-l2\"></span></span><span class=\"aw-status\"></span></div>";
  return out + "</div></div></div>";
}

std::string appWindow(const QSPagesElement& e, const QSPagesAppWindowContent& c, const QSRenderContext& context) {
  return appWindowHTML(c, context, rootAttrs(e, context, "brp-appwin", appWindowAccentCSS(c))) + "\n";
}

}  // namespace qs::QSRichRenderers
