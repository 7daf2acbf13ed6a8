#include "app/site/pages_decoding.h"

#include "app/site/pages_json_reader.h"
#include "core/platform/encoding.h"
#include "core/platform/files.h"

#include <nlohmann/json.hpp>


namespace qs {
namespace {

using namespace pagesjson;

QSPagesEdgeInsets edgeInsets(const Obj& o) { return {o.num("top"), o.num("right"), o.num("bottom"), o.num("left")}; }

QSPagesDimension dimension(const Obj& o) {
  static constexpr std::array<std::string_view, 5> kTypes{"auto", "fill", "fixed", "percent", "viewport"};
  std::string type = o.str("type");
  for (std::size_t i = 0; i < kTypes.size(); ++i) {
    if (kTypes[i] != type) continue;
    QSPagesDimension d{static_cast<QSPagesDimension::Type>(i), 0};
    if (i >= 2) d.value = o.num("value");
    return d;
  }
  fail(o.path("type"), "has the unknown value \u201c" + type + "\u201d");
}

std::optional<QSPagesDimension> optDimension(const Obj& o, std::string_view key) {
  if (!o.find(key)) return std::nullopt;
  return dimension(o.object(key));
}

QSPagesElementStyle elementStyle(const Obj& o) {
  QSPagesElementStyle s;
  s.fontTokenID = o.optStr("fontTokenID");
  s.fontSize = o.optNum("fontSize");
  s.fontWeight = o.optEnum<QSPagesFontWeight>("fontWeight");
  s.lineHeight = o.optNum("lineHeight");
  s.letterSpacing = o.optNum("letterSpacing");
  s.textDecoration = o.optEnum<QSPagesTextDecoration>("textDecoration");
  s.textTransform = o.optEnum<QSPagesTextTransform>("textTransform");
  s.textAlign = o.optEnum<QSPagesTextAlign>("textAlign");
  s.backgroundColor = o.optColor("backgroundColor");
  if (o.find("backgroundGradient")) {
    Obj g = o.object("backgroundGradient");
    s.backgroundGradient = QSPagesGradient{
        g.enumeration<QSPagesGradientType>("type"), g.num("angle"),
        g.list<QSPagesGradientStop>("stops", [](Value v, const Path& at) {
          Obj stop(v, at);
          return QSPagesGradientStop{stop.color("color"), stop.num("position")};
        })};
  }
  s.textColor = o.optColor("textColor");
  s.borderWidth = o.optNum("borderWidth");
  s.borderColor = o.optColor("borderColor");
  s.borderStyle = o.optEnum<QSPagesBorderStyle>("borderStyle");
  Obj r = o.object("borderRadius");
  s.borderRadius = {r.num("topLeft"), r.num("topRight"), r.num("bottomRight"), r.num("bottomLeft")};
  if (o.find("shadow")) {
    Obj sh = o.object("shadow");
    s.shadow = QSPagesShadow{sh.num("x"), sh.num("y"), sh.num("blur"), sh.num("spread"), sh.color("color")};
  }
  s.opacity = o.num("opacity");
  s.overflow = o.enumeration<QSPagesOverflow>("overflow");
  if (o.find("glass")) s.glass = QSPagesGlass{o.object("glass").enumeration<QSPagesGlassPreset>("preset")};
  return s;
}

QSPagesElementLayout elementLayout(const Obj& o) {
  QSPagesElementLayout l;
  l.display = o.enumeration<QSPagesDisplay>("display");
  l.flexDirection = o.enumeration<QSPagesFlexDirection>("flexDirection");
  l.alignItems = o.enumeration<QSPagesAlignItems>("alignItems");
  l.justifyContent = o.enumeration<QSPagesJustifyContent>("justifyContent");
  l.gap = o.num("gap");
  l.padding = edgeInsets(o.object("padding"));
  l.margin = edgeInsets(o.object("margin"));
  l.width = dimension(o.object("width"));
  l.height = dimension(o.object("height"));
  l.maxWidth = optDimension(o, "maxWidth");
  return l;
}

std::optional<QSPagesBreakpointOverride> breakpoint(const Obj& o, std::string_view key) {
  if (!o.find(key)) return std::nullopt;
  Obj b = o.object(key);
  QSPagesBreakpointOverride out;
  if (b.find("style")) {
    Obj s = b.object("style");
    out.style = QSPagesStyleOverride{s.optNum("fontSize"), s.optEnum<QSPagesTextAlign>("textAlign"),
                                     s.optNum("opacity"), s.optColor("backgroundColor"), s.optColor("textColor")};
  }
  if (b.find("layout")) {
    Obj l = b.object("layout");
    QSPagesLayoutOverride lo;
    lo.display = l.optEnum<QSPagesDisplay>("display");
    lo.flexDirection = l.optEnum<QSPagesFlexDirection>("flexDirection");
    lo.width = optDimension(l, "width");
    lo.height = optDimension(l, "height");
    if (l.find("padding")) lo.padding = edgeInsets(l.object("padding"));
    lo.gap = l.optNum("gap");
    out.layout = lo;
  }
  return out;
}

QSPagesElement element(const Obj& o);
QSPagesElementKind::Content kindContent(QSPagesElementKind::Type type, const Obj& v);

QSPagesElementKind elementKind(const Obj& o) {
  static constexpr std::array<std::string_view, 33> kTypes{
      "container", "section", "divider", "grid", "heading", "text", "richText", "button", "image",
      "video", "icon", "navbar", "hero", "embed", "spacer", "testimonial", "pricingTable", "featureGrid",
      "footer", "form", "productCard", "faq", "appCard", "sectionHeader", "chipStrip", "featureRow",
      "terminal", "steps", "ctaBanner", "docs", "brindleBadge", "shareButton", "appWindow"};
  std::string type = o.str("type");
  for (std::size_t i = 0; i < kTypes.size(); ++i) {
    if (kTypes[i] != type) continue;
    QSPagesElementKind kind;
    kind.type = static_cast<QSPagesElementKind::Type>(i);
    if (i >= 3) kind.value = kindContent(kind.type, o.object("value"));
    return kind;
  }
  fail(o.path("type"), "has the unknown element type \u201c" + type + "\u201d");
}

QSPagesElement element(const Obj& o) {
  QSPagesElement e;
  e.id = o.uuid("id");
  e.name = o.str("name");
  e.kind = elementKind(o.object("kind"));
  e.children = o.list<QSPagesElement>("children", [&o](Value v, const Path& at) { return element(Obj(v, at, o.depth() + 1)); });
  e.style = elementStyle(o.object("style"));
  e.layout = elementLayout(o.object("layout"));
  if (o.find("responsiveOverrides")) {
    Obj r = o.object("responsiveOverrides");
    e.responsiveOverrides = QSPagesResponsiveOverrides{breakpoint(r, "tablet"), breakpoint(r, "mobile")};
  }
  return e;
}

QSPagesPage page(Value v, const Path& at) {
  Obj o(v, at);
  QSPagesPage p;
  p.elements = o.list<QSPagesElement>("elements", [](Value e, const Path& path) { return element(Obj(e, path, 1)); });
  p.slug = o.str("slug");
  p.isHomepage = o.boolean("isHomepage");
  Obj seo = o.object("seo");
  p.seo = {seo.str("title"), seo.str("metaDescription"), seo.boolean("noIndex"), seo.optStr("canonicalURL")};
  p.isHidden = o.boolean("isHidden");
  p.name = o.str("name");
  p.accentColor = o.optColor("accentColor");
  p.errorRole = o.optEnum<QSPagesErrorPageRole>("errorRole");
  return p;
}

QSPagesAsset asset(Value v, const Path& at) {
  Obj o(v, at);
  QSPagesAsset a;
  a.id = o.uuid("id");
  a.mimeType = o.str("mimeType");
  Obj s = o.object("source");
  std::string type = s.str("type");
  if (type == "inline") {
    a.source.type = QSPagesAssetSource::Type::inlined;
    auto bytes = base64Decode(s.str("data"));
    if (!bytes) fail(s.path("data"), "should be Base64 text");
    a.source.data = std::move(*bytes);
  } else if (type == "bundled") {
    a.source.type = QSPagesAssetSource::Type::bundled;
    a.source.path = s.str("path");
  } else if (type == "external") {
    a.source.type = QSPagesAssetSource::Type::external;
    a.source.url = s.str("url");
  } else {
    fail(s.path("type"), "has the unknown value \u201c" + type + "\u201d");
  }
  return a;
}

QSPagesStylesheet stylesheet(const Obj& o) {
  QSPagesStylesheet s;
  s.fontTokens = o.list<QSPagesFontToken>("fontTokens", [](Value v, const Path& at) {
    Obj t(v, at);
    return QSPagesFontToken{t.str("name"), t.str("fontFamily"), t.enumeration<QSPagesFontSource>("source")};
  });
  s.colorTokens = o.list<QSPagesColorToken>("colorTokens", [](Value v, const Path& at) {
    Obj t(v, at);
    return QSPagesColorToken{t.str("name"), t.color("color")};
  });
  s.brandMarkPalette = o.optList<QSPagesColor>("brandMarkPalette", colorItem);
  s.brandMarkSymbol = o.optStr("brandMarkSymbol");
  s.autoDarkMode = o.optBool("autoDarkMode");
  s.showThemeToggle = o.optBool("showThemeToggle");
  s.showBrindleBadge = o.optBool("showBrindleBadge");
  s.navGlass = o.optEnum<QSPagesNavGlass>("navGlass");
  if (o.find("pageMesh")) {
    Obj m = o.object("pageMesh");
    s.pageMesh = QSPagesPageMesh{m.list<QSPagesColor>("colors", colorItem), m.boolean("showGrid"),
                                 m.num("intensityLight"), m.num("intensityDark")};
  }
  return s;
}

QSPagesElementKind::Content kindContent(QSPagesElementKind::Type type, const Obj& v) {
  return decodeKindContent(type, v);
}

}  // namespace

QSPagesProject decodePagesDocument(std::string_view text) {
  std::optional<QSJsonTree> tree = QSJsonTree::parseDocument(text, kMaxJsonDepth);
  if (!tree) {
    // The DOM parser words what is wrong; what it takes, the tree refuses only for its depth.
    try {
      [[maybe_unused]] nlohmann::json dom = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
      throw QSSiteException(siteError::DocumentUnreadable{std::string("it isn't valid JSON (") + e.what() + ")."});
    }
    throw QSSiteException(siteError::DocumentUnreadable{"it is nested too deeply."});
  }
  Obj o(Value(*tree, 0), Path());
  QSPagesProject project;
  project.pages = o.list<QSPagesPage>("pages", page);
  if (o.find("globalNavbar")) project.globalNavbar = element(o.object("globalNavbar", 1));
  if (o.find("globalFooter")) project.globalFooter = element(o.object("globalFooter", 1));
  project.globalStyles = stylesheet(o.object("globalStyles"));
  project.assets = o.list<QSPagesAsset>("assets", asset);
  return project;
}

QSPagesProject readPagesDocument(const std::filesystem::path& file) { return decodePagesDocument(readFile(file)); }

}  // namespace qs
