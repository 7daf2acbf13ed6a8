// The site builder's `.brp` document: one JSON object decoded into QSPagesProject and the plain
// value types below it. The exporter only ever reads these; nothing here writes a document.
#pragma once

#include "core/platform/uuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qs {

// A CSS hexadecimal colour with its leading "#", kept exactly as the document wrote it.
struct QSPagesColor {
  std::string hex;
  bool operator==(const QSPagesColor&) const = default;
};

// Plain enumerations, declared in the order of their JSON values (see pages_enum_names.h).
enum class QSPagesHeadingLevel { h1, h2, h3, h4, h5, h6 };
enum class QSPagesButtonVariant { primary, secondary, ghost, danger };
enum class QSPagesObjectFit { cover, contain, fill, none };
enum class QSPagesTextAlign { left, center, right, justify };
enum class QSPagesFormFieldType { text, email, phone, textarea, checkbox, select };
enum class QSPagesNavDropdownStyle { list, mega };
enum class QSPagesAppWindowChrome { macApp, browser };
enum class QSPagesFontSource { system, bundled, googleFonts, custom };
enum class QSPagesErrorPageRole { notFound, serverError, generic };
enum class QSPagesNavGlass { solid, subtle, frosted, clear };
enum class QSPagesGlassPreset { subtle, frosted, clear };
enum class QSPagesFontWeight { thin, extraLight, light, regular, medium, semibold, bold, extraBold, black };
enum class QSPagesTextDecoration { none, underline, strikethrough };
enum class QSPagesTextTransform { none, uppercase, lowercase, capitalize };
enum class QSPagesBorderStyle { solid, dashed, dotted, none };
enum class QSPagesOverflow { hidden, visible, scroll, automatic };
enum class QSPagesDisplay { flex, block, grid };
enum class QSPagesFlexDirection { row, rowReverse, column, columnReverse };
enum class QSPagesAlignItems { flexStart, center, flexEnd, stretch, baseline };
enum class QSPagesJustifyContent { flexStart, center, flexEnd, spaceBetween, spaceAround, spaceEvenly };
enum class QSPagesGradientType { linear, radial };
enum class QSPagesBrindleBadgeStyle { pill, inlined, banner };
enum class QSPagesShareStyle { button, links };
enum class QSPagesShareNetwork { twitter, linkedin, facebook, email, copy };
enum class QSPagesSocialPlatform { twitter, facebook, instagram, linkedin, youtube, github, tiktok, mastodon };
enum class QSPagesTermRole { prompt, output, success, comment };

struct QSPagesEdgeInsets {
  double top = 0, right = 0, bottom = 0, left = 0;
  bool operator==(const QSPagesEdgeInsets&) const = default;
};

struct QSPagesBorderRadius {
  double topLeft = 0, topRight = 0, bottomRight = 0, bottomLeft = 0;
  bool operator==(const QSPagesBorderRadius&) const = default;
};

struct QSPagesShadow {
  double x = 0, y = 0, blur = 0, spread = 0;
  QSPagesColor color;
  bool operator==(const QSPagesShadow&) const = default;
};

struct QSPagesGradientStop {
  QSPagesColor color;
  double position = 0;
  bool operator==(const QSPagesGradientStop&) const = default;
};

struct QSPagesGradient {
  QSPagesGradientType type = QSPagesGradientType::linear;
  double angle = 0;
  std::vector<QSPagesGradientStop> stops;
  bool operator==(const QSPagesGradient&) const = default;
};

struct QSPagesGlass {
  QSPagesGlassPreset preset = QSPagesGlassPreset::frosted;
  bool operator==(const QSPagesGlass&) const = default;
};

// "auto" and "fill" carry no value; "fixed" (pixels), "percent" and "viewport" do.
struct QSPagesDimension {
  enum class Type { automatic, fill, fixed, percent, viewport };
  Type type = Type::automatic;
  double value = 0;
  bool operator==(const QSPagesDimension&) const = default;
};

