// The building blocks the renderers share: attributes, image sources, symbols, brand marks and
// the maker's badge.
#include "app/site/element_renderer.h"

#include "app/site/export_styles.h"
#include "app/site/text_cuts.h"

#include <fmt/format.h>

#include <map>

namespace qs::QSElementParts {
namespace {

using QSHTMLUtilities::cssValue;
using QSHTMLUtilities::escapeHTML;

// Where the maker's badge points: the site builder's public page.
constexpr std::string_view kBuilderPage = "https://brindle.app/pages";

// The built-in symbols: 24 × 24 outline paths keyed by the names the site builder uses.
const std::map<std::string, std::string_view, std::less<>>& symbols() {
  static const std::map<std::string, std::string_view, std::less<>> kSymbols{
      {"star", "M12 3l2.8 5.7 6.2.9-4.5 4.4 1 6.2L12 17.3 6.5 20.2l1-6.2L3 9.6l6.2-.9z"},
      {"star.fill", "M12 3l2.8 5.7 6.2.9-4.5 4.4 1 6.2L12 17.3 6.5 20.2l1-6.2L3 9.6l6.2-.9z"},
      {"heart", "M12 20s-7-4.4-9.2-8.6C1.3 8.3 3.2 4.5 6.6 4.5c2 0 3.4 1.2 5.4 3.3 2-2.1 3.4-3.3 5.4-3.3 3.4 0 5.3 3.8 3.8 6.9C19 15.6 12 20 12 20z"},
      {"bolt", "M13 2L4 14h7l-1 8 9-12h-7z"},
      {"bolt.fill", "M13 2L4 14h7l-1 8 9-12h-7z"},
      {"checkmark", "M4 12.5l5 5L20 6.5"},
      {"checkmark.circle", "M12 21a9 9 0 1 0 0-18 9 9 0 0 0 0 18zM7.5 12.5l3 3 6-6"},
      {"arrow.right", "M4 12h16M14 6l6 6-6 6"},
      {"globe", "M12 21a9 9 0 1 0 0-18 9 9 0 0 0 0 18zM3 12h18M12 3c2.5 2.6 3.8 5.6 3.8 9s-1.3 6.4-3.8 9c-2.5-2.6-3.8-5.6-3.8-9S9.5 5.6 12 3z"},
      {"lock", "M6 11h12v10H6zM8.5 11V7.5a3.5 3.5 0 0 1 7 0V11"},
      {"bell", "M6 16V11a6 6 0 0 1 12 0v5l2 2H4zM10 20a2 2 0 0 0 4 0"},
      {"gear", "M12 15.5a3.5 3.5 0 1 0 0-7 3.5 3.5 0 0 0 0 7zM19.4 13.5l1.6 1.2-2 3.4-1.9-.7a7 7 0 0 1-2 1.2L14.8 21h-4l-.3-2.4a7 7 0 0 1-2-1.2l-1.9.7-2-3.4 1.6-1.2a7 7 0 0 1 0-3L4.6 9.3l2-3.4 1.9.7a7 7 0 0 1 2-1.2L10.8 3h4l.3 2.4a7 7 0 0 1 2 1.2l1.9-.7 2 3.4-1.6 1.2a7 7 0 0 1 0 3z"},
      {"person", "M12 12a4 4 0 1 0 0-8 4 4 0 0 0 0 8zM4 21c0-4 3.6-6.5 8-6.5s8 2.5 8 6.5"},
      {"envelope", "M3 6h18v12H3zM3 7l9 6 9-6"},
      {"phone", "M5 3h4l2 5-2.5 1.5a11 11 0 0 0 6 6L16 13l5 2v4a2 2 0 0 1-2 2A16 16 0 0 1 3 5a2 2 0 0 1 2-2z"},
      {"cart", "M3 4h2l2.4 11h10.2L20 7H6.2M9 20a1 1 0 1 0 0-2 1 1 0 0 0 0 2zM17 20a1 1 0 1 0 0-2 1 1 0 0 0 0 2z"},
      {"house", "M3 11l9-7 9 7M5 10v10h14V10"},
      {"magnifyingglass", "M10.5 17a6.5 6.5 0 1 0 0-13 6.5 6.5 0 0 0 0 13zM15.5 15.5L21 21"},
      {"sparkles", "M12 3l1.8 5.2L19 10l-5.2 1.8L12 17l-1.8-5.2L5 10l5.2-1.8zM19 15l.8 2.2L22 18l-2.2.8L19 21l-.8-2.2L16 18l2.2-.8z"},
      {"chart.bar", "M4 20V10M10 20V4M16 20v-7M22 20H2"},
      {"cloud", "M7 18h10.5a4.5 4.5 0 0 0 .6-9A6 6 0 0 0 6.3 10.2 4 4 0 0 0 7 18z"},
      {"shield", "M12 3l8 3v6c0 4.5-3.4 8.2-8 9-4.6-.8-8-4.5-8-9V6z"},
      {"clock", "M12 21a9 9 0 1 0 0-18 9 9 0 0 0 0 18zM12 7v5l3 2"},
      {"terminal", "M4 5h16v14H4zM7.5 9.5l3 2.5-3 2.5M12.5 15h4"},
      {"code", "M8 7l-5 5 5 5M16 7l5 5-5 5M14 4l-4 16"},
      {"server.rack", "M4 4h16v7H4zM4 13h16v7H4zM7.5 7.5h.01M7.5 16.5h.01"},
      {"cube", "M12 2.5l8.5 4.8v9.4L12 21.5l-8.5-4.8V7.3zM3.5 7.3L12 12l8.5-4.7M12 12v9.5"},
      {"paintbrush", "M18.5 3.5l2 2-9 9-2-2zM9.5 12.5c-2.5 0-4 1.5-4 4 0 1.5-1 2.5-2.5 3 3.5 1 8.5 0 8.5-5z"},
      {"doc.text", "M6 3h8l4 4v14H6zM14 3v4h4M9 12h6M9 16h6"},
  };
  return kSymbols;
}

std::vector<std::string> palette(const QSPagesProject& project) {
  std::vector<std::string> colours{"#6D28D9", "#DB2777", "#F59E0B", "#10B981"};
  const auto& given = project.globalStyles.brandMarkPalette;
  if (given && given->size() == 4)
    for (std::size_t i = 0; i < 4; ++i) colours[i] = cssValue(QSTextCuts::prefix(given->at(i).hex, 7));
  return colours;
}

}  // namespace

std::string classAttr(std::string_view classes, std::string_view more) {
  std::string joined(classes);
  if (!more.empty()) joined += (joined.empty() ? "" : " ") + std::string(more);
  return joined.empty() ? "" : " class=\"" + joined + "\"";
}

std::string responsiveClassAttr(const QSPagesElement& element) {
  return element.responsiveOverrides ? QSExportStyles::responsiveClass(element) : "";
}

std::string styleAttr(std::string_view css) {
  return css.empty() ? "" : " style=\"" + escapeHTML(css) + "\"";
}

std::string joinCSS(std::string_view base, std::string_view more) {
  if (base.empty()) return std::string(more);
  if (more.empty()) return std::string(base);
  return std::string(base) + ";" + std::string(more);
}

std::string rootAttrs(const QSPagesElement& element, const QSRenderContext& context, std::string_view classes,
                      std::string_view baseCSS) {
  return classAttr(classes, responsiveClassAttr(element)) +
         styleAttr(joinCSS(baseCSS, QSExportStyles::inlineStyle(element, context.project.globalStyles)));
}

std::string newTabAttrs(bool newTab) { return newTab ? " target=\"_blank\" rel=\"noopener\"" : ""; }

std::optional<std::string> imageSource(const QSRenderContext& context, const std::optional<QSUUID>& assetID,
                                       const std::optional<std::string>& externalURL) {
  if (assetID) {
    for (const auto& asset : context.project.assets) {
      if (asset.id != *assetID) continue;
      if (asset.source.type == QSPagesAssetSource::Type::external) return asset.source.url;
      return "/images/" + asset.id.string() + "." + QSHTMLUtilities::mimeToExtension(asset.mimeType);
    }
  }
  if (externalURL && !externalURL->empty()) return *externalURL;
  return std::nullopt;
}

std::optional<std::string> symbolSVG(std::string_view name, double size) {
  auto found = symbols().find(name);
  if (found == symbols().end()) return std::nullopt;
  std::string px = QSExportStyles::cssNumber(size);
  return fmt::format("<svg width=\"{0}\" height=\"{0}\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"currentColor\" "
                     "stroke-width=\"1.8\" stroke-linecap=\"round\" stroke-linejoin=\"round\" aria-hidden=\"true\">"
                     "<path d=\"{1}\"/></svg>",
                     px, found->second);
}

std::string brandMarkSVG(const QSPagesProject& project, int size) {
  auto colours = palette(project);
  return fmt::format("<svg width=\"{0}\" height=\"{0}\" viewBox=\"0 0 24 24\" aria-hidden=\"true\">"
                     "<rect x=\"2\" y=\"2\" width=\"9\" height=\"9\" rx=\"2.5\" fill=\"{1}\"/>"
                     "<rect x=\"13\" y=\"2\" width=\"9\" height=\"9\" rx=\"2.5\" fill=\"{2}\"/>"
                     "<rect x=\"2\" y=\"13\" width=\"9\" height=\"9\" rx=\"2.5\" fill=\"{3}\"/>"
                     "<rect x=\"13\" y=\"13\" width=\"9\" height=\"9\" rx=\"2.5\" fill=\"{4}\"/></svg>",
                     size, colours[0], colours[1], colours[2], colours[3]);
}

std::string brindleBadgeAnchor(QSPagesBrindleBadgeStyle style, std::string_view url, bool newTab,
                               const QSRenderContext& context) {
  std::string target = url.empty() ? std::string(kBuilderPage) : std::string(url);
  std::string mark = brandMarkSVG(context.project, 14);
  std::string open = "<a href=\"" + context.links.href(target) + "\" class=\"brp-made-with\"" + newTabAttrs(newTab);
  switch (style) {
    case QSPagesBrindleBadgeStyle::pill:
      return open + ">" + mark + "<span><span class=\"dim\">Made with</span> Brindle Pages</span></a>";
    case QSPagesBrindleBadgeStyle::inlined:
      return open + " style=\"border:0;padding:0\">" + mark +
             "<span><span class=\"dim\">Made with</span> Brindle Pages</span></a>";
    case QSPagesBrindleBadgeStyle::banner:
      return open + " style=\"border-radius:12px;padding:10px 16px\">" + mark +
             "<span style=\"display:flex;flex-direction:column;line-height:1.3\"><strong>Built with Brindle Pages</strong>"
             "<span class=\"dim\">Make a site like this one, no code needed</span></span></a>";
  }
  return "";
}

std::string injectFooterBadge(std::string footerHTML, const QSRenderContext& context) {
  auto at = footerHTML.rfind("</footer>");
  if (at == std::string::npos) return footerHTML;
  std::string row = "<div style=\"display:flex;justify-content:center;padding:0 0 20px\">" +
                    brindleBadgeAnchor(QSPagesBrindleBadgeStyle::pill, "", true, context) + "</div>";
  footerHTML.insert(at, row);
  return footerHTML;
}

}  // namespace qs::QSElementParts
