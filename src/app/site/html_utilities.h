// Text operations shared by the exporter and the renderers: escaping for HTML, Leaf and Swift,
// page links, safe names and paths.
#pragma once

#include "app/site/pages_document.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs::QSHTMLUtilities {

// The text escaped as for any page (qs::escapeHTML), and every "#" of it as "&#35;", so that
// Leaf, which reads "#name(" as a tag, shows document text literally while a browser still
// shows "#".
std::string escapeHTML(std::string_view text);

// Every "#" of supplied markup (rich text, documentation bodies) as "&#35;", for the same reason.
std::string neutralizeLeafTags(std::string_view html);

// Rendered markup made safe for Leaf: every "#" becomes "&#35;" except those of numeric character
// references ("&#" and a digit) and of the two Leaf tags the form renderer emits ("#if(formSuccess):"
// and "#endif"). Applying it twice changes nothing.
std::string leafSafeMarkup(std::string_view html);

// `text` as a Swift string literal, quotes included: backslash, quote, and control characters
// escaped, so no document text can end the literal or interpolate.
std::string swiftStringLiteral(std::string_view text);

// The safe path components of a page slug: split at "/" and "\", without empty, "." and ".."
// components and without control characters. "/../../.bashrc" gives {".bashrc"}.
std::vector<std::string> slugComponents(std::string_view slug);
// "/" followed by the safe components joined by "/" ("/" when there are none).
std::string normalizedSlug(std::string_view slug);

// Replace "-", "/" and space with "_"; keep ASCII letters, digits and "_"; empty gives "page";
// a leading digit gets the prefix "page_"; a Swift keyword gets a trailing "_".
std::string safeMethodName(std::string_view text);
// The same with "field" and "field_".
std::string safeFieldName(std::string_view text);

// The input names of a form's fields: safeFieldName of each label, a repeated name numbered
// ("email", "email_2") so that every field keeps its own value.
std::vector<std::string> formFieldNames(const std::vector<QSPagesFormField>& fields);

// "png", "jpg", "gif", "webp", "svg", else "bin".
std::string mimeToExtension(std::string_view mimeType);

// The CSS fallback stack of a font family.
std::string cssFontFallback(std::string_view family);

// A document value made safe to place inside a CSS declaration: characters that could end the
// declaration, rule or style element (";", "{", "}", "<", ">", quotes, backslash, controls) are dropped.
std::string cssValue(std::string_view text);

// A font family of the font table and its file name (without extension).
struct QSBundledFont {
  std::string_view family;
  std::string_view fileName;
};
// The font table: Inter, Fraunces, DM Sans, Lora, Outfit, JetBrains Mono.
const std::vector<QSBundledFont>& bundledFonts();
// The table's fonts that the document's font tokens use, in table order.
std::vector<QSBundledFont> bundledFontFiles(const QSPagesProject& project);

// The file part and the suffix ("#…" or "?…" and what follows) of a link to a static page
// file: absent for an empty link, one starting with "#" or "/", one with a URL scheme, or one
// whose file part does not end in ".html".
struct QSPageLinkParts {
  std::string file;
  std::string suffix;
};
std::optional<QSPageLinkParts> pageLinkParts(std::string_view link);
// The route of a static page link: "/" for "index.html" (or an empty name), else "/" + name,
// then the suffix. Only meaningful when pageLinkParts is present.
std::string pageRoute(std::string_view link);

// Rewrites the links the site builder wrote as static file names into the project's routes.
class QSLinkResolver {
public:
  QSLinkResolver() = default;
  // From the pages (buildPageRoutes): last file-name component, then full file name, to route.
  explicit QSLinkResolver(const std::vector<QSPagesPage>& pages);

  // The route for a static page link, keeping its suffix; absent for other links.
  std::optional<std::string> resolvedLink(std::string_view link) const;
  // The attribute text of a link: "#" for empty, the resolved route, else the link itself; escaped.
  std::string href(std::string_view link) const;
  // Every href="…" of `html` replaced by the href of its value.
  std::string rewriteLinks(std::string_view html) const;
  // Escapes `text`, then turns [label](target) into links and `code` into code spans.
  std::string inlineFormat(std::string_view text) const;

  const std::map<std::string, std::string>& pageRoutes() const { return routes_; }

private:
  std::map<std::string, std::string> routes_;
};

}  // namespace qs::QSHTMLUtilities
