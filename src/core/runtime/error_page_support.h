// Branded error pages for generated Vapor projects: the middleware that renders them and the
// Leaf page itself.
#pragma once

#include <string>
#include <string_view>

namespace qs::QSErrorPageSupport {

// The complete source of `ErrorPageMiddleware.swift`, an async Vapor middleware. When the rest of
// the chain throws, it takes status and reason from an abort error (else 500 and "Something went
// wrong."); a client whose Accept header lists HTML gets the Leaf view "404" (status 404), "500"
// (any 5xx) or "error" (anything else), rendered with `code` and `reason`, with that status.
// When rendering fails or the client doesn't want HTML, it answers with the status and a JSON
// body {"error": true, "reason": …}. Headers of the abort error (a redirect's Location, say)
// are kept in both cases.
extern const std::string_view middlewareSource;

// A complete, self-contained HTML5 error page (English, UTF-8, responsive, not indexed, light and
// dark colour schemes) showing the code label, the title as heading and document title, the
// message and a "Back to home" link to "/". The texts go in as they are, unescaped, so Leaf
// placeholders such as `#(code)` and `#(reason)` stay live; the style sheet's own `#` signs are
// escaped for Leaf.
std::string standaloneErrorLeaf(std::string_view codeLabel, std::string_view title, std::string_view message);

}  // namespace qs::QSErrorPageSupport
