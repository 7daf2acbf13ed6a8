// The JSON values of the document's plain enumerations, in declaration order of the cases.
#pragma once

#include "app/site/pages_document.h"

#include <array>
#include <optional>
#include <string_view>

namespace qs {

template <class E>
struct QSPagesEnumNames;

#define QS_PAGES_ENUM_NAMES(E, ...)                              \
  template <>                                                    \
  struct QSPagesEnumNames<E> {                                   \
    static constexpr std::string_view names[] = {__VA_ARGS__};              \
  };

QS_PAGES_ENUM_NAMES(QSPagesHeadingLevel, "h1", "h2", "h3", "h4", "h5", "h6")
QS_PAGES_ENUM_NAMES(QSPagesButtonVariant, "primary", "secondary", "ghost", "danger")
QS_PAGES_ENUM_NAMES(QSPagesObjectFit, "cover", "contain", "fill", "none")
QS_PAGES_ENUM_NAMES(QSPagesTextAlign, "left", "center", "right", "justify")
QS_PAGES_ENUM_NAMES(QSPagesFormFieldType, "text", "email", "phone", "textarea", "checkbox",
                    "select")
QS_PAGES_ENUM_NAMES(QSPagesNavDropdownStyle, "list", "mega")
QS_PAGES_ENUM_NAMES(QSPagesAppWindowChrome, "macApp", "browser")
QS_PAGES_ENUM_NAMES(QSPagesFontSource, "system", "bundled", "googleFonts", "custom")
QS_PAGES_ENUM_NAMES(QSPagesErrorPageRole, "notFound", "serverError", "generic")
QS_PAGES_ENUM_NAMES(QSPagesNavGlass, "solid", "subtle", "frosted", "clear")
QS_PAGES_ENUM_NAMES(QSPagesGlassPreset, "subtle", "frosted", "clear")
QS_PAGES_ENUM_NAMES(QSPagesFontWeight, "thin", "extraLight", "light", "regular", "medium",
                    "semibold", "bold", "extraBold", "black")
QS_PAGES_ENUM_NAMES(QSPagesTextDecoration, "none", "underline", "strikethrough")
QS_PAGES_ENUM_NAMES(QSPagesTextTransform, "none", "uppercase", "lowercase", "capitalize")
QS_PAGES_ENUM_NAMES(QSPagesBorderStyle, "solid", "dashed", "dotted", "none")
QS_PAGES_ENUM_NAMES(QSPagesOverflow, "hidden", "visible", "scroll", "auto")
QS_PAGES_ENUM_NAMES(QSPagesDisplay, "flex", "block", "grid")
QS_PAGES_ENUM_NAMES(QSPagesFlexDirection, "row", "row-reverse", "column", "column-reverse")
QS_PAGES_ENUM_NAMES(QSPagesAlignItems, "flex-start", "center", "flex-end", "stretch", "baseline")
QS_PAGES_ENUM_NAMES(QSPagesJustifyContent, "flex-start", "center", "flex-end", "space-between",
                    "space-around", "space-evenly")
QS_PAGES_ENUM_NAMES(QSPagesGradientType, "linear", "radial")
QS_PAGES_ENUM_NAMES(QSPagesBrindleBadgeStyle, "pill", "inline", "banner")
QS_PAGES_ENUM_NAMES(QSPagesShareStyle, "button", "links")
QS_PAGES_ENUM_NAMES(QSPagesShareNetwork, "twitter", "linkedin", "facebook", "email", "copy")
QS_PAGES_ENUM_NAMES(QSPagesSocialPlatform, "twitter", "facebook", "instagram", "linkedin",
                    "youtube", "github", "tiktok", "mastodon")
QS_PAGES_ENUM_NAMES(QSPagesTermRole, "prompt", "output", "success", "comment")

#undef QS_PAGES_ENUM_NAMES

// The JSON value of `value` (for the CSS-valued enumerations, also its CSS keyword).
template <class E>
constexpr std::string_view pagesRawValue(E value) {
  return QSPagesEnumNames<E>::names[static_cast<std::size_t>(value)];
}

// The case whose JSON value is `text`, or nothing.
template <class E>
constexpr std::optional<E> pagesEnumFromRaw(std::string_view text) {
  const auto& names = QSPagesEnumNames<E>::names;
  for (std::size_t i = 0; i < std::size(names); ++i)
    if (names[i] == text) return static_cast<E>(i);
  return std::nullopt;
}

}  // namespace qs
