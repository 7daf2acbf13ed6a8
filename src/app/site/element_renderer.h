// The HTML of document elements inside the generated Leaf views. Every document text is
// escaped (and its "#" neutralised for Leaf); links go through the project's link resolver.
#pragma once

#include "app/site/html_utilities.h"
#include "app/site/pages_document.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

// What rendering an element needs besides the element.
struct QSRenderContext {
  const QSPagesProject& project;
  const QSHTMLUtilities::QSLinkResolver& links;
  bool hasForms = false;
  // The view name of the page being rendered ("index" for the homepage): forms post to it.
  std::string viewName = "index";
};

// Renders one element (and its children, in order) to HTML.
std::string renderElement(const QSPagesElement& element, const QSRenderContext& context);

// Calls `visit` for every element of the document: the global navbar, each page's elements and
// the global footer, children after their parent.
void forEachElement(const QSPagesProject& project, const std::function<void(const QSPagesElement&)>& visit);
// Calls `visit` for `element` and all its descendants.
void forEachElement(const QSPagesElement& element, const std::function<void(const QSPagesElement&)>& visit);
// Whether the element tree holds a form element.
bool containsForm(const QSPagesElement& element);

namespace QSElementParts {

// ` class="…"` merging `classes` and `more` (single spaces), or nothing when both are empty.
std::string classAttr(std::string_view classes, std::string_view more = "");
// The responsive class of an element with overrides ("el-1a2b3c4d"), else empty.
std::string responsiveClassAttr(const QSPagesElement& element);
// ` style="…"` from CSS text (escaped for the attribute), or nothing for empty text.
std::string styleAttr(std::string_view css);
// `base` and `more` joined with ";" (either may be empty).
std::string joinCSS(std::string_view base, std::string_view more);
// The root attributes of an element's fragment: its classes, the responsive class, and the
// fragment's own CSS followed by the element's inline style.
std::string rootAttrs(const QSPagesElement& element, const QSRenderContext& context, std::string_view classes,
                      std::string_view baseCSS);
// ` target="_blank" rel="noopener"` when `newTab`.
std::string newTabAttrs(bool newTab);
// The address of an image: the asset's file under /images (or an external asset's URL), else
// the external URL, else nothing.
std::optional<std::string> imageSource(const QSRenderContext& context, const std::optional<QSUUID>& assetID,
                                       const std::optional<std::string>& externalURL);
// The inline SVG of a known symbol name at `size` pixels, or nothing.
std::optional<std::string> symbolSVG(std::string_view name, double size);
// The site's brand mark: four squares in the palette's colours.
std::string brandMarkSVG(const QSPagesProject& project, int size);
// The maker's badge link in the given style.
std::string brindleBadgeAnchor(QSPagesBrindleBadgeStyle style, std::string_view url, bool newTab,
                               const QSRenderContext& context);
// Inserts the maker's badge in a centred row just before the last closing footer tag.
std::string injectFooterBadge(std::string footerHTML, const QSRenderContext& context);

}  // namespace QSElementParts

// The renderers of the richer kinds (navigation, hero, footer, product sections, mock-ups).
namespace QSRichRenderers {
std::string navbar(const QSPagesElement& e, const QSPagesNavbarContent& c, const QSRenderContext& context);
std::string hero(const QSPagesElement& e, const QSPagesHeroContent& c, const QSRenderContext& context);
std::string footer(const QSPagesElement& e, const QSPagesFooterContent& c, const QSRenderContext& context);
std::string sectionHeader(const QSPagesElement& e, const QSPagesSectionHeaderContent& c, const QSRenderContext& context);
std::string chipStrip(const QSPagesElement& e, const QSPagesChipStripContent& c, const QSRenderContext& context);
std::string featureRow(const QSPagesElement& e, const QSPagesFeatureRowContent& c, const QSRenderContext& context);
std::string terminal(const QSPagesElement& e, const QSPagesTerminalContent& c, const QSRenderContext& context);
std::string steps(const QSPagesElement& e, const QSPagesStepsContent& c, const QSRenderContext& context);
std::string ctaBanner(const QSPagesElement& e, const QSPagesCTABannerContent& c, const QSRenderContext& context);
std::string docs(const QSPagesElement& e, const QSPagesDocsContent& c, const QSRenderContext& context);
std::string shareButton(const QSPagesElement& e, const QSPagesShareButtonContent& c, const QSRenderContext& context);
std::string appWindow(const QSPagesElement& e, const QSPagesAppWindowContent& c, const QSRenderContext& context);
// "--aw-accent:" and the window's accent (the brand colour when it has none).
std::string appWindowAccentCSS(const QSPagesAppWindowContent& c);
// The app-window mock-up body without an element's own style (also used by feature rows).
std::string appWindowHTML(const QSPagesAppWindowContent& c, const QSRenderContext& context, std::string_view attrs);
}  // namespace QSRichRenderers

}  // namespace qs
