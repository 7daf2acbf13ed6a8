#include "app/site/element_renderer.h"

#include "app/site/export_styles.h"
#include "app/site/pages_enum_names.h"
#include "app/site/text_cuts.h"

#include <fmt/format.h>

#include <algorithm>

namespace qs {
namespace {

using namespace QSElementParts;
using QSHTMLUtilities::escapeHTML;
using Type = QSPagesElementKind::Type;

// Text on the brand colour: the ink the stylesheet picks for it (and for its dark variant), so
// that a light brand gets dark text.
constexpr std::string_view kButtonInk = "var(--brp-btn-ink,#fff)";

std::string children(const QSPagesElement& e, const QSRenderContext& context) {
  std::string out;
  for (const auto& child : e.children) out += renderElement(child, context);
  return out;
}

std::string container(const QSPagesElement& e, const QSRenderContext& context, bool section) {
  const auto& l = e.layout;
  std::string css = "display:" + std::string(pagesRawValue(l.display));
  if (l.display == QSPagesDisplay::flex) {
    css += ";flex-direction:" + std::string(pagesRawValue(l.flexDirection));
    css += ";align-items:" + std::string(pagesRawValue(l.alignItems));
    css += ";justify-content:" + std::string(pagesRawValue(l.justifyContent));
  }
  if (l.gap != 0) css += ";gap:" + QSExportStyles::cssNumber(l.gap) + "px";
  std::string tag = section ? "section" : "div";
  return "<" + tag + rootAttrs(e, context, "", css) + ">" + children(e, context) + "</" + tag + ">\n";
}

std::string grid(const QSPagesElement& e, const QSPagesGridContent& c, const QSRenderContext& context) {
  std::string css = fmt::format("display:grid;grid-template-columns:repeat({}, 1fr);gap:{}px",
                                std::clamp<std::int64_t>(c.columns, 1, 12), QSExportStyles::cssNumber(c.gap));
  return "<div" + rootAttrs(e, context, "", css) + ">" + children(e, context) + "</div>\n";
}

std::string heading(const QSPagesElement& e, const QSPagesHeadingContent& c, const QSRenderContext& context) {
  std::string tag(pagesRawValue(c.level));
  return "<" + tag + rootAttrs(e, context, "", "font-family:var(--font-heading, inherit);padding:12px 32px") + ">" +
         escapeHTML(c.content) + "</" + tag + ">\n";
}

std::string button(const QSPagesElement& e, const QSPagesButtonContent& c, const QSRenderContext& context) {
  std::string look;
  switch (c.variant) {
    case QSPagesButtonVariant::primary:
      look = "background:var(--brand,#6D28D9);color:" + std::string(kButtonInk);
      break;
    case QSPagesButtonVariant::secondary:
      look = "background:color-mix(in srgb, var(--brand,#6D28D9) 14%, transparent);"
             "color:var(--brp-deep,#4C1D95)";
      break;
    case QSPagesButtonVariant::ghost: look = "background:transparent;border:1px solid currentColor"; break;
    case QSPagesButtonVariant::danger: look = "background:#DC2626;color:#FFF"; break;
  }
  std::string css = "display:inline-block;" + look + ";font-size:14px;font-weight:500;padding:10px 20px;border-radius:8px";
  return "<a href=\"" + context.links.href(c.url) + "\"" + newTabAttrs(c.openInNewTab) + rootAttrs(e, context, "", css) +
         ">" + escapeHTML(c.label) + "</a>\n";
}

std::string placeholder(std::string_view label, int height) {
  return fmt::format("<div style=\"height:{}px;background:rgba(0,0,0,.06);border-radius:8px;display:flex;"
                     "align-items:center;justify-content:center;color:rgba(0,0,0,.4);font-size:13px\">{}</div>",
                     height, label);
}

std::string image(const QSPagesElement& e, const QSPagesImageContent& c, const QSRenderContext& context) {
  auto source = imageSource(context, c.assetID, c.externalURL);
  std::string inner = source ? "<img src=\"" + escapeHTML(*source) + "\" alt=\"" + escapeHTML(c.alt) +
                                   "\" style=\"width:100%;height:100%;object-fit:" +
                                   std::string(pagesRawValue(c.objectFit)) + "\">"
                             : placeholder("Image", 240);
  // The picture fills its frame and the frame clips it: a frame of fixed height must not let the
  // picture run over the sections below.
  return "<div" + rootAttrs(e, context, "", "padding:8px 32px;overflow:hidden") + ">" + inner + "</div>\n";
}

std::string video(const QSPagesElement& e, const QSPagesVideoContent& c, const QSRenderContext& context) {
  if (!c.externalURL || c.externalURL->empty())
    return "<div" + rootAttrs(e, context, "", "padding:8px 32px") + ">" + placeholder("Video", 260) + "</div>\n";
  std::string flags;
  if (c.autoplay) flags += " autoplay";
  if (c.loop) flags += " loop";
  if (c.muted) flags += " muted";
  if (c.controls) flags += " controls";
  return "<video src=\"" + escapeHTML(*c.externalURL) + "\"" + flags + " playsinline" +
         rootAttrs(e, context, "", "width:100%;display:block") + "></video>\n";
}

std::string icon(const QSPagesElement& e, const QSPagesIconContent& c, const QSRenderContext& context) {
  double size = std::clamp(c.size, 1.0, 512.0);
  std::string label = " role=\"img\" aria-label=\"" + escapeHTML(c.iconName) + "\"";
  if (auto svg = symbolSVG(c.iconName, size))
    return "<span" + label + rootAttrs(e, context, "", "display:inline-flex;color:var(--brand,#6D28D9)") + ">" + *svg +
           "</span>\n";
  std::string px = QSExportStyles::cssNumber(size);
  return "<span" + label +
         rootAttrs(e, context, "",
                   "display:inline-flex;align-items:center;justify-content:center;width:" + px + "px;height:" + px +
                       "px;border-radius:50%;background:rgba(0,0,0,.08);color:rgba(0,0,0,.45);font-size:12px") +
         ">?</span>\n";
}

std::string embed(const QSPagesElement& e, const QSPagesEmbedContent& c, const QSRenderContext& context) {
  std::string sandbox = c.sandboxed ? " sandbox=\"allow-scripts\"" : " sandbox=\"allow-scripts allow-same-origin allow-popups allow-forms\"";
  return "<iframe srcdoc=\"" + escapeHTML(c.html) + "\"" + sandbox +
         rootAttrs(e, context, "", "width:100%;min-height:200px;border:0") + "></iframe>\n";
}

std::string stars(std::int64_t rating) {
  rating = std::clamp<std::int64_t>(rating, 0, 5);
  std::string out;
  for (std::int64_t i = 0; i < 5; ++i) out += i < rating ? "&#9733;" : "&#9734;";
  return "<div style=\"color:#F59E0B;letter-spacing:2px\">" + out + "</div>";
}

std::string testimonial(const QSPagesElement& e, const QSPagesTestimonialContent& c, const QSRenderContext& context) {
  std::string out = "<div" + rootAttrs(e, context, "", "display:flex;flex-direction:column;gap:12px;padding:24px 32px") + ">";
  if (c.rating) out += stars(*c.rating);
  out += "<blockquote style=\"font-style:italic;font-size:17px\">\u201c" + escapeHTML(c.quote) + "\u201d</blockquote>";
  out += "<cite style=\"font-style:normal\"><strong>" + escapeHTML(c.authorName) +
         "</strong> <span style=\"opacity:.6\">" + escapeHTML(c.authorTitle) + "</span></cite></div>\n";
  return out;
}

std::string fullWidthButton(std::string_view label, std::string_view url, const QSRenderContext& context) {
  return "<a href=\"" + context.links.href(url) +
         "\" style=\"display:block;text-align:center;background:var(--brand,#6D28D9);color:" +
         escapeHTML(kButtonInk) + ";padding:12px 20px;border-radius:8px;font-weight:500;font-size:14px\">" +
         escapeHTML(label) + "</a>";
}

std::string pricingTable(const QSPagesElement& e, const QSPagesPricingTableContent& c, const QSRenderContext& context) {
  std::string css = "display:flex;flex-direction:column;gap:16px;padding:32px;border-radius:16px;";
  css += c.isHighlighted ? "border:2px solid var(--brand,#6D28D9);background:color-mix(in srgb, var(--brand,#6D28D9) 6%, transparent)"
                         : "border:1px solid var(--brp-border, #e8e6e3)";
  std::string out = "<div" + rootAttrs(e, context, "", css) + ">";
  out += "<h3 style=\"font-size:18px\">" + escapeHTML(c.title) + "</h3>";
  out += "<div><span style=\"font-size:40px;font-weight:700\">" + escapeHTML(c.price) +
         "</span> <span style=\"opacity:.6\">" + escapeHTML(c.period) + "</span></div><ul style=\"list-style:none;display:flex;flex-direction:column;gap:8px\">";
  for (const auto& f : c.features)
    out += f.isIncluded ? "<li><span style=\"color:#16A34A\">&#10003;</span> " + escapeHTML(f.text) + "</li>"
                        : "<li style=\"opacity:.5\"><span style=\"color:#DC2626\">&#10007;</span> " + escapeHTML(f.text) + "</li>";
  return out + "</ul>" + fullWidthButton(c.ctaLabel, c.ctaURL, context) + "</div>\n";
}

std::string featureGrid(const QSPagesElement& e, const QSPagesFeatureGridContent& c, const QSRenderContext& context) {
  std::string css = fmt::format("display:grid;grid-template-columns:repeat({}, 1fr);gap:20px;padding:24px 32px",
                                std::clamp<std::int64_t>(c.columns, 1, 12));
  std::string out = "<div" + rootAttrs(e, context, "", css) + ">";
  for (const auto& f : c.features) {
    auto svg = symbolSVG(f.iconName, 22);
    out += "<div class=\"brp-card\"><div class=\"brp-card-icon\">" + (svg ? *svg : std::string("&#9670;")) +
           "</div><h4>" + escapeHTML(f.title) + "</h4><p>" + escapeHTML(f.description) + "</p></div>";
  }
  return out + "</div>\n";
}

std::string simpleFooter(const QSPagesElement& e, const QSPagesFooterContent& c, const QSRenderContext& context) {
  std::string out = "<footer" + rootAttrs(e, context, "brp-footer", "padding:32px;text-align:center;font-size:13px") + ">";
  std::string links;
  for (const auto& link : c.links) {
    if (!links.empty()) links += " &middot; ";
    bool external = link.url.rfind("http", 0) == 0;
    links += "<a href=\"" + context.links.href(link.url) + "\"" + newTabAttrs(external) + ">" + escapeHTML(link.label) +
             "</a>";
  }
  if (!links.empty()) out += "<p>" + links + "</p>";
  std::string social;
  for (const auto& link : c.socialLinks) {
    if (!social.empty()) social += " ";
    social += "<a href=\"" + context.links.href(link.url) + "\" target=\"_blank\" rel=\"noopener\">" +
              std::string(pagesRawValue(link.platform)) + "</a>";
  }
  if (!social.empty()) out += "<p style=\"margin-top:8px;text-transform:capitalize\">" + social + "</p>";
  if (!c.copyrightText.empty()) out += "<p style=\"margin-top:8px;opacity:.6\">" + escapeHTML(c.copyrightText) + "</p>";
  if (!c.bottomNote.empty()) out += "<p style=\"margin-top:4px;opacity:.5\">" + escapeHTML(c.bottomNote) + "</p>";
  return out + "</footer>\n";
}

std::string formField(const QSPagesFormField& f, std::string_view name) {
  std::string required = f.isRequired ? " required" : "";
  std::string placeholder = f.placeholder.empty() ? "" : " placeholder=\"" + escapeHTML(f.placeholder) + "\"";
  std::string input = "style=\"padding:10px 12px;border:1px solid var(--brp-border, #e8e6e3);border-radius:8px;font:inherit\"";
  std::string label = escapeHTML(f.label);
  std::string n = "name=\"" + std::string(name) + "\"";
  switch (f.type) {
    case QSPagesFormFieldType::checkbox:
      return "<label style=\"display:flex;gap:8px;align-items:center\"><input type=\"checkbox\" " + n + " value=\"on\"" +
             required + "> " + label + "</label>";
    case QSPagesFormFieldType::textarea:
      return "<label style=\"display:flex;flex-direction:column;gap:6px\">" + label + "<textarea " + n + " rows=\"4\" " +
             input + placeholder + required + "></textarea></label>";
    case QSPagesFormFieldType::select:
      return "<label style=\"display:flex;flex-direction:column;gap:6px\">" + label + "<select " + n + " " + input +
             required + "><option value=\"\">Select...</option></select></label>";
    default: {
      std::string type = f.type == QSPagesFormFieldType::email ? "email" : f.type == QSPagesFormFieldType::phone ? "tel" : "text";
      return "<label style=\"display:flex;flex-direction:column;gap:6px\">" + label + "<input type=\"" + type + "\" " + n +
             " " + input + placeholder + required + "></label>";
    }
  }
}

std::string form(const QSPagesElement& e, const QSPagesFormContent& c, const QSRenderContext& context) {
  std::string action = context.hasForms ? "/forms/" + context.viewName : c.action;
  std::string out = "<form method=\"post\" action=\"" + escapeHTML(action) + "\"" +
                    rootAttrs(e, context, "", "display:flex;flex-direction:column;gap:14px;padding:24px 32px;max-width:560px") + ">";
  auto names = QSHTMLUtilities::formFieldNames(c.fields);
  for (std::size_t i = 0; i < c.fields.size(); ++i) out += formField(c.fields[i], names[i]);
  out += "#if(formSuccess):<div style=\"padding:12px 16px;border-radius:8px;background:#DCFCE7;color:#166534\">"
         "Thank you! Your submission has been received.</div>#endif";
  out += "<button type=\"submit\" style=\"align-self:flex-start;background:var(--brand,#6D28D9);color:" +
         escapeHTML(kButtonInk) +
         ";border:0;padding:10px 20px;border-radius:8px;font:inherit;font-weight:500;cursor:pointer\">" +
         escapeHTML(c.submitLabel) + "</button></form>\n";
  return out;
}

std::string productCard(const QSPagesElement& e, const QSPagesProductCardContent& c, const QSRenderContext& context) {
  std::string out = "<div" + rootAttrs(e, context, "", "display:flex;flex-direction:column;gap:10px;padding:20px;border:1px solid var(--brp-border, #e8e6e3);border-radius:16px") + ">";
  auto source = imageSource(context, c.imageAssetID, c.imageExternalURL);
  out += "<div style=\"position:relative\">";
  out += source ? "<img src=\"" + escapeHTML(*source) + "\" alt=\"" + escapeHTML(c.name) + "\" style=\"width:100%;border-radius:10px\">"
                : placeholder("Image", 180);
  if (!c.badge.empty())
    out += "<span style=\"position:absolute;top:10px;left:10px;background:var(--brand,#6D28D9);"
           "color:var(--brp-btn-ink,#fff);font-size:12px;padding:3px 10px;border-radius:99px\">" +
           escapeHTML(c.badge) + "</span>";
  out += "</div><h3 style=\"font-size:17px\">" + escapeHTML(c.name) + "</h3><p style=\"opacity:.7;font-size:14px\">" +
         escapeHTML(c.description) + "</p>";
  if (c.rating) out += stars(*c.rating);
  out += "<div><strong style=\"font-size:20px\">" + escapeHTML(c.price) + "</strong>";
  if (!c.originalPrice.empty()) out += " <s style=\"opacity:.5\">" + escapeHTML(c.originalPrice) + "</s>";
  return out + "</div>" + fullWidthButton(c.ctaLabel, c.ctaURL, context) + "</div>\n";
}

std::string faq(const QSPagesElement& e, const QSPagesFAQContent& c, const QSRenderContext& context) {
  std::string out = "<section" + rootAttrs(e, context, "", "padding:48px 32px") + ">";
  if (!c.title.empty()) out += "<h2 class=\"brp-sec-h brp-center\">" + escapeHTML(c.title) + "</h2>";
  out += "<div class=\"brp-faq\">";
  for (const auto& item : c.items)
    out += "<details><summary>" + escapeHTML(item.question) + "</summary><div class=\"a\">" +
           context.links.inlineFormat(item.answer) + "</div></details>";
  return out + "</div></section>\n";
}

std::string appCard(const QSPagesElement& e, const QSPagesAppCardContent& c, const QSRenderContext& context) {
  std::string accent = QSHTMLUtilities::cssValue(c.accentColor.hex);
  std::string out = "<div" + rootAttrs(e, context, "", "display:flex;align-items:center;gap:16px;padding:18px 20px;border:1px solid var(--brp-border, #e8e6e3);border-radius:16px") + ">";
  auto source = imageSource(context, c.iconAssetID, c.iconExternalURL);
  std::string initial = c.appName.empty() ? "?" : escapeHTML(QSTextCuts::firstCharacter(c.appName));
  out += source ? "<img src=\"" + escapeHTML(*source) + "\" alt=\"\" style=\"width:52px;height:52px;border-radius:12px\">"
                : "<div" + styleAttr("width:52px;height:52px;border-radius:12px;display:flex;align-items:center;justify-content:center;color:#FFF;font-weight:600;font-size:22px;background:" + accent) +
                      ">" + initial + "</div>";
  out += "<div style=\"flex:1;min-width:0\"><div style=\"display:flex;gap:8px;align-items:center\"><strong>" +
         escapeHTML(c.appName) + "</strong><span" +
         styleAttr("font-size:11px;padding:2px 8px;border-radius:99px;color:" + accent + ";background:color-mix(in srgb, " + accent + " 14%, transparent)") +
         ">" + escapeHTML(c.category) + "</span></div><p style=\"font-size:13.5px;opacity:.7\">" + escapeHTML(c.tagline) + "</p></div>";
  out += "<a href=\"" + context.links.href(c.url) + "\"" + newTabAttrs(c.openInNewTab) + " aria-label=\"" +
         escapeHTML(c.ctaLabel.empty() ? c.appName : c.ctaLabel) + "\">&rarr;</a></div>\n";
  return out;
}

std::string badge(const QSPagesElement& e, const QSPagesBrindleBadgeContent& c, const QSRenderContext& context) {
  return "<div" + rootAttrs(e, context, "", "display:flex;justify-content:center;padding:12px") + ">" +
         brindleBadgeAnchor(c.style, c.url, c.openInNewTab, context) + "</div>\n";
}

}  // namespace

std::string renderElement(const QSPagesElement& e, const QSRenderContext& context) {
  const auto& kind = e.kind;
  switch (kind.type) {
    case Type::container: return container(e, context, false);
    case Type::section: return container(e, context, true);
    case Type::divider: return "<hr" + rootAttrs(e, context, "", "border:0;border-top:1px solid var(--brp-border, #e8e6e3)") + ">\n";
    case Type::grid: return grid(e, *kind.as<QSPagesGridContent>(), context);
    case Type::heading: return heading(e, *kind.as<QSPagesHeadingContent>(), context);
    case Type::text:
      return "<p" + rootAttrs(e, context, "", "font-size:15px;padding:8px 32px") + ">" +
             escapeHTML(kind.as<QSPagesTextContent>()->content) + "</p>\n";
    case Type::richText:
      return "<div" + rootAttrs(e, context, "", "padding:8px 32px") + "><div class=\"brp-prose\">" +
             context.links.rewriteLinks(kind.as<QSPagesRichTextContent>()->html) + "</div></div>\n";
    case Type::button: return button(e, *kind.as<QSPagesButtonContent>(), context);
    case Type::image: return image(e, *kind.as<QSPagesImageContent>(), context);
    case Type::video: return video(e, *kind.as<QSPagesVideoContent>(), context);
    case Type::icon: return icon(e, *kind.as<QSPagesIconContent>(), context);
    case Type::navbar: return QSRichRenderers::navbar(e, *kind.as<QSPagesNavbarContent>(), context);
    case Type::hero: return QSRichRenderers::hero(e, *kind.as<QSPagesHeroContent>(), context);
    case Type::embed: return embed(e, *kind.as<QSPagesEmbedContent>(), context);
    case Type::spacer:
      return "<div" + rootAttrs(e, context, "", "height:" + QSExportStyles::cssNumber(kind.as<QSPagesSpacerContent>()->height) + "px") +
             "></div>\n";
    case Type::testimonial: return testimonial(e, *kind.as<QSPagesTestimonialContent>(), context);
    case Type::pricingTable: return pricingTable(e, *kind.as<QSPagesPricingTableContent>(), context);
    case Type::featureGrid: return featureGrid(e, *kind.as<QSPagesFeatureGridContent>(), context);
    case Type::footer: {
      const auto& content = *kind.as<QSPagesFooterContent>();
      std::string html = content.columns.empty() ? simpleFooter(e, content, context)
                                                 : QSRichRenderers::footer(e, content, context);
      return context.project.globalStyles.showBrindleBadge.value_or(false) ? injectFooterBadge(html, context) : html;
    }
    case Type::form: return form(e, *kind.as<QSPagesFormContent>(), context);
    case Type::productCard: return productCard(e, *kind.as<QSPagesProductCardContent>(), context);
    case Type::faq: return faq(e, *kind.as<QSPagesFAQContent>(), context);
    case Type::appCard: return appCard(e, *kind.as<QSPagesAppCardContent>(), context);
    case Type::sectionHeader: return QSRichRenderers::sectionHeader(e, *kind.as<QSPagesSectionHeaderContent>(), context);
    case Type::chipStrip: return QSRichRenderers::chipStrip(e, *kind.as<QSPagesChipStripContent>(), context);
    case Type::featureRow: return QSRichRenderers::featureRow(e, *kind.as<QSPagesFeatureRowContent>(), context);
    case Type::terminal: return QSRichRenderers::terminal(e, *kind.as<QSPagesTerminalContent>(), context);
    case Type::steps: return QSRichRenderers::steps(e, *kind.as<QSPagesStepsContent>(), context);
    case Type::ctaBanner: return QSRichRenderers::ctaBanner(e, *kind.as<QSPagesCTABannerContent>(), context);
    case Type::docs: return QSRichRenderers::docs(e, *kind.as<QSPagesDocsContent>(), context);
    case Type::brindleBadge: return badge(e, *kind.as<QSPagesBrindleBadgeContent>(), context);
    case Type::shareButton: return QSRichRenderers::shareButton(e, *kind.as<QSPagesShareButtonContent>(), context);
    case Type::appWindow: return QSRichRenderers::appWindow(e, *kind.as<QSPagesAppWindowContent>(), context);
  }
  return "";
}

void forEachElement(const QSPagesElement& element, const std::function<void(const QSPagesElement&)>& visit) {
  visit(element);
  for (const auto& child : element.children) forEachElement(child, visit);
}

void forEachElement(const QSPagesProject& project, const std::function<void(const QSPagesElement&)>& visit) {
  if (project.globalNavbar) forEachElement(*project.globalNavbar, visit);
  for (const auto& page : project.pages)
    for (const auto& element : page.elements) forEachElement(element, visit);
  if (project.globalFooter) forEachElement(*project.globalFooter, visit);
}

bool containsForm(const QSPagesElement& element) {
  bool found = false;
  forEachElement(element, [&](const QSPagesElement& e) { found = found || e.kind.type == Type::form; });
  return found;
}

}  // namespace qs
