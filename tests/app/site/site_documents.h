// Documents for the site export tests: the hand-written fixtures and small documents built in
// JSON, one element at a time.
#pragma once

#include "app/site/pages_decoding.h"
#include "app/site/vapor_exporter.h"
#include "support/test_locations.h"

#include <nlohmann/json.hpp>

#include <string>

namespace qs::sitetest {

using json = nlohmann::json;

inline std::string fixturePath(const std::string& name) { return qs::testing::fixturesFolder() + "/site/" + name; }
inline QSPagesProject fixture(const std::string& name) { return readPagesDocument(fixturePath(name)); }

// An element of `type` with `value` (null for the structural kinds).
inline json element(const std::string& type, json value = nullptr, json children = json::array()) {
  static int counter = 0;
  ++counter;
  char id[37];
  std::snprintf(id, sizeof id, "0000%04X-0000-4000-8000-000000000000", counter & 0xFFFF);
  json kind = {{"type", type}};
  if (!value.is_null()) kind["value"] = value;
  json style = {{"borderRadius", {{"topLeft", 0}, {"topRight", 0}, {"bottomRight", 0}, {"bottomLeft", 0}}},
                {"opacity", 1},
                {"overflow", "hidden"}};
  json zero = {{"top", 0}, {"right", 0}, {"bottom", 0}, {"left", 0}};
  json layout = {{"display", "block"}, {"flexDirection", "column"}, {"alignItems", "stretch"},
                 {"justifyContent", "flex-start"}, {"gap", 0}, {"padding", zero}, {"margin", zero},
                 {"width", {{"type", "auto"}}}, {"height", {{"type", "auto"}}}};
  return {{"id", id}, {"name", type}, {"kind", kind}, {"children", children}, {"style", style}, {"layout", layout}};
}

inline json page(const std::string& slug, json elements, bool home = false) {
  return {{"elements", elements}, {"slug", slug}, {"isHomepage", home},
          {"seo", {{"title", ""}, {"metaDescription", ""}, {"noIndex", false}}},
          {"isHidden", false}, {"name", slug}};
}

inline json document(json pages) {
  return {{"pages", pages}, {"globalStyles", {{"fontTokens", json::array()}, {"colorTokens", json::array()}}},
          {"assets", json::array()}};
}

inline json text(const std::string& content) { return element("text", {{"content", content}}); }
inline json form() {
  return element("form", {{"fields", {{{"label", "Email"}, {"type", "email"}, {"placeholder", ""}, {"isRequired", true}}}},
                          {"submitLabel", "Send"},
                          {"action", "/elsewhere"}});
}

inline QSPagesProject decode(const json& document) { return decodePagesDocument(document.dump()); }

// No installed fonts, so that results do not depend on the machine.
inline const QSFontLibrary& noFonts() {
  static const QSFontLibrary none({});
  return none;
}
inline ExportedVaporProject exportWithoutFonts(const QSPagesProject& document, const std::string& name = "site") {
  return QSVaporExporter(noFonts()).exportProject(document, name);
}

inline bool has(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

inline const ExportedFile* findFile(const ExportedVaporProject& exported, const std::string& path) {
  for (const auto& file : exported.files)
    if (file.relativePath == path) return &file;
  return nullptr;
}

}  // namespace qs::sitetest
