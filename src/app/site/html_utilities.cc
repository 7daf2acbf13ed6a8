#include "app/site/html_utilities.h"

#include "core/platform/html_escape.h"
#include "core/platform/regex.h"
#include "core/platform/text.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <set>

namespace qs::QSHTMLUtilities {
namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Swift's reserved words that cannot name a method or property without backticks.
bool isSwiftKeyword(std::string_view word) {
  static const std::set<std::string_view> kKeywords{
      "associatedtype", "class", "deinit", "enum", "extension", "fileprivate", "func", "import", "init",
      "inout", "internal", "let", "open", "operator", "private", "precedencegroup", "protocol", "public",
      "rethrows", "static", "struct", "subscript", "typealias", "var", "break", "case", "catch", "continue",
      "default", "defer", "do", "else", "fallthrough", "for", "guard", "if", "in", "repeat", "return",
      "throw", "switch", "where", "while", "Any", "as", "await", "false", "is", "nil", "self", "Self",
      "super", "throws", "true", "try", "_", "some", "any", "async", "consume", "copy", "borrowing",
      "consuming", "discard", "each", "macro", "package"};
  return kKeywords.count(word) > 0;
}

std::string safeName(std::string_view text, std::string_view empty, std::string_view digitPrefix) {
  std::string out;
  for (char c : text) {
    if (c == '-' || c == '/' || c == ' ') c = '_';
    if (isAsciiLetter(c) || isDigit(c) || c == '_') out += c;
  }
  if (out.empty()) return std::string(empty);
  if (isDigit(out.front())) out = std::string(digitPrefix) + out;
  if (isSwiftKeyword(out)) out += '_';
  return out;
}

bool hasURLScheme(std::string_view link) {
  static const QSRegex kScheme("^[a-zA-Z][a-zA-Z0-9+.\\-]*:");
  return kScheme.contains(link);
}

std::string lastComponent(std::string_view path) {
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::string escapeHTML(std::string_view text) {
  std::string out;
  for (std::size_t start = 0;;) {
    auto hash = text.find('#', start);
    out += qs::escapeHTML(text.substr(start, hash == std::string_view::npos ? hash : hash - start));
    if (hash == std::string_view::npos) return out;
    out += "&#35;";
    start = hash + 1;
  }
}

std::string neutralizeLeafTags(std::string_view html) {
  std::string out;
  out.reserve(html.size() + 16);
  for (char c : html) {
    if (c == '#')
      out += "&#35;";
    else
      out += c;
  }
  return out;
}

std::string leafSafeMarkup(std::string_view html) {
  static constexpr std::string_view kKept[] = {"#if(formSuccess):", "#endif"};
  std::string out;
  out.reserve(html.size() + 64);
  for (std::size_t i = 0; i < html.size(); ++i) {
    char c = html[i];
    if (c != '#') {
      out += c;
      continue;
    }
    bool reference = i > 0 && html[i - 1] == '&' && i + 1 < html.size() && isDigit(html[i + 1]);
    bool tag = std::any_of(std::begin(kKept), std::end(kKept),
                           [&](std::string_view kept) { return html.substr(i, kept.size()) == kept; });
    out += (reference || tag) ? "#" : "&#35;";
  }
  return out;
}

std::string swiftStringLiteral(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (byte < 0x20 || byte == 0x7f) out += fmt::format("\\u{{{:x}}}", byte);
    else out += c;
  }
  return out + "\"";
}

std::vector<std::string> slugComponents(std::string_view slug) {
  std::vector<std::string> components;
  std::string current;
  auto finish = [&] {
    if (!current.empty() && current != "." && current != "..") components.push_back(current);
    current.clear();
  };
  for (char c : slug) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\') finish();
    else if (byte >= 0x20 && byte != 0x7f) current += c;
  }
  finish();
  return components;
}

std::string normalizedSlug(std::string_view slug) {
  std::string out;
  for (const auto& part : slugComponents(slug)) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::string safeMethodName(std::string_view text) { return safeName(text, "page", "page_"); }
std::string safeFieldName(std::string_view text) { return safeName(text, "field", "field_"); }

std::vector<std::string> formFieldNames(const std::vector<QSPagesFormField>& fields) {
  std::vector<std::string> names;
  std::set<std::string> used;
  for (const auto& field : fields) {
    std::string base = safeFieldName(field.label), name = base;
    for (int n = 2; used.count(name); ++n) name = base + "_" + std::to_string(n);
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

std::string mimeToExtension(std::string_view mimeType) {
  if (mimeType == "image/png") return "png";
  if (mimeType == "image/jpeg") return "jpg";
  if (mimeType == "image/gif") return "gif";
  if (mimeType == "image/webp") return "webp";
  if (mimeType == "image/svg+xml") return "svg";
  return "bin";
}

std::string cssFontFallback(std::string_view family) {
  if (family == "Fraunces" || family == "Lora") return "Georgia, serif";
  if (family == "JetBrains Mono") return "'Courier New', monospace";
  return "-apple-system, BlinkMacSystemFont, 'Segoe UI', sans-serif";
}

std::string cssValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) continue;
    if (std::string_view(";{}<>\"'\\").find(c) != std::string_view::npos) continue;
    out += c;
  }
  return out;
}

