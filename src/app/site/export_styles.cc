#include "app/site/export_styles.h"

#include "app/site/html_utilities.h"
#include "app/site/pages_enum_names.h"
#include "app/site/text_cuts.h"
#include "core/platform/text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace qs::QSExportStyles {
namespace {

using QSHTMLUtilities::cssFontFallback;
using QSHTMLUtilities::cssValue;
using namespace QSSiteColors;

// The brand colour of a document that names none.
constexpr std::string_view kDefaultBrand = "#6D28D9";

// A token name as the tail of a CSS custom property: letters, digits, "-" and "_".
std::string variableName(std::string_view name) {
  std::string out;
  for (char c : asciiLowercased(name)) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
      out += c;
    else if (c == ' ')
      out += '-';
  }
  return out.empty() ? "token" : out;
}

// A document number truncated to a whole number, as CSS gets it; values no layout could use
// (not finite, or beyond any screen) are clamped rather than overflowing the conversion.
long long whole(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<long long>(std::clamp(value, -1e12, 1e12));
}

std::string wholePx(double value) { return fmt::format("{}px", whole(value)); }

const QSPagesFontToken* fontToken(const QSPagesStylesheet& styles, std::string_view name) {
  for (const auto& token : styles.fontTokens)
    if (token.name == name) return &token;
  return nullptr;
}

const QSPagesColorToken* colorToken(const QSPagesStylesheet& styles, std::initializer_list<std::string_view> names) {
  for (auto wanted : names)
    for (const auto& token : styles.colorTokens)
      if (variableName(token.name) == wanted) return &token;
  return nullptr;
}

std::string insets(std::string_view property, const QSPagesEdgeInsets& e) {
  return fmt::format("{}:{}px {}px {}px {}px", property, cssNumber(e.top), cssNumber(e.right), cssNumber(e.bottom),
                     cssNumber(e.left));
}

bool anyNonZero(const QSPagesEdgeInsets& e) { return e.top != 0 || e.right != 0 || e.bottom != 0 || e.left != 0; }

// The ink of buttons on `accent`: `--brp-btn-ink` for light mode and, when the accent is
// themed, for its dark variant too.
std::string buttonInk(std::string_view accent, bool themedAccent) {
  std::string light = readableInk(accent);
  if (!themedAccent) return light;
  std::string dark = readableInk(autoDarkVariant(accent, QSColorRole::other));
  return light == dark ? light : "light-dark(" + light + ", " + dark + ")";
}

// A colour of the document's own when it has a token of one of these names.
std::optional<std::string> tokenColour(const QSPagesStylesheet& styles,
                                       std::initializer_list<std::string_view> names) {
  const QSPagesColorToken* token = colorToken(styles, names);
  if (!token) return std::nullopt;
  return cssValue(token->color.hex);
}

// The tints the design system reads: "--brand-light" behind badges, chips and icon tiles,
// "--accent-deep" for text on that tint, "--accent-glass" for glass accents. Taken from the
// document's tokens of those names, else derived from the brand so that an amber site gets amber
// tints; with dark mode each follows the theme.
std::string derivedTokens(const QSPagesStylesheet& styles, std::string_view brand, bool dark) {
  auto hsl = hexToHSL(brand);
  if (!hsl) return "";
  QSHSL tintHSL = *hsl;
  tintHSL.l = 0.94;
  tintHSL.a = 1;
  std::string tint = tokenColour(styles, {"brand-light", "brandlight"}).value_or(hslToHex(tintHSL));
  std::string deep =
      tokenColour(styles, {"accent-deep", "accentdeep"}).value_or(withContrast(brand.substr(0, 7), tint, 4.5));
  std::string glass = tokenColour(styles, {"accent-glass", "accentglass"}).value_or(std::string(brand));
  if (dark) {
    std::string darkTint = autoDarkVariant(tint, QSColorRole::background);
    std::string darkDeep = withContrast(autoDarkVariant(deep, QSColorRole::foreground), darkTint, 4.5);
    tint = "light-dark(" + tint + ", " + darkTint + ")";
    deep = "light-dark(" + deep + ", " + darkDeep + ")";
  }
  return fmt::format("  --brand-light: {};\n  --accent-deep: {};\n  --accent-glass: {};\n", tint, deep, glass);
}