struct QSPagesElementStyle {
  std::optional<std::string> fontTokenID;
  std::optional<double> fontSize;
  std::optional<QSPagesFontWeight> fontWeight;
  std::optional<double> lineHeight;
  std::optional<double> letterSpacing;
  std::optional<QSPagesTextDecoration> textDecoration;
  std::optional<QSPagesTextTransform> textTransform;
  std::optional<QSPagesTextAlign> textAlign;
  std::optional<QSPagesColor> backgroundColor;
  std::optional<QSPagesGradient> backgroundGradient;
  std::optional<QSPagesColor> textColor;
  std::optional<double> borderWidth;
  std::optional<QSPagesColor> borderColor;
  std::optional<QSPagesBorderStyle> borderStyle;
  QSPagesBorderRadius borderRadius;
  std::optional<QSPagesShadow> shadow;
  double opacity = 1;
  QSPagesOverflow overflow = QSPagesOverflow::hidden;
  std::optional<QSPagesGlass> glass;
  bool operator==(const QSPagesElementStyle&) const = default;
};

struct QSPagesElementLayout {
  QSPagesDisplay display = QSPagesDisplay::block;
  QSPagesFlexDirection flexDirection = QSPagesFlexDirection::column;
  QSPagesAlignItems alignItems = QSPagesAlignItems::stretch;
  QSPagesJustifyContent justifyContent = QSPagesJustifyContent::flexStart;
  double gap = 0;
  QSPagesEdgeInsets padding;
  QSPagesEdgeInsets margin;
  QSPagesDimension width;
  QSPagesDimension height;
  std::optional<QSPagesDimension> maxWidth;
  bool operator==(const QSPagesElementLayout&) const = default;
};

struct QSPagesStyleOverride {
  std::optional<double> fontSize;
  std::optional<QSPagesTextAlign> textAlign;
  std::optional<double> opacity;
  std::optional<QSPagesColor> backgroundColor;
  std::optional<QSPagesColor> textColor;
  bool operator==(const QSPagesStyleOverride&) const = default;
};

struct QSPagesLayoutOverride {
  std::optional<QSPagesDisplay> display;
  std::optional<QSPagesFlexDirection> flexDirection;
  std::optional<QSPagesDimension> width;
  std::optional<QSPagesDimension> height;
  std::optional<QSPagesEdgeInsets> padding;
  std::optional<double> gap;
  bool operator==(const QSPagesLayoutOverride&) const = default;
};

struct QSPagesBreakpointOverride {
  std::optional<QSPagesStyleOverride> style;
  std::optional<QSPagesLayoutOverride> layout;
  bool operator==(const QSPagesBreakpointOverride&) const = default;
};

struct QSPagesResponsiveOverrides {
  std::optional<QSPagesBreakpointOverride> tablet;
  std::optional<QSPagesBreakpointOverride> mobile;
  bool operator==(const QSPagesResponsiveOverrides&) const = default;
};

// ---- Element contents ----

