// The Leaf views of an export: the shared layout "base.leaf", one view per page, and the
// generated error pages.
#pragma once

#include "app/site/element_renderer.h"

#include <string>
#include <string_view>

namespace qs::QSPageViews {

// The view name of a page: "index" for the homepage, "404", "500" or "error" for error pages,
// else the page's safe slug components joined by "/" (nested slugs give nested folders). A name
// that would replace one of the export's own views ("index", "base", "404", "500", "error") or
// that has no components is prefixed with "page-".
std::string leafName(const QSPagesPage& page);

// The layout: head, the stylesheet (with "#" escaped for Leaf), the before-paint theme script
// with dark mode, the body and the menu, theme and share scripts.
std::string baseLeaf(const QSPagesProject& project, std::string_view stylesheet, std::string_view responsiveCSS);

// A page's view: it extends "base" and exports title, meta, pageStyle, bodyClass and body.
std::string pageLeaf(const QSPagesPage& page, const QSPagesProject& project, bool hasForms,
                     const QSHTMLUtilities::QSLinkResolver& links);

// A generated error page (code label, heading, message; the texts go in as they are, so the
// Leaf placeholders of the "error" page stay live).
std::string errorLeaf(std::string_view codeLabel, std::string_view heading, std::string_view message);

}  // namespace qs::QSPageViews