std::string gradientCSS(const QSPagesGradient& gradient, bool dark) {
  std::vector<QSPagesGradientStop> stops = gradient.stops;
  std::stable_sort(stops.begin(), stops.end(),
                   [](const auto& a, const auto& b) { return a.position < b.position; });
  std::string list;
  for (const auto& stop : stops) {
    if (!list.empty()) list += ", ";
    double percent = stop.position * 100;
    // Stops follow the theme like plain backgrounds, or themed text would land on light stops.
    list += themed(cssValue(stop.color.hex), QSColorRole::background, dark) + " " +
            fmt::format("{}%", whole(percent));
  }
  if (gradient.type == QSPagesGradientType::radial) return "background:radial-gradient(circle, " + list + ")";
  return fmt::format("background:linear-gradient({}deg, {})", whole(gradient.angle), list);
}

void glassCSS(QSPagesGlassPreset preset, bool dark, std::vector<std::string>& out) {
  static constexpr double kLight[] = {0.1, 0.62, 0.22}, kDark[] = {0.3, 0.55, 0.24};
  static constexpr int kRadius[] = {8, 18, 30};
  static constexpr std::string_view kFactor[] = {"1.2", "1.6", "1.85"};
  auto i = static_cast<std::size_t>(preset);
  std::string light = fmt::format("rgba(255,255,255,{})", kLight[i]);
  out.push_back("background:" + (dark ? fmt::format("light-dark({}, rgba(27,25,34,{}))", light, kDark[i]) : light));
  std::string filter = fmt::format("blur({}px) saturate({})", kRadius[i], kFactor[i]);
  out.push_back("-webkit-backdrop-filter:" + filter);
  out.push_back("backdrop-filter:" + filter);
}

void borderCSS(const QSPagesElementStyle& s, bool dark, std::vector<std::string>& out) {
  if (s.borderWidth) {
    std::string colour = "currentColor";
    if (s.borderColor) {
      auto hsl = hexToHSL(s.borderColor->hex);
      colour = dark && hsl && hsl->l > 0.55 ? "var(--brp-border)"
                                            : themed(cssValue(s.borderColor->hex), QSColorRole::background, dark);
    }
    std::string style(pagesRawValue(s.borderStyle.value_or(QSPagesBorderStyle::solid)));
    out.push_back(fmt::format("border:{}px {} {}", cssNumber(*s.borderWidth), style, colour));
  }
  const auto& r = s.borderRadius;
  if (r.topLeft != 0 || r.topRight != 0 || r.bottomRight != 0 || r.bottomLeft != 0)
    out.push_back(fmt::format("border-radius:{}px {}px {}px {}px", cssNumber(r.topLeft), cssNumber(r.topRight),
                              cssNumber(r.bottomRight), cssNumber(r.bottomLeft)));
  if (s.shadow)
    out.push_back(fmt::format("box-shadow:{}px {}px {}px {}px {}", cssNumber(s.shadow->x), cssNumber(s.shadow->y),
                              cssNumber(s.shadow->blur), cssNumber(s.shadow->spread),
                              themed(cssValue(s.shadow->color.hex), QSColorRole::other, dark)));
  if (s.opacity != 1) out.push_back(fmt::format("opacity:{:.2f}", s.opacity));
}

