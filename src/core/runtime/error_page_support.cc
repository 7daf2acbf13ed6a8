#include "core/runtime/error_page_support.h"

#include <fmt/format.h>

namespace qs::QSErrorPageSupport {

const std::string_view middlewareSource = R"swift(import Vapor

/// Turns errors thrown further down the chain into branded HTML error pages for browsers, and
/// into a JSON body for API clients (or when a page can't be rendered).
struct ErrorPageMiddleware: AsyncMiddleware {
    func respond(to request: Request, chainingTo next: any AsyncResponder) async throws -> Response {
        do {
            return try await next.respond(to: request)
        } catch {
            return try await errorResponse(for: error, to: request)
        }
    }

    private func errorResponse(for error: any Error, to request: Request) async throws -> Response {
        let status: HTTPResponseStatus
        let reason: String
        let headers: HTTPHeaders
        if let abort = error as? any AbortError {
            status = abort.status
            reason = abort.reason
            headers = abort.headers
        } else {
            status = .internalServerError
            reason = "Something went wrong."
            headers = [:]
        }
        if status.code >= 500 {
            request.logger.report(error: error)
        }

        let response: Response
        if request.headers.accept.mediaTypes.contains(.html),
           let page = try? await renderPage(status: status, reason: reason, for: request) {
            response = page
        } else {
            response = Response(status: status)
            try response.content.encode(ErrorBody(error: true, reason: reason), as: .json)
        }
        // Keep what the error asked for, such as a redirect's Location; the body type is ours.
        for (name, value) in headers where name.lowercased() != "content-type" {
            response.headers.add(name: name, value: value)
        }
        return response
    }

    private func renderPage(status: HTTPResponseStatus, reason: String, for request: Request) async throws -> Response {
        let template: String
        switch status.code {
        case 404:
            template = "404"
        case 500...599:
            template = "500"
        default:
            template = "error"
        }
        let context = ErrorPageContext(code: Int(status.code), reason: reason)
        let response = try await request.view.render(template, context).encodeResponse(for: request)
        response.status = status
        return response
    }
}

/// What the error templates show: #(code) and #(reason).
private struct ErrorPageContext: Encodable {
    let code: Int
    let reason: String
}

/// The answer for clients that don't want HTML.
private struct ErrorBody: Encodable {
    let error: Bool
    let reason: String
}
)swift";

namespace {

// Leaf reads `#` followed by a letter as the start of a tag, so every `#` of the style sheet is
// written as `\#`, which Leaf prints as a plain `#`.
constexpr std::string_view kPageTemplate = R"leaf(<!DOCTYPE html>
<html lang="en">
<head>
    <meta charset="utf-8">
    <meta name="viewport" content="width=device-width, initial-scale=1">
    <meta name="robots" content="noindex">
    <title>{title}</title>
    <style>
        :root {{
            color-scheme: light dark;
            --accent: \#C026D3;
            --background: \#ffffff;
            --text: \#1a171e;
        }}
        @media (prefers-color-scheme: dark) {{
            :root {{
                --background: \#151217;
                --text: \#ededed;
            }}
        }}
        * {{ box-sizing: border-box; }}
        body {{
            margin: 0;
            min-height: 100vh;
            display: flex;
            align-items: center;
            justify-content: center;
            padding: 24px;
            background: var(--background);
            color: var(--text);
            font-family: system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif;
            line-height: 1.5;
        }}
        main {{
            width: 100%;
            max-width: 560px;
            text-align: center;
        }}
        .code {{
            margin: 0 0 8px;
            color: var(--accent);
            font-size: 14px;
            font-weight: 600;
            letter-spacing: 0.08em;
            text-transform: uppercase;
        }}
        h1 {{
            margin: 0 0 12px;
            font-size: 32px;
            line-height: 1.2;
        }}
        .msg {{
            margin: 0 0 28px;
            opacity: 0.8;
        }}
        .home {{
            display: inline-block;
            padding: 10px 20px;
            border-radius: 8px;
            background: var(--accent);
            color: \#ffffff;
            font-weight: 600;
            text-decoration: none;
        }}
        .home:hover {{ opacity: 0.9; }}
    </style>
</head>
<body>
    <main>
        <p class="code">{codeLabel}</p>
        <h1>{title}</h1>
        <p class="msg">{message}</p>
        <a class="home" href="/">Back to home</a>
    </main>
</body>
</html>
)leaf";

}  // namespace

std::string standaloneErrorLeaf(std::string_view codeLabel, std::string_view title, std::string_view message) {
  return fmt::format(fmt::runtime(kPageTemplate), fmt::arg("codeLabel", codeLabel), fmt::arg("title", title),
                     fmt::arg("message", message));
}

}  // namespace qs::QSErrorPageSupport
