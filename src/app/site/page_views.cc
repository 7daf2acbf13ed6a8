#include "app/site/page_views.h"

#include "app/site/export_styles.h"
#include "app/site/text_cuts.h"

#include <fmt/format.h>

#include <set>

namespace qs::QSPageViews {
namespace {

using QSHTMLUtilities::escapeHTML;
using QSHTMLUtilities::leafSafeMarkup;

// A view file is its name's last component + ".leaf" (and ".html" in a preview): NAME_MAX (255)
// less that extension and room for a "-NNN" that tells equal names apart.
constexpr std::size_t kMaxComponentBytes = 240;
// A whole view name, far below PATH_MAX even inside a deep projects folder.
constexpr std::size_t kMaxViewBytes = 2000;

// Leaf reads "#" followed by a letter as a tag; in CSS text "\#" prints a plain "#".
std::string leafEscapedCSS(std::string_view css) {
  std::string out;
  out.reserve(css.size() + 256);
  for (char c : css) {
    if (c == '#') out += '\\';
    out += c;
  }
  return out;
}

constexpr std::string_view kThemeBeforePaint = R"JS(<script>
(function () {
  var mode = 'system';
  try { mode = localStorage.getItem('brp-theme') || 'system'; } catch (e) {}
  var dark = mode === 'dark' || (mode === 'system' && window.matchMedia('(prefers-color-scheme: dark)').matches);
  var root = document.documentElement;
  if (mode !== 'system') root.setAttribute('data-theme', dark ? 'dark' : 'light');
  root.style.colorScheme = dark ? 'dark' : 'light';
})();
</script>
)JS";

constexpr std::string_view kMenuScript = R"JS(<script>
document.addEventListener('click', function (event) {
  var toggle = event.target.closest('.brp-nav-toggle');
  if (!toggle) return;
  var nav = toggle.closest('.brp-nav');
  if (!nav) return;
  var open = nav.classList.toggle('open');
  toggle.setAttribute('aria-expanded', open ? 'true' : 'false');
});
</script>
)JS";

constexpr std::string_view kThemeScript = R"JS(<script>
(function () {
  var order = { light: 'dark', dark: 'system', system: 'light' };
  var media = window.matchMedia('(prefers-color-scheme: dark)');
  function current() { try { return localStorage.getItem('brp-theme') || 'system'; } catch (e) { return 'system'; } }
  function apply(mode) {
    var root = document.documentElement;
    var dark = mode === 'dark' || (mode === 'system' && media.matches);
    if (mode === 'system') root.removeAttribute('data-theme'); else root.setAttribute('data-theme', dark ? 'dark' : 'light');
    root.style.colorScheme = dark ? 'dark' : 'light';
    document.querySelectorAll('.brp-theme-toggle').forEach(function (button) {
      button.setAttribute('data-mode', mode);
      button.title = 'Theme: ' + mode.charAt(0).toUpperCase() + mode.slice(1);
    });
  }
  document.querySelectorAll('.brp-theme-toggle').forEach(function (button) {
    button.addEventListener('click', function () {
      var next = order[current()] || 'light';
      try { localStorage.setItem('brp-theme', next); } catch (e) {}
      apply(next);
    });
  });
  media.addEventListener('change', function () { if (current() === 'system') apply('system'); });
  apply(current());
})();
</script>
)JS";

constexpr std::string_view kShareScript = R"JS(<script>
(function () {
  var targets = {
    twitter: 'https://twitter.com/intent/tweet?url=',
    linkedin: 'https://www.linkedin.com/sharing/share-offsite/?url=',
    facebook: 'https://www.facebook.com/sharer/sharer.php?u=',
    email: 'mailto:?body='
  };
  function copy(button) {
    if (navigator.clipboard) navigator.clipboard.writeText(location.href);
    if (button) { var text = button.textContent; button.textContent = 'Link copied'; setTimeout(function () { button.textContent = text; }, 1600); }
  }
  document.querySelectorAll('[data-brp-share]').forEach(function (button) {
    button.addEventListener('click', function () {
      if (navigator.share) navigator.share({ title: document.title, url: location.href }).catch(function () {});
      else copy(button);
    });
  });
  document.querySelectorAll('[data-brp-share-net]').forEach(function (link) {
    var network = link.getAttribute('data-brp-share-net');
    if (network === 'copy') { link.addEventListener('click', function (event) { event.preventDefault(); copy(null); }); return; }
    link.href = targets[network] + encodeURIComponent(location.href);
    if (network !== 'email') { link.target = '_blank'; link.rel = 'noopener'; }
  });
})();
</script>
)JS";

bool hasShareButton(const QSPagesProject& project) {
  bool found = false;
  forEachElement(project, [&](const QSPagesElement& e) {
    found = found || e.kind.type == QSPagesElementKind::Type::shareButton;
  });
  return found;
}

std::string block(std::string_view name, std::string_view content) {
  return fmt::format("#export(\"{}\"):{}#endexport\n", name, content);
}

}  // namespace