std::string rootBlock(const QSPagesProject& project, bool dark) {
  const auto& styles = project.globalStyles;
  std::string out = ":root {\n";
  for (const auto& token : styles.colorTokens)
    out += fmt::format("  --color-{}: {};\n", variableName(token.name), cssValue(token.color.hex));
  for (const auto& token : styles.fontTokens)
    out += fmt::format("  --font-{}: '{}', {};\n", variableName(token.name), cssValue(token.fontFamily),
                       cssFontFallback(token.fontFamily));
  auto brand = tokenColour(styles, {"brand", "primary", "accent"});
  if (brand) out += "  --brand: " + *brand + ";\n";
  const QSPagesColorToken* glow = colorToken(styles, {"heroglow", "hero-glow"});
  out += "  --brp-hero-glow: " + (glow ? cssValue(glow->color.hex) : std::string("#F0F0F0")) + ";\n";
  if (dark) out += "  color-scheme: light dark;\n";
  // The site's brand is not themed, so its buttons take one ink in both themes.
  out += "  --brp-btn-ink: " + readableInk(brand.value_or(std::string(kDefaultBrand))) + ";\n";
  out += derivedTokens(styles, brand.value_or(std::string(kDefaultBrand)), dark);
  return out + "}\n";
}

std::string bodyBlock(const QSPagesStylesheet& styles) {
  std::string family = "Inter";
  for (const auto& token : styles.fontTokens)
    if (asciiLowercased(token.name) == "body") family = cssValue(token.fontFamily);
  return fmt::format(
      "body {{\n  font-family: '{}', {};\n  line-height: 1.6;\n  color: #0D0D0C;\n  background: #FFFFFF;\n}}\n"
      "img {{ max-width: 100%; height: auto; display: block; }}\n"
      "a {{ color: inherit; text-decoration: none; }}\n",
      family, cssFontFallback(family));
}

constexpr std::string_view kGenericResponsive = R"CSS(/* Responsive: tablet */
@media (max-width: 768px) {
  nav { padding: 12px 20px !important; }
  section, [style*="padding:72px"] { padding: 48px 32px !important; }
  h1 { font-size: 32px !important; }
  h2 { font-size: 24px !important; }
  [style*="grid-template-columns"] { grid-template-columns: repeat(2, 1fr) !important; }
  [style*="flex-direction:row"] { flex-wrap: wrap !important; }
}
/* Responsive: mobile */
@media (max-width: 480px) {
  nav { flex-direction: column !important; gap: 12px !important; padding: 12px 16px !important; }
  section, [style*="padding:72px"], [style*="padding:48px"] { padding: 32px 16px !important; }
  h1 { font-size: 26px !important; }
  h2 { font-size: 20px !important; }
  h3 { font-size: 18px !important; }
  [style*="grid-template-columns"] { grid-template-columns: 1fr !important; }
  [style*="flex-direction:row"] {
    flex-direction: column !important; flex-wrap: nowrap !important; height: auto !important;
  }
  [style*="display:flex"][style*="gap"] { gap: 8px !important; }
}
)CSS";

