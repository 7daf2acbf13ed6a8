// The export's CSS: the site stylesheet embedded in the layout view, the per-element responsive
// rules, the inline style of every rendered element and the per-page accent block.
#pragma once

#include "app/site/pages_document.h"
#include "app/site/site_colors.h"

#include <string>
#include <string_view>
#include <vector>

namespace qs::QSExportStyles {

// Whether the stylesheet turns dark mode on (`autoDarkMode` present and true).
bool darkMode(const QSPagesStylesheet& styles);
// Dark mode and `showThemeToggle` present and true.
bool themeToggle(const QSPagesStylesheet& styles);

// The whole site stylesheet: font faces, root variables, reset, body, generic responsive rules,
// the design-system block, navigation glass, ambient glass, the dark block and the theme-toggle
// rules, in that order.
std::string generateCSS(const QSPagesProject& project);

// Appends `element` and its descendants that have responsive overrides, depth first.
void collectResponsiveElements(const QSPagesElement& element, std::vector<const QSPagesElement*>& out);
// Every element of every page (and the global navbar and footer) with overrides.
std::vector<const QSPagesElement*> collectResponsiveElements(const QSPagesProject& project);
// The tablet and mobile rules of those elements, or empty text when there are none.
std::string generateResponsiveCSS(const std::vector<const QSPagesElement*>& elements);

// "el-" and the first 8 characters of the element's id in lower case.
std::string responsiveClass(const QSPagesElement& element);

// The element's own declarations joined with ";" (no spaces after the colons).
std::string inlineStyle(const QSPagesElement& element, const QSPagesStylesheet& styles);

std::vector<std::string> cssPropertiesFromStyle(const QSPagesStyleOverride& style);
std::vector<std::string> cssPropertiesFromLayout(const QSPagesLayoutOverride& layout);
std::string cssDimension(const QSPagesDimension& dimension);

// "nav.brp-nav { background: …; backdrop-filter: …; -webkit-backdrop-filter: … }".
std::string navGlassOverride(const QSPagesStylesheet& styles);
// The dark navigation background for the stylesheet's `navGlass`.
std::string navDarkBackground(const QSPagesStylesheet& styles);
// The mesh layers of the page background at the light or dark intensity.
std::string pageMeshImage(const QSPagesPageMesh& mesh, bool dark);
// The body mesh and glass cards of a stylesheet with a page mesh; empty without one.
std::string ambientGlassOverride(const QSPagesStylesheet& styles);

// "<style>:root { --brand: …; [--brp-btn-ink: …;] }</style>" for a page's accent colour.
std::string pageStyle(const QSPagesColor& accent, bool darkMode);

// A number as CSS writes it: "72", "0.5".
std::string cssNumber(double value);

// The fixed design-system block (the same text for every export).
std::string_view designSystemCSS();

}  // namespace qs::QSExportStyles