const std::vector<QSBundledFont>& bundledFonts() {
  static const std::vector<QSBundledFont> kFonts{{"Inter", "Inter"},   {"Fraunces", "Fraunces"},
                                                 {"DM Sans", "DMSans"}, {"Lora", "Lora"},
                                                 {"Outfit", "Outfit"}, {"JetBrains Mono", "JetBrainsMono"}};
  return kFonts;
}

std::vector<QSBundledFont> bundledFontFiles(const QSPagesProject& project) {
  std::vector<QSBundledFont> used;
  for (const auto& font : bundledFonts()) {
    bool uses = std::any_of(project.globalStyles.fontTokens.begin(), project.globalStyles.fontTokens.end(),
                            [&](const QSPagesFontToken& token) { return token.fontFamily == font.family; });
    if (uses) used.push_back(font);
  }
  return used;
}

std::optional<QSPageLinkParts> pageLinkParts(std::string_view link) {
  if (link.empty() || link.front() == '#' || link.front() == '/' || hasURLScheme(link)) return std::nullopt;
  auto cut = link.find_first_of("#?");
  QSPageLinkParts parts;
  parts.file = std::string(link.substr(0, cut));
  if (cut != std::string_view::npos) parts.suffix = std::string(link.substr(cut));
  std::string name = asciiLowercased(parts.file);
  if (name.size() < 5 || name.compare(name.size() - 5, 5, ".html") != 0) return std::nullopt;
  return parts;
}

std::string pageRoute(std::string_view link) {
  auto parts = pageLinkParts(link);
  if (!parts) return std::string(link);
  std::string name = parts->file.substr(0, parts->file.size() - 5);
  std::string route = (name.empty() || name == "index") ? "/" : "/" + name;
  return route + parts->suffix;
}

QSLinkResolver::QSLinkResolver(const std::vector<QSPagesPage>& pages) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& page : pages) {
    std::string slug = normalizedSlug(page.slug);
    std::string file = page.isHomepage ? "index.html" : slug.substr(1) + ".html";
    files.emplace_back(file, page.isHomepage ? "/" : slug);
  }
  for (const auto& [file, route] : files) routes_[lastComponent(file)] = route;
  for (const auto& [file, route] : files) routes_[file] = route;
}

std::optional<std::string> QSLinkResolver::resolvedLink(std::string_view link) const {
  auto parts = pageLinkParts(link);
  if (!parts) return std::nullopt;
  if (auto full = routes_.find(parts->file); full != routes_.end()) return full->second + parts->suffix;
  if (auto last = routes_.find(lastComponent(parts->file)); last != routes_.end()) return last->second + parts->suffix;
  return pageRoute(link);
}

std::string QSLinkResolver::href(std::string_view link) const {
  if (link.empty()) return escapeHTML("#");
  auto resolved = resolvedLink(link);
  return escapeHTML(resolved ? *resolved : std::string(link));
}

std::string QSLinkResolver::rewriteLinks(std::string_view html) const {
  static constexpr std::string_view kOpen = "href=\"";
  std::string out;
  std::size_t at = 0;
  while (true) {
    auto start = html.find(kOpen, at);
    if (start == std::string_view::npos) break;
    auto valueStart = start + kOpen.size();
    auto end = html.find('"', valueStart);
    if (end == std::string_view::npos) break;
    out += neutralizeLeafTags(html.substr(at, start - at));
    out += "href=\"" + href(html.substr(valueStart, end - valueStart)) + "\"";
    at = end + 1;
  }
  out += neutralizeLeafTags(html.substr(at));
  return out;
}

std::string QSLinkResolver::inlineFormat(std::string_view text) const {
  static const QSRegex kLink(R"(\[([^\]]+)\]\(([^)\s]+)\))");
  auto codeSpans = [](std::string_view plain) {
    std::string out;
    bool inCode = false;
    std::size_t at = 0;
    while (true) {
      auto tick = plain.find('`', at);
      if (tick == std::string_view::npos) break;
      // A lone back-tick with no partner is kept as it is.
      if (!inCode && plain.find('`', tick + 1) == std::string_view::npos) break;
      out += escapeHTML(plain.substr(at, tick - at));
      out += inCode ? "</code>" : "<code class=\"brp-code\">";
      inCode = !inCode;
      at = tick + 1;
    }
    return out + escapeHTML(plain.substr(at));
  };
  std::string out;
  std::string_view rest = text;
  while (auto range = kLink.firstMatchRange(rest)) {
    auto groups = kLink.firstMatch(rest.substr(range->first, range->second));
    out += codeSpans(rest.substr(0, range->first));
    out += "<a href=\"" + href((*groups)[1]) + "\">" + escapeHTML((*groups)[0]) + "</a>";
    rest = rest.substr(range->first + range->second);
  }
  return out + codeSpans(rest);
}

}  // namespace qs::QSHTMLUtilities