// The dark rules, each selector prefixed by `prefix`.
std::string darkRules(const QSPagesStylesheet& styles, std::string_view prefix) {
  bool glass = styles.pageMesh.has_value();
  std::vector<std::pair<std::string, std::string>> rules;
  rules.emplace_back("",
                     "--brp-text: #ededed; --brp-text-sec: #a6a6a6; --brp-text-tri: #78757e; --brp-bg2: #17151c; "
                     "--brp-border: #2c2933; --brp-hairline: rgba(255,255,255,0.10);");
  if (glass) {
    rules.emplace_back(" body", "background: " + pageMeshImage(*styles.pageMesh, true) + ", #0b0b10; color: #ededed;");
    rules.emplace_back(" .brp-cta", "background: rgba(27,25,34,.55); border-color: rgba(255,255,255,.08);");
    rules.emplace_back(" .brp-card", "border-color: rgba(255,255,255,.08);");
    rules.emplace_back(" .brp-cta h2", "color: #ededed;");
    rules.emplace_back(" .brp-cta p", "color: rgba(255,255,255,.72);");
    rules.emplace_back(" .brp-cta .fineprint", "color: rgba(255,255,255,.5);");
    rules.emplace_back(" .brp-cta .brp-btn-primary", "color: #17121a;");
  } else {
    rules.emplace_back(" body", "background: #0f0e13; color: #ededed;");
    rules.emplace_back(" .brp-hero-mist",
                       "background: radial-gradient(900px 560px at 50% 0%, rgba(255,255,255,.40), transparent 68%);");
    rules.emplace_back(" footer.brp-footer", "background: #17151c;");
    // The banner's white button keeps its dark ink: the plain primary-button rule below would
    // otherwise give it the light ink of buttons on the accent.
    rules.emplace_back(" .brp-cta .brp-btn-primary", "background: #fff; color: var(--brp-ink);");
  }
  if (styles.pageMesh) rules.emplace_back(" body.brp-glow", "background-image: " + pageMeshImage(*styles.pageMesh, true) + ";");
  rules.emplace_back(" nav.brp-nav", "background: " + navDarkBackground(styles) + ";");
  rules.emplace_back(" .brp-card", glass ? "background: rgba(27,25,34,0.55);" : "background: #17151c;");
  rules.emplace_back(" .brp-subnav", "background: #1b1922; box-shadow: 0 14px 40px rgba(0,0,0,.55);");
  rules.emplace_back(" nav.brp-nav.open .brp-nav-links", "background: rgba(16,15,20,.98);");
  rules.emplace_back(" .brp-btn-primary", "color: var(--brp-btn-ink, #fff);");
  rules.emplace_back(" .brp-btn-secondary", "background: #1b1922; color: #ededed;");
  rules.emplace_back(" .brp-article p, :root .brp-article li", "color: #cbc9cf;");
  rules.emplace_back(" .brp-article .summary", "color: var(--brp-text-tri);");
  rules.emplace_back(" .brp-footer-credit", "color: #78757e;");
  rules.emplace_back(" .brp-appwin", "background: #1c1a22;");
  rules.emplace_back(" .brp-appwin-bar, :root .brp-appwin-side", "background: #232028;");
  rules.emplace_back(" .brp-cta", "color-scheme: dark;");
  std::string out;
  for (const auto& [selector, body] : rules) {
    std::string full = std::string(prefix) + selector;
    // A selector list repeats the prefix for every selector after the first.
    std::string replacement = ", " + std::string(prefix) + " ";
    for (auto at = full.find(", :root "); at != std::string::npos; at = full.find(", :root ", at + replacement.size()))
      full.replace(at, 8, replacement);
    out += "  " + full + " { " + body + " }\n";
  }
  return out;
}

std::string darkChromeCSS(const QSPagesStylesheet& styles) {
  bool toggle = themeToggle(styles);
  std::string prefix = toggle ? ":root:not([data-theme])" : ":root";
  std::string out = "/* Dark mode */\n@media (prefers-color-scheme: dark) {\n" + darkRules(styles, prefix) + "}\n";
  if (toggle) out += darkRules(styles, ":root[data-theme=\"dark\"]");
  return out;
}

constexpr std::string_view kThemeToggleCSS = R"CSS(/* Theme toggle */
.brp-theme-toggle { width: 34px; height: 34px; display: inline-flex; align-items: center; justify-content: center; border-radius: 9px; border: 1px solid var(--brp-border); background: transparent; color: var(--brp-text-sec); cursor: pointer; transition: color .15s, border-color .15s, background .15s; }
.brp-theme-toggle:hover { color: var(--brp-text); border-color: var(--brp-text-tri); }
.brp-theme-toggle svg { width: 17px; height: 17px; display: none; }
.brp-theme-toggle[data-mode="light"] .brp-ti-sun { display: block; }
.brp-theme-toggle[data-mode="dark"] .brp-ti-moon { display: block; }
.brp-theme-toggle[data-mode="system"] .brp-ti-sys { display: block; }
)CSS";

}  // namespace

std::string cssNumber(double value) {
  if (!std::isfinite(value)) return "0";
  double rounded = std::round(value * 100) / 100;
  if (rounded == 0) return "0";
  return fmt::format("{}", rounded);
}

