// The content objects of the element kinds.
#include "app/site/pages_json_reader.h"

namespace qs::pagesjson {
namespace {

using Type = QSPagesElementKind::Type;

std::vector<QSPagesFooterLink> footerLinks(const Obj& o, std::string_view key) {
  return o.list<QSPagesFooterLink>(key, [](Value v, const Path& at) {
    Obj l(v, at);
    return QSPagesFooterLink{l.str("url"), l.str("label")};
  });
}

QSPagesNavLink navLink(Value v, const Path& at, int depth) {
  Obj o(v, at, depth);
  QSPagesNavLink link;
  link.url = o.str("url");
  link.label = o.str("label");
  link.openInNewTab = o.boolean("openInNewTab");
  link.children = o.list<QSPagesNavLink>(
      "children", [depth](Value c, const Path& path) { return navLink(c, path, depth + 1); });
  link.dropdown = o.enumeration<QSPagesNavDropdownStyle>("dropdown");
  link.subtitle = o.str("subtitle");
  link.iconSymbol = o.str("iconSymbol");
  link.iconAccent = o.optColor("iconAccent");
  link.group = o.str("group");
  return link;
}

QSPagesAppWindowContent appWindow(const Obj& o) {
  QSPagesAppWindowContent w;
  w.title = o.str("title");
  w.chrome = o.enumeration<QSPagesAppWindowChrome>("chrome");
  w.address = o.str("address");
  w.sidebar = o.list<std::string>("sidebar", stringItem);
  w.tabs = o.list<std::string>("tabs", stringItem);
  w.activeTab = o.integer("activeTab");
  w.rows = o.integer("rows");
  w.accent = o.optColor("accent");
  w.imageAssetID = o.optUUID("imageAssetID");
  w.imageExternalURL = o.optStr("imageExternalURL");
  return w;
}

QSPagesNavbarContent navbar(const Obj& o) {
  return {o.list<QSPagesNavLink>("links",
                                 [&o](Value v, const Path& at) { return navLink(v, at, o.depth() + 1); }),
          o.str("ctaLabel"), o.str("ctaURL"), o.str("logoText")};
}

QSPagesHeroContent hero(const Obj& o) {
  return {o.str("badge"), o.str("heading"), o.str("subheading"), o.str("primaryCTALabel"), o.str("primaryCTAURL"),
          o.str("secondaryCTALabel"), o.str("secondaryCTAURL"), o.optUUID("backgroundAssetID"),
          o.str("headingAccent"), o.str("fineprint"), o.optUUID("screenshotAssetID"),
          o.optStr("screenshotExternalURL")};
}

QSPagesPricingTableContent pricing(const Obj& o) {
  return {o.str("title"), o.str("price"), o.str("period"),
          o.list<QSPagesPricingFeature>("features",
                                        [](Value v, const Path& at) {
                                          Obj f(v, at);
                                          return QSPagesPricingFeature{f.str("text"), f.boolean("isIncluded")};
                                        }),
          o.str("ctaLabel"), o.str("ctaURL"), o.boolean("isHighlighted")};
}

QSPagesFooterContent footer(const Obj& o) {
  QSPagesFooterContent f;
  f.links = footerLinks(o, "links");
  f.socialLinks = o.list<QSPagesSocialLink>("socialLinks", [](Value v, const Path& at) {
    Obj s(v, at);
    return QSPagesSocialLink{s.str("url"), s.enumeration<QSPagesSocialPlatform>("platform")};
  });
  f.copyrightText = o.str("copyrightText");
  f.wordmark = o.str("wordmark");
  f.tagline = o.str("tagline");
  f.columns = o.list<QSPagesFooterColumn>("columns", [](Value v, const Path& at) {
    Obj c(v, at);
    return QSPagesFooterColumn{c.str("heading"), footerLinks(c, "links")};
  });
  f.bottomNote = o.str("bottomNote");
  f.bottomLinks = footerLinks(o, "bottomLinks");
  return f;
}

QSPagesFormContent form(const Obj& o) {
  return {o.list<QSPagesFormField>("fields",
                                   [](Value v, const Path& at) {
                                     Obj f(v, at);
                                     return QSPagesFormField{f.str("label"), f.enumeration<QSPagesFormFieldType>("type"),
                                                             f.str("placeholder"), f.boolean("isRequired")};
                                   }),
          o.str("submitLabel"), o.str("action")};
}

QSPagesProductCardContent productCard(const Obj& o) {
  return {o.str("name"), o.str("description"), o.str("price"), o.str("originalPrice"), o.optUUID("imageAssetID"),
          o.optStr("imageExternalURL"), o.str("badge"), o.str("ctaLabel"), o.str("ctaURL"), o.optInteger("rating")};
}

QSPagesFeatureRowContent featureRow(const Obj& o) {
  QSPagesFeatureRowContent f;
  f.kicker = o.str("kicker");
  f.heading = o.str("heading");
  f.body = o.str("body");
  f.bullets = o.list<QSPagesFeatureBullet>("bullets", [](Value v, const Path& at) {
    Obj b(v, at);
    return QSPagesFeatureBullet{b.str("lead"), b.str("text")};
  });
  f.imageAssetID = o.optUUID("imageAssetID");
  f.imageExternalURL = o.optStr("imageExternalURL");
  f.imageAlt = o.str("imageAlt");
  if (o.find("mockup")) f.mockup = appWindow(o.object("mockup"));
  f.flip = o.boolean("flip");
  f.glow = o.boolean("glow");
  return f;
}

QSPagesDocsContent docs(const Obj& o) {
  return {o.list<QSPagesDocCategory>("categories", [](Value v, const Path& at) {
    Obj c(v, at);
    return QSPagesDocCategory{c.str("title"),
                              c.list<QSPagesDocArticle>("articles", [](Value a, const Path& path) {
                                Obj d(a, path);
                                return QSPagesDocArticle{d.str("slug"), d.str("title"), d.str("summary"),
                                                         d.str("bodyHTML")};
                              })};
  })};
}

}  // namespace

QSPagesElementKind::Content decodeKindContent(Type type, const Obj& o) {
  switch (type) {
    case Type::container:
    case Type::section:
    case Type::divider:
      return std::monostate{};
    case Type::grid:
      return QSPagesGridContent{o.integer("columns"), o.num("gap")};
    case Type::heading:
      return QSPagesHeadingContent{o.str("content"), o.enumeration<QSPagesHeadingLevel>("level")};
    case Type::text:
      return QSPagesTextContent{o.str("content")};
    case Type::richText:
      return QSPagesRichTextContent{o.str("html")};
    case Type::button:
      return QSPagesButtonContent{o.str("label"), o.str("url"), o.boolean("openInNewTab"),
                                  o.enumeration<QSPagesButtonVariant>("variant")};
    case Type::image:
      return QSPagesImageContent{o.optUUID("assetID"), o.optStr("externalURL"), o.str("alt"),
                                 o.enumeration<QSPagesObjectFit>("objectFit")};
    case Type::video:
      return QSPagesVideoContent{o.optStr("externalURL"), o.boolean("autoplay"), o.boolean("loop"), o.boolean("muted"),
                                 o.boolean("controls")};
    case Type::icon:
      return QSPagesIconContent{o.str("iconName"), o.num("size")};
    case Type::navbar:
      return navbar(o);
    case Type::hero:
      return hero(o);
    case Type::embed:
      return QSPagesEmbedContent{o.str("html"), o.boolean("sandboxed")};
    case Type::spacer:
      return QSPagesSpacerContent{o.num("height")};
    case Type::testimonial:
      return QSPagesTestimonialContent{o.str("quote"), o.str("authorName"), o.str("authorTitle"), o.optInteger("rating")};
    case Type::pricingTable:
      return pricing(o);
    case Type::featureGrid:
      return QSPagesFeatureGridContent{o.list<QSPagesFeature>("features",
                                                              [](Value v, const Path& at) {
                                                                Obj f(v, at);
                                                                return QSPagesFeature{f.str("iconName"), f.str("title"),
                                                                                      f.str("description")};
                                                              }),
                                       o.integer("columns")};
    case Type::footer:
      return footer(o);
    case Type::form:
      return form(o);
    case Type::productCard:
      return productCard(o);
    case Type::faq:
      return QSPagesFAQContent{o.str("title"), o.list<QSPagesFAQItem>("items", [](Value v, const Path& at) {
                                 Obj i(v, at);
                                 return QSPagesFAQItem{i.str("question"), i.str("answer")};
                               })};
    case Type::appCard:
      return QSPagesAppCardContent{o.str("appName"), o.str("tagline"), o.str("category"), o.str("iconSymbol"),
                                   o.color("accentColor"), o.optUUID("iconAssetID"), o.optStr("iconExternalURL"),
                                   o.str("ctaLabel"), o.str("url"), o.boolean("openInNewTab")};
    case Type::sectionHeader:
      return QSPagesSectionHeaderContent{o.str("eyebrow"), o.str("heading"), o.str("headingAccent"),
                                         o.str("subheading"), o.enumeration<QSPagesTextAlign>("align"),
                                         o.str("iconSymbol"), o.optColor("iconAccent")};
    case Type::chipStrip:
      return QSPagesChipStripContent{o.list<QSPagesChip>("chips", [](Value v, const Path& at) {
        Obj c(v, at);
        return QSPagesChip{c.str("label"), c.str("value")};
      })};
    case Type::featureRow:
      return featureRow(o);
    case Type::terminal:
      return QSPagesTerminalContent{o.list<QSPagesTermLine>("lines",
                                                            [](Value v, const Path& at) {
                                                              Obj l(v, at);
                                                              return QSPagesTermLine{l.str("text"),
                                                                                     l.enumeration<QSPagesTermRole>("role")};
                                                            }),
                                    o.boolean("showChrome")};
    case Type::steps:
      return QSPagesStepsContent{o.list<QSPagesStep>("steps",
                                                     [](Value v, const Path& at) {
                                                       Obj s(v, at);
                                                       return QSPagesStep{s.str("number"), s.str("title"), s.str("text")};
                                                     }),
                                 o.integer("columns")};
    case Type::ctaBanner:
      return QSPagesCTABannerContent{o.str("eyebrow"), o.str("heading"), o.str("subheading"), o.str("buttonLabel"),
                                     o.str("buttonURL"), o.str("fineprint"), o.str("iconSymbol")};
    case Type::docs:
      return docs(o);
    case Type::brindleBadge:
      return QSPagesBrindleBadgeContent{o.enumeration<QSPagesBrindleBadgeStyle>("style"), o.str("url"),
                                        o.boolean("openInNewTab")};
    case Type::shareButton:
      return QSPagesShareButtonContent{
          o.enumeration<QSPagesShareStyle>("style"), o.str("label"),
          o.list<QSPagesShareNetwork>("networks", [](Value v, const Path& at) {
            return Obj::asEnum<QSPagesShareNetwork>(v, at);
          })};
    case Type::appWindow:
      return appWindow(o);
  }
  return std::monostate{};
}

}  // namespace qs::pagesjson
