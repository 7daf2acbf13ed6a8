// Reading site documents: what decodes, and the message naming the field when it does not.
#include "app/site/element_renderer.h"
#include "app/site/pages_decoding.h"
#include "app/site/site_error.h"
#include "app/site/site_documents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qs {
namespace {

using namespace sitetest;

std::string failure(const std::string& text) {
  try {
    decodePagesDocument(text);
  } catch (const QSSiteException& e) {
    EXPECT_TRUE(e.error().is<siteError::DocumentUnreadable>());
    return e.what();
  }
  return "decoded";
}

TEST(PagesDecodingTest, FixturesDecodeWithEveryKindAndOptionalParts) {
  QSPagesProject shop = fixture("shop.brp");
  ASSERT_EQ(shop.pages.size(), 6u);
  std::set<QSPagesElementKind::Type> kinds;
  forEachElement(shop, [&](const QSPagesElement& e) { kinds.insert(e.kind.type); });
  EXPECT_EQ(kinds.size(), 33u);

  // Optional parts may be absent or null.
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

// Documents written by other tools are read as the JSON DOM reads them: escapes and surrogate
// pairs, a byte order mark, numbers beyond 64 bits or too small to hold, a repeated key (the
// last one counts), a NUL byte (the text ends there) and deep nesting under a key not read.
TEST(PagesDecodingTest, OddButValidDocumentsDecode) {
  const std::string base = document({page("/", {text("x"), element("spacer", {{"height", 1}}),
                                                element("grid", {{"columns", 3}, {"gap", 0}})}, true)}).dump();
  auto with = [&](std::string_view from, const std::string& to) {
    std::string out = base;
    return out.replace(out.find(from), from.size(), to);
  };
  auto content = [](const QSPagesProject& p) { return p.pages[0].elements[0].kind.as<QSPagesTextContent>()->content; };
  auto height = [&](const std::string& number) {
    return decodePagesDocument(with("\"height\":1", "\"height\":" + number)).pages[0].elements[1].kind.as<QSPagesSpacerContent>()->height;
  };
  auto columns = [&](const std::string& number) {
    return decodePagesDocument(with("\"columns\":3", "\"columns\":" + number)).pages[0].elements[2].kind.as<QSPagesGridContent>()->columns;
  };

  EXPECT_EQ(content(decodePagesDocument(with("\"content\":\"x\"", R"("content":"caf\u00e9 \ud83d\ude80 \"q\" \\ \/ \n \u0041")"))),
            "caf\xC3\xA9 \xF0\x9F\x9A\x80 \"q\" \\ / \n A");
  EXPECT_EQ(height("18446744073709551615"), 18446744073709551615.0);
  EXPECT_EQ(height("-123456789012345678901234567890"), -123456789012345678901234567890.0);
  EXPECT_EQ(height("1e-400"), 0.0);
  EXPECT_EQ(height("2.5e-320"), 2.5e-320);
  EXPECT_EQ(height("1E+2"), 100.0);
  EXPECT_FALSE(std::signbit(height("-0")));
  EXPECT_EQ(columns("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(columns("4.0e0"), 4);

  EXPECT_EQ(decodePagesDocument(with("\"slug\":\"/\"", "\"slug\":\"/first\",\"slug\":\"/\"")).pages[0].slug, "/");
  EXPECT_FALSE(decodePagesDocument(with("{\"assets\"", "{\"globalNavbar\":{},\"globalNavbar\":null,\"assets\"")).globalNavbar);
  EXPECT_EQ(failure(with("{\"assets\"", "{\"globalNavbar\":null,\"globalNavbar\":{},\"assets\"")),
            "The document can't be read: globalNavbar.id is missing.");

  EXPECT_EQ(decodePagesDocument("\xEF\xBB\xBF" + base).pages.size(), 1u);
  EXPECT_EQ(decodePagesDocument(base + std::string("\0 not read", 10)).pages.size(), 1u);
  std::string deep = std::string(1000, '[') + std::string(1000, ']');
  EXPECT_EQ(decodePagesDocument(with("{\"assets\"", "{\"unread\":" + deep + ",\"assets\"")).pages.size(), 1u);
}

// Whatever the value at fault, the message names its field; text that is not JSON is reported
// in the JSON parser's own words.
TEST(PagesDecodingTest, FailuresNameTheField) {
  auto home = [](json elements) { return document({page("/", std::move(elements), true)}); };
  json flag = home(json::array());
  flag["pages"][0]["isHomepage"] = "yes";
  auto withAsset = [](std::string id, std::string data) {
    json doc = document(json::array());
    doc["assets"] = {{{"id", id}, {"mimeType", "image/png"}, {"source", {{"type", "inline"}, {"data", data}}}}};
    return doc.dump();
  };
  json wrongGap = home({text("x")}), childNumber = home({element("container", nullptr, {text("a"), 7})});
  wrongGap["pages"][0]["elements"][0]["layout"]["gap"] = "wide";
  json noStyles = home(json::array()), pagesText = home(json::array());
  noStyles.erase("globalStyles");
  pagesText["pages"] = "none";
  const std::pair<std::string, std::string> cases[] = {
      {home({element("heading")}).dump(), "pages[0].elements[0].kind.value is missing."},
      {home({element("heading", {{"content", "x"}, {"level", "h7"}})}).dump(),
       "pages[0].elements[0].kind.value.level has the unknown value \u201ch7\u201d."},
      {home({element("carousel", {{"x", 1}})}).dump(),
       "pages[0].elements[0].kind.type has the unknown element type \u201ccarousel\u201d."},
      {flag.dump(), "pages[0].isHomepage should be true or false."},
      {"[1,2]", "the document should be an object."},
      {home({element("grid", {{"columns", 2.5}, {"gap", 1}})}).dump(),
       "pages[0].elements[0].kind.value.columns should be a whole number."},
      {home({element("grid", {{"columns", 1e19}, {"gap", 0}})}).dump(),
       "pages[0].elements[0].kind.value.columns should be a whole number."},
      {withAsset("0A11CE00-0000-4000-8000-000000000001", "not base64!"), "assets[0].source.data should be Base64 text."},
      {withAsset("not-a-uuid", ""), "assets[0].id should be a UUID."},
      {wrongGap.dump(), "pages[0].elements[0].layout.gap should be a number."},
      {childNumber.dump(), "pages[0].elements[0].children[1] should be an object."},
      {noStyles.dump(), "globalStyles is missing."},
      {pagesText.dump(), "pages should be a list."},
      {home({element("text", {{"content", 1}})}).dump(), "pages[0].elements[0].kind.value.content should be a string."},
      {std::string(1100, '[') + std::string(1100, ']'), "it is nested too deeply."},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(failure(text), "The document can't be read: " + message) << text;
  QSPagesProject whole = decode(home({element("grid", {{"columns", 2.0}, {"gap", 1}})}));
  EXPECT_EQ(whole.pages[0].elements[0].kind.as<QSPagesGridContent>()->columns, 2);
  for (std::string text : {"", "{\"pages\":[1,]}", "[\"\\ud800\"]", "{\"a\":1e400}", "\"\xC0\x80\"", "{\"a\":1} x", "[01]",
                           "{\"a\":\"tab\there\"}", "\xEF\xBB"}) {
    std::string words;
    try {
      [[maybe_unused]] json dom = json::parse(text);
    } catch (const json::exception& e) {
      words = e.what();
    }
    EXPECT_EQ(failure(text), "The document can't be read: it isn't valid JSON (" + words + ").") << text;
  }
}

}  // namespace
}  // namespace qs