bool darkMode(const QSPagesStylesheet& styles) { return styles.autoDarkMode.value_or(false); }
bool themeToggle(const QSPagesStylesheet& styles) { return darkMode(styles) && styles.showThemeToggle.value_or(false); }

std::string cssDimension(const QSPagesDimension& d) {
  long long v = whole(d.value);
  switch (d.type) {
    case QSPagesDimension::Type::fixed: return fmt::format("{}px", v);
    case QSPagesDimension::Type::percent: return fmt::format("{}%", v);
    case QSPagesDimension::Type::viewport: return fmt::format("{}vw", v);
    case QSPagesDimension::Type::fill: return "100%";
    case QSPagesDimension::Type::automatic: return "auto";
  }
  return "auto";
}

std::string responsiveClass(const QSPagesElement& element) {
  return "el-" + asciiLowercased(element.id.string().substr(0, 8));
}

std::string inlineStyle(const QSPagesElement& element, const QSPagesStylesheet& styles) {
  const auto& s = element.style;
  const auto& l = element.layout;
  bool dark = darkMode(styles);
  std::vector<std::string> out;
  if (s.fontTokenID)
    if (const auto* token = fontToken(styles, *s.fontTokenID))
      out.push_back("font-family:'" + cssValue(token->fontFamily) + "', " + cssFontFallback(token->fontFamily));
  if (s.fontSize) out.push_back("font-size:" + wholePx(*s.fontSize));
  if (s.fontWeight) out.push_back(fmt::format("font-weight:{}", (static_cast<int>(*s.fontWeight) + 1) * 100));
  if (s.lineHeight) out.push_back(fmt::format("line-height:{:.2f}", *s.lineHeight));
  if (s.letterSpacing) out.push_back(fmt::format("letter-spacing:{:.1f}px", *s.letterSpacing));
  if (s.textDecoration == QSPagesTextDecoration::underline) out.push_back("text-decoration:underline");
  if (s.textDecoration == QSPagesTextDecoration::strikethrough) out.push_back("text-decoration:line-through");
  if (s.textTransform && *s.textTransform != QSPagesTextTransform::none)
    out.push_back("text-transform:" + std::string(pagesRawValue(*s.textTransform)));
  if (s.textAlign) out.push_back("text-align:" + std::string(pagesRawValue(*s.textAlign)));
  if (s.backgroundGradient) {
    out.push_back(gradientCSS(*s.backgroundGradient, dark));
  } else if (s.backgroundColor) {
    std::string head = asciiLowercased(QSTextCuts::prefix(s.backgroundColor->hex, 7));
    if (dark && head == "#f8f8f7")
      out.push_back("background:var(--brp-bg2)");
    else
      out.push_back("background:" + themed(cssValue(s.backgroundColor->hex), QSColorRole::background, dark));
  }
  if (s.glass) glassCSS(s.glass->preset, dark, out);
  if (s.textColor) out.push_back("color:" + themed(cssValue(s.textColor->hex), QSColorRole::foreground, dark));
  borderCSS(s, dark, out);
  if (s.overflow != QSPagesOverflow::hidden) out.push_back("overflow:" + std::string(pagesRawValue(s.overflow)));
  if (anyNonZero(l.padding)) out.push_back(insets("padding", l.padding));
  if (anyNonZero(l.margin)) out.push_back(insets("margin", l.margin));
  if (l.width.type != QSPagesDimension::Type::automatic) out.push_back("width:" + cssDimension(l.width));
  if (l.height.type != QSPagesDimension::Type::automatic) out.push_back("height:" + cssDimension(l.height));
  if (l.maxWidth) {
    out.push_back("max-width:" + cssDimension(*l.maxWidth));
    out.push_back("margin-inline:auto");
  }
  std::string joined;
  for (const auto& declaration : out) joined += (joined.empty() ? "" : ";") + declaration;
  return joined;
}

