// Reading site documents: what decodes, and the message naming the field when it does not.
#include "app/site/element_renderer.h"
#include "app/site/pages_decoding.h"
#include "app/site/site_error.h"
#include "app/site/site_documents.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace sitetest;

std::string failure(const std::string& text) {
  try {
    decodePagesDocument(text);
  } catch (const QSSiteError& e) {
    EXPECT_EQ(e.kind(), QSSiteError::Kind::documentUnreadable);
    return e.what();
  }
  return "decoded";
}

TEST(PagesDecodingTest, FixturesDecodeWithEveryKind) {
  QSPagesProject shop = fixture("shop.brp");
  ASSERT_EQ(shop.pages.size(), 6u);
  EXPECT_EQ(shop.pages[3].slug, "/docs/intro");
  EXPECT_EQ(shop.pages[5].errorRole, QSPagesErrorPageRole::notFound);
  std::set<QSPagesElementKind::Type> kinds;
  forEachElement(shop, [&](const QSPagesElement& e) { kinds.insert(e.kind.type); });
  EXPECT_EQ(kinds.size(), 33u);
}

TEST(PagesDecodingTest, OptionalPartsMayBeAbsentOrNull) {
  json doc = document({page("/", {element("divider"), element("container", nullptr, {element("section")})}, true)});
  EXPECT_FALSE(decode(doc).globalNavbar);
  doc["globalNavbar"] = nullptr;
  doc["globalStyles"]["navGlass"] = nullptr;
  QSPagesProject decoded = decode(doc);
  EXPECT_EQ(decoded.pages[0].elements[1].children[0].kind.type, QSPagesElementKind::Type::section);
  EXPECT_FALSE(decoded.globalNavbar);
  EXPECT_FALSE(decoded.globalStyles.navGlass);
}

// A homepage whose one element is `depth` containers around a text, built as text (building it
// as a JSON tree would copy the tree once per level).
std::string nested(int depth) {
  json shell = element("container");
  std::string open = shell.dump();
  open = open.substr(0, open.find("\"children\":[") + 12);
  std::string close = "]" + shell.dump().substr(shell.dump().find("\"children\":[]") + 13);
  std::string tree = text("leaf").dump();
  std::string prefix, suffix;
  for (int i = 0; i < depth; ++i) prefix += open, suffix += close;
  json doc = document({page("/", json::array(), true)});
  std::string out = doc.dump();
  return out.replace(out.find("\"elements\":[]") + 12, 0, prefix + tree + suffix);
}

TEST(PagesDecodingTest, DeepNestingDecodesUpToTheLimit) {
  QSPagesProject decoded = decodePagesDocument(nested(150));
  const QSPagesElement* e = &decoded.pages[0].elements[0];
  int depth = 0;
  while (!e->children.empty()) e = &e->children[0], ++depth;
  EXPECT_EQ(depth, 150);
  EXPECT_NE(failure(nested(250)).find("is nested too deeply"), std::string::npos);
}

TEST(PagesDecodingTest, FailuresNameTheField) {
  auto homeWith = [](json e) { return document({page("/", {std::move(e)}, true)}); };
  json flag = document({page("/", json::array(), true)});
  flag["pages"][0]["isHomepage"] = "yes";
  auto withAsset = [](std::string id, std::string data) {
    json doc = document(json::array());
    doc["assets"] = {{{"id", id}, {"mimeType", "image/png"}, {"source", {{"type", "inline"}, {"data", data}}}}};
    return doc;
  };
  const std::pair<json, std::string> cases[] = {
      {homeWith(element("heading")), "pages[0].elements[0].kind.value is missing."},
      {homeWith(element("heading", {{"content", "x"}, {"level", "h7"}})),
       "pages[0].elements[0].kind.value.level has the unknown value \u201ch7\u201d."},
      {homeWith(element("carousel", {{"x", 1}})),
       "pages[0].elements[0].kind.type has the unknown element type \u201ccarousel\u201d."},
      {flag, "pages[0].isHomepage should be true or false."},
      {json::array({1, 2}), "the document should be an object."},
      {homeWith(element("grid", {{"columns", 2.5}, {"gap", 1}})),
       "pages[0].elements[0].kind.value.columns should be a whole number."},
      {withAsset("0A11CE00-0000-4000-8000-000000000001", "not base64!"), "assets[0].source.data should be Base64 text."},
      {withAsset("not-a-uuid", ""), "assets[0].id should be a UUID."},
  };
  for (const auto& [doc, message] : cases) EXPECT_EQ(failure(doc.dump()), "The document can't be read: " + message);
  EXPECT_EQ(failure("{\"pages\": ").substr(0, 51), "The document can't be read: it isn't valid JSON ([j");
  json grid = homeWith(element("grid", {{"columns", 2.0}, {"gap", 1}}));
  EXPECT_EQ(decode(grid).pages[0].elements[0].kind.as<QSPagesGridContent>()->columns, 2);
}

}  // namespace
}  // namespace qs
