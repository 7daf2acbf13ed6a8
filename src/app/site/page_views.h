// The Leaf views of an export: the shared layout "base.leaf", one view per page, and the
// generated error pages.
#pragma once

#include "app/site/element_renderer.h"

#include <string>
#include <string_view>
#include <vector>

namespace qs::QSPageViews {

// The view name of a page: "index" for the homepage, "404", "500" or "error" for error pages,
// else the page's safe slug components joined by "/" (nested slugs give nested folders), each
// without leading dots (a hidden file is no view) and cut to a length every file system takes.
// A name that would replace one of the export's own views ("index", "base", "404", "500",
// "error") or that has no components is prefixed with "page-".
std::string leafName(const QSPagesPage& page);
// The view names of all pages, in page order: leafName, with a name that an earlier page already
// has numbered ("about-2", "about-3") so that no page's view replaces another's.
std::vector<std::string> leafNames(const std::vector<QSPagesPage>& pages);

// The layout: head, the stylesheet (with "#" escaped for Leaf), the before-paint theme script
// with dark mode, the body and the menu, theme and share scripts.
std::string baseLeaf(const QSPagesProject& project, std::string_view stylesheet, std::string_view responsiveCSS);

// A page's view, `viewName` being its name from leafNames: it extends "base" and exports title,
// meta, pageStyle, bodyClass and body.
std::string pageLeaf(const QSPagesPage& page, std::string_view viewName, const QSPagesProject& project,
                     bool hasForms, const QSHTMLUtilities::QSLinkResolver& links);

// A generated error page (code label, heading, message; the texts go in as they are, so the
// Leaf placeholders of the "error" page stay live).
std::string errorLeaf(std::string_view codeLabel, std::string_view heading, std::string_view message);

}  // namespace qs::QSPageViews
