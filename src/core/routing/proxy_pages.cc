#include "core/routing/proxy_pages.h"

#include "core/platform/html_escape.h"

#include <fmt/format.h>

namespace qs::QSProxyPages {
namespace {

const char* const kStyle =
    "</title>\n<style>\n"
    ":root{color-scheme:light dark}\n"
    "body{margin:0;font:15px/1.5 system-ui,-apple-system,\"Segoe UI\",Roboto,\"Helvetica Neue\",sans-serif;"
    "color:#1d1d1f;background:#f5f5f7}\n"
    "main{max-width:34em;margin:12vh auto;padding:0 1.5em}\n"
    "h1{font-size:1.6em;font-weight:600;margin:0 0 .6em}\n"
    "h1 strong{color:#C026D3}\n"
    "ul{padding-left:1.2em}li{margin:.4em 0}\n"
    "footer{margin-top:2.5em;font-size:.85em;color:#6e6e73}\n"
    "@media (prefers-color-scheme:dark){body{color:#f5f5f7;background:#1d1d1f}"
    "h1 strong{color:#E879F9}footer{color:#86868b}}\n"
    "</style></head>\n<body><main>\n<h1>";

}  // namespace

std::string diagnosisHTML(std::string_view title, std::string_view heading, const std::vector<std::string>& paragraphs,
                          const std::vector<std::string>& causes) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  html += title;
  html += kStyle;
  html += heading;
  html += "</h1>\n";
  for (const auto& paragraph : paragraphs) html += "<p>" + paragraph + "</p>";
  html += "\n";
  if (!causes.empty()) {
    html += "<ul>";
    for (const auto& cause : causes) html += "<li>" + cause + "</li>";
    html += "</ul>";
  }
  html += "\n<footer>Quayside proxy</footer>\n</main></body></html>";
  return html;
}

std::string response(int status, std::string_view reason, std::string_view body) {
  return fmt::format(
      "HTTP/1.1 {} {}\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: {}\r\nConnection: close\r\n\r\n{}",
      status, reason, body.size(), body);
}

std::string projectNotRunning(std::string_view host, int port) {
  std::string name = escapeHTML(host);
  std::string body = diagnosisHTML(
      name + " — project not running", "<strong>" + name + "</strong> isn’t running",
      {fmt::format("The domain is registered with Quayside, but nothing answered on localhost:{}.", port)},
      {"Start the project’s server in Quayside, then reload this page.",
       fmt::format("If the server is running, check that it listens on port {} — the port configured for this domain.",
                   port)});
  return response(502, "Bad Gateway", body);
}

std::string unknownHost(std::string_view host) {
  std::string name = escapeHTML(host);
  std::string body = diagnosisHTML(
      name + " — not served by Quayside", "<strong>" + name + "</strong> isn’t served by Quayside",
      {"This request reached Quayside’s proxy because .test routing is enabled, but no project is registered for "
       "this domain."},
      {"The site belongs to another tool (Laravel Herd, Valet, …). While Quayside’s .test routing is enabled, it "
       "receives all local traffic on ports 80/443 — disable it in Quayside’s menubar or Settings to hand the ports "
       "back.",
       "The domain was removed or renamed in Quayside — check the project’s Domains tab."});
  return response(502, "Bad Gateway", body);
}

std::string error(int status, std::string_view reason) {
  std::string title = fmt::format("{} {}", status, reason);
  return response(status, reason, diagnosisHTML(title, reason, {}, {}));
}

}  // namespace qs::QSProxyPages