std::vector<std::string> cssPropertiesFromStyle(const QSPagesStyleOverride& style) {
  std::vector<std::string> out;
  if (style.fontSize) out.push_back("font-size:" + wholePx(*style.fontSize));
  if (style.textAlign) out.push_back("text-align:" + std::string(pagesRawValue(*style.textAlign)));
  if (style.opacity) out.push_back(fmt::format("opacity:{:.2f}", *style.opacity));
  if (style.backgroundColor) out.push_back("background:" + cssValue(style.backgroundColor->hex));
  if (style.textColor) out.push_back("color:" + cssValue(style.textColor->hex));
  return out;
}

std::vector<std::string> cssPropertiesFromLayout(const QSPagesLayoutOverride& layout) {
  std::vector<std::string> out;
  if (layout.display) out.push_back("display:" + std::string(pagesRawValue(*layout.display)));
  if (layout.flexDirection) out.push_back("flex-direction:" + std::string(pagesRawValue(*layout.flexDirection)));
  if (layout.width) out.push_back("width:" + cssDimension(*layout.width));
  if (layout.height) out.push_back("height:" + cssDimension(*layout.height));
  if (layout.padding) out.push_back(insets("padding", *layout.padding));
  if (layout.gap) out.push_back("gap:" + cssNumber(*layout.gap) + "px");
  return out;
}

void collectResponsiveElements(const QSPagesElement& element, std::vector<const QSPagesElement*>& out) {
  if (element.responsiveOverrides) out.push_back(&element);
  for (const auto& child : element.children) collectResponsiveElements(child, out);
}

std::vector<const QSPagesElement*> collectResponsiveElements(const QSPagesProject& project) {
  std::vector<const QSPagesElement*> out;
  if (project.globalNavbar) collectResponsiveElements(*project.globalNavbar, out);
  for (const auto& page : project.pages)
    for (const auto& element : page.elements) collectResponsiveElements(element, out);
  if (project.globalFooter) collectResponsiveElements(*project.globalFooter, out);
  return out;
}

std::string generateResponsiveCSS(const std::vector<const QSPagesElement*>& elements) {
  auto rules = [&](bool tablet) {
    std::string out;
    for (const auto* element : elements) {
      const auto& overrides = tablet ? element->responsiveOverrides->tablet : element->responsiveOverrides->mobile;
      if (!overrides) continue;
      std::vector<std::string> declarations;
      if (overrides->style) declarations = cssPropertiesFromStyle(*overrides->style);
      if (overrides->layout)
        for (auto& d : cssPropertiesFromLayout(*overrides->layout)) declarations.push_back(std::move(d));
      if (declarations.empty()) continue;
      out += "  ." + responsiveClass(*element) + " { ";
      for (const auto& d : declarations) out += d + " !important; ";
      out += "}\n";
    }
    return out;
  };
  std::string out;
  if (auto tablet = rules(true); !tablet.empty())
    out += "/* Per-element responsive: tablet */\n@media (max-width: 768px) {\n" + tablet + "}\n";
  if (auto mobile = rules(false); !mobile.empty())
    out += "/* Per-element responsive: mobile */\n@media (max-width: 480px) {\n" + mobile + "}\n";
  return out;
}

std::string navGlassOverride(const QSPagesStylesheet& styles) {
  static constexpr std::string_view kAlpha[] = {"1.0", "0.8", "0.9", "0.62"};
  static constexpr std::string_view kFilter[] = {"none", "blur(12px)", "blur(20px)", "blur(30px)"};
  auto i = static_cast<std::size_t>(styles.navGlass.value_or(QSPagesNavGlass::frosted));
  return fmt::format("nav.brp-nav {{ background: rgba(255,255,255,{}); backdrop-filter: {}; "
                     "-webkit-backdrop-filter: {} }}\n",
                     kAlpha[i], kFilter[i], kFilter[i]);
}