struct QSPagesGridContent {
  std::int64_t columns = 1;
  double gap = 0;
  bool operator==(const QSPagesGridContent&) const = default;
};
struct QSPagesHeadingContent {
  std::string content;
  QSPagesHeadingLevel level = QSPagesHeadingLevel::h2;
  bool operator==(const QSPagesHeadingContent&) const = default;
};
struct QSPagesTextContent {
  std::string content;
  bool operator==(const QSPagesTextContent&) const = default;
};
struct QSPagesRichTextContent {
  std::string html;
  bool operator==(const QSPagesRichTextContent&) const = default;
};
struct QSPagesButtonContent {
  std::string label, url;
  bool openInNewTab = false;
  QSPagesButtonVariant variant = QSPagesButtonVariant::primary;
  bool operator==(const QSPagesButtonContent&) const = default;
};
struct QSPagesImageContent {
  std::optional<QSUUID> assetID;
  std::optional<std::string> externalURL;
  std::string alt;
  QSPagesObjectFit objectFit = QSPagesObjectFit::cover;
  bool operator==(const QSPagesImageContent&) const = default;
};
struct QSPagesVideoContent {
  std::optional<std::string> externalURL;
  bool autoplay = false, loop = false, muted = false, controls = true;
  bool operator==(const QSPagesVideoContent&) const = default;
};
struct QSPagesIconContent {
  std::string iconName;
  double size = 24;
  bool operator==(const QSPagesIconContent&) const = default;
};
struct QSPagesNavLink {
  std::string url, label;
  bool openInNewTab = false;
  std::vector<QSPagesNavLink> children;
  QSPagesNavDropdownStyle dropdown = QSPagesNavDropdownStyle::list;
  std::string subtitle, iconSymbol;
  std::optional<QSPagesColor> iconAccent;
  std::string group;
  bool operator==(const QSPagesNavLink&) const = default;
};
struct QSPagesNavbarContent {
  std::vector<QSPagesNavLink> links;
  std::string ctaLabel, ctaURL, logoText;
  bool operator==(const QSPagesNavbarContent&) const = default;
};
struct QSPagesHeroContent {
  std::string badge, heading, subheading, primaryCTALabel, primaryCTAURL, secondaryCTALabel, secondaryCTAURL;
  std::optional<QSUUID> backgroundAssetID;
  std::string headingAccent, fineprint;
  std::optional<QSUUID> screenshotAssetID;
  std::optional<std::string> screenshotExternalURL;
  bool operator==(const QSPagesHeroContent&) const = default;
};
struct QSPagesEmbedContent {
  std::string html;
  bool sandboxed = true;
  bool operator==(const QSPagesEmbedContent&) const = default;
};
struct QSPagesSpacerContent {
  double height = 0;
  bool operator==(const QSPagesSpacerContent&) const = default;
};
struct QSPagesTestimonialContent {
  std::string quote, authorName, authorTitle;
  std::optional<std::int64_t> rating;
  bool operator==(const QSPagesTestimonialContent&) const = default;
};
struct QSPagesPricingFeature {
  std::string text;
  bool isIncluded = false;
  bool operator==(const QSPagesPricingFeature&) const = default;
};
struct QSPagesPricingTableContent {
  std::string title, price, period;
  std::vector<QSPagesPricingFeature> features;
  std::string ctaLabel, ctaURL;
  bool isHighlighted = false;
  bool operator==(const QSPagesPricingTableContent&) const = default;
};
struct QSPagesFeature {
  std::string iconName, title, description;
  bool operator==(const QSPagesFeature&) const = default;
};
struct QSPagesFeatureGridContent {
  std::vector<QSPagesFeature> features;
  std::int64_t columns = 3;
  bool operator==(const QSPagesFeatureGridContent&) const = default;
};
struct QSPagesFooterLink {
  std::string url, label;
  bool operator==(const QSPagesFooterLink&) const = default;
};
struct QSPagesSocialLink {
  std::string url;
  QSPagesSocialPlatform platform = QSPagesSocialPlatform::twitter;
  bool operator==(const QSPagesSocialLink&) const = default;
};
struct QSPagesFooterColumn {
  std::string heading;
  std::vector<QSPagesFooterLink> links;
  bool operator==(const QSPagesFooterColumn&) const = default;
};
struct QSPagesFooterContent {
  std::vector<QSPagesFooterLink> links;
  std::vector<QSPagesSocialLink> socialLinks;
  std::string copyrightText, wordmark, tagline;
  std::vector<QSPagesFooterColumn> columns;
  std::string bottomNote;
  std::vector<QSPagesFooterLink> bottomLinks;
  bool operator==(const QSPagesFooterContent&) const = default;
};
struct QSPagesFormField {
  std::string label;
  QSPagesFormFieldType type = QSPagesFormFieldType::text;
  std::string placeholder;
  bool isRequired = false;
  bool operator==(const QSPagesFormField&) const = default;
};
struct QSPagesFormContent {
  std::vector<QSPagesFormField> fields;
  std::string submitLabel, action;
  bool operator==(const QSPagesFormContent&) const = default;
};
struct QSPagesProductCardContent {
  std::string name, description, price, originalPrice;
  std::optional<QSUUID> imageAssetID;
  std::optional<std::string> imageExternalURL;
  std::string badge, ctaLabel, ctaURL;
  std::optional<std::int64_t> rating;
  bool operator==(const QSPagesProductCardContent&) const = default;
};
struct QSPagesFAQItem {
  std::string question, answer;
  bool operator==(const QSPagesFAQItem&) const = default;
};
struct QSPagesFAQContent {
  std::string title;
  std::vector<QSPagesFAQItem> items;
  bool operator==(const QSPagesFAQContent&) const = default;
};
struct QSPagesAppCardContent {
  std::string appName, tagline, category, iconSymbol;
  QSPagesColor accentColor;
  std::optional<QSUUID> iconAssetID;
  std::optional<std::string> iconExternalURL;
  std::string ctaLabel, url;
  bool openInNewTab = false;
  bool operator==(const QSPagesAppCardContent&) const = default;
};
struct QSPagesSectionHeaderContent {
  std::string eyebrow, heading, headingAccent, subheading;
  QSPagesTextAlign align = QSPagesTextAlign::center;
  std::string iconSymbol;
  std::optional<QSPagesColor> iconAccent;
  bool operator==(const QSPagesSectionHeaderContent&) const = default;
};
struct QSPagesChip {
  std::string label, value;
  bool operator==(const QSPagesChip&) const = default;
};
struct QSPagesChipStripContent {
  std::vector<QSPagesChip> chips;
  bool operator==(const QSPagesChipStripContent&) const = default;
};
struct QSPagesFeatureBullet {
  std::string lead, text;
  bool operator==(const QSPagesFeatureBullet&) const = default;
};
struct QSPagesAppWindowContent {
  std::string title;
  QSPagesAppWindowChrome chrome = QSPagesAppWindowChrome::macApp;
  std::string address;
  std::vector<std::string> sidebar, tabs;
  std::int64_t activeTab = 0, rows = 0;
  std::optional<QSPagesColor> accent;
  std::optional<QSUUID> imageAssetID;
  std::optional<std::string> imageExternalURL;
  bool operator==(const QSPagesAppWindowContent&) const = default;
};
struct QSPagesFeatureRowContent {
  std::string kicker, heading, body;
  std::vector<QSPagesFeatureBullet> bullets;
  std::optional<QSUUID> imageAssetID;
  std::optional<std::string> imageExternalURL;
  std::string imageAlt;
  std::optional<QSPagesAppWindowContent> mockup;
  bool flip = false, glow = false;
  bool operator==(const QSPagesFeatureRowContent&) const = default;
};
struct QSPagesTermLine {
  std::string text;
  QSPagesTermRole role = QSPagesTermRole::output;
  bool operator==(const QSPagesTermLine&) const = default;
};
struct QSPagesTerminalContent {
  std::vector<QSPagesTermLine> lines;
  bool showChrome = true;
  bool operator==(const QSPagesTerminalContent&) const = default;
};
struct QSPagesStep {
  std::string number, title, text;
  bool operator==(const QSPagesStep&) const = default;
};
struct QSPagesStepsContent {
  std::vector<QSPagesStep> steps;
  std::int64_t columns = 3;
  bool operator==(const QSPagesStepsContent&) const = default;
};
struct QSPagesCTABannerContent {
  std::string eyebrow, heading, subheading, buttonLabel, buttonURL, fineprint, iconSymbol;
  bool operator==(const QSPagesCTABannerContent&) const = default;
};
struct QSPagesDocArticle {
  std::string slug, title, summary, bodyHTML;
  bool operator==(const QSPagesDocArticle&) const = default;
};
struct QSPagesDocCategory {
  std::string title;
  std::vector<QSPagesDocArticle> articles;
  bool operator==(const QSPagesDocCategory&) const = default;
};
struct QSPagesDocsContent {
  std::vector<QSPagesDocCategory> categories;
  bool operator==(const QSPagesDocsContent&) const = default;
};
struct QSPagesBrindleBadgeContent {
  QSPagesBrindleBadgeStyle style = QSPagesBrindleBadgeStyle::pill;
  std::string url;
  bool openInNewTab = false;
  bool operator==(const QSPagesBrindleBadgeContent&) const = default;
};
struct QSPagesShareButtonContent {
  QSPagesShareStyle style = QSPagesShareStyle::button;
  std::string label;
  std::vector<QSPagesShareNetwork> networks;
  bool operator==(const QSPagesShareButtonContent&) const = default;
};