std::string leafName(const QSPagesPage& page) {
  if (page.isHomepage) return "index";
  if (page.errorRole) {
    switch (*page.errorRole) {
      case QSPagesErrorPageRole::notFound: return "404";
      case QSPagesErrorPageRole::serverError: return "500";
      case QSPagesErrorPageRole::generic: return "error";
    }
  }
  std::string name;
  for (const auto& part : QSHTMLUtilities::slugComponents(page.slug)) {
    auto visible = part.find_first_not_of('.');
    if (visible == std::string::npos) continue;
    std::string cut = QSTextCuts::prefix(std::string_view(part).substr(visible), kMaxComponentBytes);
    if (name.size() + 1 + cut.size() > kMaxViewBytes) break;
    name += (name.empty() ? "" : "/") + cut;
  }
  if (name.empty()) return "page-";
  for (std::string_view reserved : {"index", "base", "404", "500", "error"})
    if (name == reserved) return "page-" + name;
  return name;
}

std::vector<std::string> leafNames(const std::vector<QSPagesPage>& pages) {
  std::vector<std::string> names;
  std::set<std::string> used;
  for (const auto& page : pages) {
    std::string base = leafName(page), name = base;
    for (int n = 2; used.count(name); ++n) name = base + "-" + std::to_string(n);
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

std::string baseLeaf(const QSPagesProject& project, std::string_view stylesheet, std::string_view responsiveCSS) {
  const auto& styles = project.globalStyles;
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"UTF-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
      "<title>#import(\"title\")</title>\n#import(\"meta\")\n<style>\n";
  out += leafEscapedCSS(stylesheet);
  out += leafEscapedCSS(responsiveCSS);
  out += "</style>\n";
  if (QSExportStyles::darkMode(styles)) out += kThemeBeforePaint;
  out += "#import(\"pageStyle\")\n</head>\n<body#import(\"bodyClass\")>\n#import(\"body\")\n";
  out += kMenuScript;
  if (QSExportStyles::themeToggle(styles)) out += kThemeScript;
  if (hasShareButton(project)) out += kShareScript;
  return out + "</body>\n</html>\n";
}

std::string pageLeaf(const QSPagesPage& page, std::string_view viewName, const QSPagesProject& project,
                     bool hasForms, const QSHTMLUtilities::QSLinkResolver& links) {
  QSRenderContext context{project, links, hasForms, std::string(viewName)};
  std::string out = "#extend(\"base\"):\n";
  out += block("title", escapeHTML(page.seo.title.empty() ? page.name : page.seo.title));
  std::string meta;
  if (!page.seo.metaDescription.empty())
    meta += "\n    <meta name=\"description\" content=\"" + escapeHTML(page.seo.metaDescription) + "\">";
  if (page.seo.canonicalURL)
    meta += "\n    <link rel=\"canonical\" href=\"" + escapeHTML(*page.seo.canonicalURL) + "\">";
  if (page.seo.noIndex) meta += "\n    <meta name=\"robots\" content=\"noindex\">";
  out += block("meta", meta.empty() ? "" : meta + "\n");
  std::string pageStyle;
  if (page.accentColor)
    pageStyle = leafEscapedCSS(QSExportStyles::pageStyle(*page.accentColor, QSExportStyles::darkMode(project.globalStyles)));
  out += block("pageStyle", pageStyle);
  bool glow = project.globalStyles.pageMesh.has_value() && page.isHomepage;
  out += block("bodyClass", glow ? " class=\"brp-glow\"" : "");
  std::string body;
  if (project.globalNavbar) body += renderElement(*project.globalNavbar, context);
  for (const auto& element : page.elements) body += renderElement(element, context);
  if (project.globalFooter) body += renderElement(*project.globalFooter, context);
  out += "#export(\"body\"):\n" + leafSafeMarkup(body) + "#endexport\n#endextend\n";
  return out;
}

std::string errorLeaf(std::string_view codeLabel, std::string_view heading, std::string_view message) {
  std::string out = "#extend(\"base\"):\n";
  out += block("title", heading);
  out += block("meta", "\n    <meta name=\"robots\" content=\"noindex\">\n");
  out += block("pageStyle", "");
  out += block("bodyClass", "");
  out += fmt::format(
      "#export(\"body\"):\n"
      "<main style=\"min-height:70vh;display:flex;flex-direction:column;align-items:center;justify-content:center;"
      "gap:14px;padding:96px 32px;text-align:center\">\n"
      "  <p style=\"font-size:12px;letter-spacing:3px;text-transform:uppercase;color:var(--brp-text-tri, rgb(154,154,154))\">{}</p>\n"
      "  <h1 style=\"font-size:40px;font-weight:600;letter-spacing:-0.8px\">{}</h1>\n"
      "  <p style=\"max-width:480px;color:var(--brp-text-sec, rgb(107,107,107))\">{}</p>\n"
      "  <a href=\"/\" class=\"brp-btn brp-btn-primary\" style=\"margin-top:12px\">Back to home</a>\n"
      "</main>\n"
      "#endexport\n#endextend\n",
      codeLabel, heading, message);
  return out;
}

}  // namespace qs::QSPageViews