std::string navDarkBackground(const QSPagesStylesheet& styles) {
  switch (styles.navGlass.value_or(QSPagesNavGlass::frosted)) {
    case QSPagesNavGlass::solid: return "#17151c";
    case QSPagesNavGlass::subtle: return "rgba(15,14,19,0.45)";
    case QSPagesNavGlass::frosted: return "rgba(15,14,19,0.55)";
    case QSPagesNavGlass::clear: return "rgba(15,14,19,0.35)";
  }
  return "rgba(15,14,19,0.55)";
}

std::string pageMeshImage(const QSPagesPageMesh& mesh, bool dark) {
  static constexpr std::string_view kAnchors[] = {"6% 0%", "94% 8%", "50% 100%", "0% 70%", "100% 60%"};
  std::vector<std::string> layers;
  for (std::size_t i = 0; i < mesh.colors.size(); ++i) {
    std::string colour = rgba(cssValue(mesh.colors[i].hex), dark ? mesh.intensityDark : mesh.intensityLight);
    layers.push_back(fmt::format("radial-gradient(760px 540px at {}, {}, transparent 60%)",
                                 kAnchors[i % std::size(kAnchors)], colour));
  }
  if (mesh.showGrid) {
    std::string line = dark ? "rgba(255,255,255,.035)" : "rgba(17,17,17,.035)";
    layers.push_back("repeating-linear-gradient(0deg,transparent 0 27px," + line + " 27px 28px)");
    layers.push_back("repeating-linear-gradient(90deg,transparent 0 27px," + line + " 27px 28px)");
  }
  if (layers.empty()) return "none";
  std::string out;
  for (const auto& layer : layers) out += (out.empty() ? "" : ", ") + layer;
  return out;
}

std::string ambientGlassOverride(const QSPagesStylesheet& styles) {
  if (!styles.pageMesh) return "";
  return "/* Ambient glass */\nbody { background: " + pageMeshImage(*styles.pageMesh, false) +
         ", #f6f7f8; background-attachment: fixed; }\n"
         ".brp-card, .brp-cta { background: rgba(255,255,255,0.6); backdrop-filter: blur(18px) saturate(1.6); "
         "-webkit-backdrop-filter: blur(18px) saturate(1.6); border: 1px solid rgba(255,255,255,.5); }\n"
         ".brp-cta { box-shadow: none; color: #16241d; }\n"
         ".brp-cta::before { display: none; }\n"
         ".brp-cta h2 { color: #16241d; }\n"
         ".brp-cta p { color: rgba(20,35,28,.7); }\n"
         ".brp-cta .fineprint { color: rgba(20,35,28,.55); }\n";
}

std::string pageStyle(const QSPagesColor& accent, bool dark) {
  std::string colour = cssValue(QSTextCuts::prefix(accent.hex, 7));
  std::string out = "<style>:root { --brand: " + themed(colour, QSColorRole::other, dark) + ";";
  if (hexToHSL(colour)) out += " --brp-btn-ink: " + buttonInk(colour, dark) + ";";
  return out + " }</style>";
}

std::string generateCSS(const QSPagesProject& project) {
  const auto& styles = project.globalStyles;
  bool dark = darkMode(styles);
  std::string out;
  for (const auto& font : QSHTMLUtilities::bundledFontFiles(project))
    out += fmt::format("@font-face {{\n  font-family: '{}';\n  src: url('/fonts/{}.ttf') format('truetype');\n"
                       "  font-display: swap;\n}}\n",
                       font.family, font.fileName);
  out += rootBlock(project, dark);
  out += "*, *::before, *::after { box-sizing: border-box; margin: 0; padding: 0; }\n";
  out += bodyBlock(styles);
  out += kGenericResponsive;
  out += designSystemCSS();
  out += navGlassOverride(styles);
  out += ambientGlassOverride(styles);
  if (dark) out += darkChromeCSS(styles);
  if (themeToggle(styles)) out += kThemeToggleCSS;
  return out;
}

}  // namespace qs::QSExportStyles