// The kind of an element: `type` names it and `value` holds its content (nothing for the three
// structural kinds container, section and divider). The variant's alternatives follow `Type`.
struct QSPagesElementKind {
  enum class Type {
    container, section, divider, grid, heading, text, richText, button, image, video, icon, navbar, hero,
    embed, spacer, testimonial, pricingTable, featureGrid, footer, form, productCard, faq, appCard,
    sectionHeader, chipStrip, featureRow, terminal, steps, ctaBanner, docs, brindleBadge, shareButton,
    appWindow
  };
  using Content = std::variant<std::monostate, QSPagesGridContent, QSPagesHeadingContent, QSPagesTextContent,
                               QSPagesRichTextContent, QSPagesButtonContent, QSPagesImageContent,
                               QSPagesVideoContent, QSPagesIconContent, QSPagesNavbarContent, QSPagesHeroContent,
                               QSPagesEmbedContent, QSPagesSpacerContent, QSPagesTestimonialContent,
                               QSPagesPricingTableContent, QSPagesFeatureGridContent, QSPagesFooterContent,
                               QSPagesFormContent, QSPagesProductCardContent, QSPagesFAQContent,
                               QSPagesAppCardContent, QSPagesSectionHeaderContent, QSPagesChipStripContent,
                               QSPagesFeatureRowContent, QSPagesTerminalContent, QSPagesStepsContent,
                               QSPagesCTABannerContent, QSPagesDocsContent, QSPagesBrindleBadgeContent,
                               QSPagesShareButtonContent, QSPagesAppWindowContent>;
  Type type = Type::container;
  Content value;

  // The content when it is a `T`, else nothing.
  template <class T>
  const T* as() const {
    return std::get_if<T>(&value);
  }
  bool operator==(const QSPagesElementKind&) const = default;
};

struct QSPagesElement {
  QSUUID id;
  std::string name;
  QSPagesElementKind kind;
  std::vector<QSPagesElement> children;
  QSPagesElementStyle style;
  QSPagesElementLayout layout;
  std::optional<QSPagesResponsiveOverrides> responsiveOverrides;
  bool operator==(const QSPagesElement&) const = default;
};

struct QSPagesPageSEO {
  std::string title, metaDescription;
  bool noIndex = false;
  std::optional<std::string> canonicalURL;
  bool operator==(const QSPagesPageSEO&) const = default;
};

struct QSPagesPage {
  std::vector<QSPagesElement> elements;
  std::string slug;
  bool isHomepage = false;
  QSPagesPageSEO seo;
  bool isHidden = false;
  std::string name;
  std::optional<QSPagesColor> accentColor;
  std::optional<QSPagesErrorPageRole> errorRole;
  bool operator==(const QSPagesPage&) const = default;
};

// Where an asset's bytes are: inside the document, shipped with the site builder, or remote.
struct QSPagesAssetSource {
  enum class Type { inlined, bundled, external };
  Type type = Type::inlined;
  std::vector<std::uint8_t> data;  // inline
  std::string path;                // bundled
  std::string url;                 // external
  bool operator==(const QSPagesAssetSource&) const = default;
};

struct QSPagesAsset {
  QSUUID id;
  std::string mimeType;
  QSPagesAssetSource source;
  bool operator==(const QSPagesAsset&) const = default;
};

struct QSPagesFontToken {
  std::string name, fontFamily;
  QSPagesFontSource source = QSPagesFontSource::system;
  bool operator==(const QSPagesFontToken&) const = default;
};
struct QSPagesColorToken {
  std::string name;
  QSPagesColor color;
  bool operator==(const QSPagesColorToken&) const = default;
};
struct QSPagesPageMesh {
  std::vector<QSPagesColor> colors;
  bool showGrid = false;
  double intensityLight = 0, intensityDark = 0;
  bool operator==(const QSPagesPageMesh&) const = default;
};

struct QSPagesStylesheet {
  std::vector<QSPagesFontToken> fontTokens;
  std::vector<QSPagesColorToken> colorTokens;
  std::optional<std::vector<QSPagesColor>> brandMarkPalette;
  std::optional<std::string> brandMarkSymbol;
  std::optional<bool> autoDarkMode;
  std::optional<bool> showThemeToggle;
  std::optional<bool> showBrindleBadge;
  std::optional<QSPagesNavGlass> navGlass;
  std::optional<QSPagesPageMesh> pageMesh;
  bool operator==(const QSPagesStylesheet&) const = default;
};

// The document root.
struct QSPagesProject {
  std::vector<QSPagesPage> pages;
  std::optional<QSPagesElement> globalNavbar;
  std::optional<QSPagesElement> globalFooter;
  QSPagesStylesheet globalStyles;
  std::vector<QSPagesAsset> assets;
  bool operator==(const QSPagesProject&) const = default;
};

}  // namespace qs
