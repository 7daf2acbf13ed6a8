// The direct text writer and the quick tree reader against the DOM coding they stand in for:
// same bytes out, same values in, and the DOM left to decide (and word) everything else.
#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"
#include "core/protocol/json_text_writer.h"
#include "core/protocol/json_tree_decoding.h"
#include "support/sample_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace qs {
namespace {

std::string domText(const json& value) { return QSDaemonFraming::compactText(value); }

std::string written(const std::string& text) {
  QSJsonTextWriter writer(QSCoder::wire());
  writer.writeString(text);
  return writer.take();
}

TEST(JsonTextWriter, StringsAreEscapedAsTheDomWritesThem) {
  std::vector<std::string> texts = {"", "plain", "tab\there", "quote \" and \\ backslash", "\x7F delete",
                                    "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "rocket \xF0\x9F\x9A\x80",
                                    "\x1B[32mgreen\x1B[0m", std::string("nul \0 inside", 12)};
  for (int byte = 0; byte < 256; ++byte) texts.push_back(std::string(1, static_cast<char>(byte)) + "x");
  // Bad UTF-8: a lone continuation byte, an overlong form, an encoded surrogate, a code point
  // above U+10FFFF, a sequence cut short at the end and in the middle.
  for (const char* bad : {"a\x80z", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "end \xE2\x82", "\xF0\x9F\x9A!"})
    texts.push_back(bad);
  for (const std::string& text : texts) EXPECT_EQ(written(text), domText(json(text))) << json(text).dump(-1, ' ', true, json::error_handler_t::replace);
}

TEST(JsonTextWriter, NumbersAreWrittenAsTheDomWritesThem) {
  for (double d : {0.0, -0.0, 1.0, -1.5, 0.1, 1e20, 1e21, 1.5e-7, 123456789.123, 8.0e15, 7.3e8 + 0.125,
                   std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                   std::numeric_limits<double>::infinity(), std::nan("")})
    EXPECT_EQ(jsonText(d, QSCoder::wire()), domText(json(d))) << d;
  for (std::int64_t i : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{8080}, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max()})
    EXPECT_EQ(jsonText(i, QSCoder::wire()), domText(json(i)));
}

TEST(JsonTextWriter, KeysComeInByteOrderInEveryCoding) {
  std::map<std::string, int> map = {{"b", 1}, {"a", 2}, {"B", 3}, {"\xC3\xA9", 4}, {"_", 5}, {"", 6}};
  EXPECT_EQ(jsonText(map, QSCoder::wire()), domText(toJson(map, QSCoder::wire())));
  // Records write their fields in declaration order and reorder them on closing.
  for (const QSCoder& coder : {QSCoder::wire(), QSCoder::stateFile()}) {
    QSProjectConfiguration configuration = testing::sampleConfiguration();
    configuration.projects.push_back(testing::minimalProject());
    EXPECT_EQ(jsonText(configuration, coder), domText(toJson(configuration, coder)));
  }
}

// Whatever the tree parser accepts, the DOM parser accepts with the same value; the tree parser
// takes everything a frame from this program contains.
TEST(JsonTree, AcceptsNothingTheDomRejects) {
  const std::vector<std::string> takes = {
      R"({"a":[1,-2,3.5,-0,1e3,2E-2,true,false,null,"x"],"b":{}})",
      " \t\r\n[ ] ",
      R"("esc \" \\ \/ \b \f \n \r \t \u00e9 \u0000 \ud83d\ude80")",
      "\"caf\xC3\xA9\"",
      R"({"a":1,"a":2})",
      std::string(128, '[') + std::string(128, ']'),
      "9223372036854775807",
      "-9223372036854775808",
  };
  for (const std::string& text : takes) {
    auto tree = QSJsonTree::parse(text);
    ASSERT_TRUE(tree.has_value()) << text;
    EXPECT_EQ(tree->dom(0), json::parse(text)) << text;
  }
  const std::vector<std::string> refuses = {
      "", " ", "[1,]", "{\"a\":1,}", "[01]", "[1.]", "[.5]", "[-]", "[+1]", "[1e]", "[1e+]", "tru", "nul",
      "\"tab\there\"", R"("\x")", R"("\u12")", R"("\ud800")", R"("\udc00")", R"("\ud800\u0041")",
      "\"a\x80z\"", "\"\xC0\x80\"", "\"\xED\xA0\x80\"", "\"unterminated", "{\"a\" 1}", "{1:2}", "[1] [2]",
      "[1] x", std::string(129, '[') + std::string(129, ']'),
      // Taken by the DOM parser, left to it: a byte order mark and numbers beyond 64-bit integers.
      "\xEF\xBB\xBF[]", "9223372036854775808", "-9223372036854775809", "1e400"};
  for (const std::string& text : refuses) {
    auto tree = QSJsonTree::parse(text);
    EXPECT_FALSE(tree.has_value()) << text;
  }
}

// The quick reader gives up where the DOM has to decide, and the frame decoder then gives the
// DOM's answer.
TEST(JsonTreeDecoding, GivesUpWhereTheDomDecides) {
  const std::string id = testing::sampleID(1).string();
  auto decodeBoth = [](const std::string& text) {
    auto quick = tryDecodeTree<QSDomain>(text, QSCoder::wire());
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return std::pair(quick, QSDaemonFraming::decode<QSDomain>(bytes));
  };
  // A repeated key: the DOM keeps the last value.
  auto [quick, decoded] = decodeBoth(R"({"id":")" + id + R"(","hostname":"a.test","hostname":"b.test","targetPort":8080,"sslEnabled":true})");
  EXPECT_FALSE(quick.has_value());
  EXPECT_EQ(decoded.hostname, "b.test");

  // Whole numbers written as fractions, members out of order, and unknown members are taken alike.
  std::tie(quick, decoded) = decodeBoth(R"({"targetPort":8080.0,"sslEnabled":false,"zz":[1],"hostname":"a.test","id":")" + id + "\"}");
  ASSERT_TRUE(quick.has_value());
  EXPECT_EQ(*quick, decoded);
  EXPECT_EQ(decoded.targetPort, 8080);

  // An enumeration object whose two keys collapse into one in the DOM.
  std::string twice = R"({"ping":{},"ping":{}})";
  EXPECT_FALSE(tryDecodeTree<QSDaemonCommand>(twice, QSCoder::wire()).has_value());
  std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(twice.data()), twice.size());
  EXPECT_TRUE(QSDaemonFraming::decode<QSDaemonCommand>(bytes).is<cmd::Ping>());

  // Anything malformed is left to the DOM, which words the error.
  for (const std::string& text : {R"({"id":")" + id + R"(","hostname":"a.test","targetPort":8080.5,"sslEnabled":true})",
                                  R"({"id":")" + id + R"(","hostname":"a.test","targetPort":8080})",
                                  std::string(R"({"id":"nope","hostname":"a","targetPort":1,"sslEnabled":true})")}) {
    EXPECT_FALSE(tryDecodeTree<QSDomain>(text, QSCoder::wire()).has_value()) << text;
    std::span<const std::uint8_t> body(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_THROW(QSDaemonFraming::decode<QSDomain>(body), QSDecodingError) << text;
  }
}

TEST(JsonTreeDecoding, NullOptionalsAndStateFileDatesReadAsTheDomReadsThem) {
  QSProject project = testing::sampleProject();
  json dom = toJson(project, QSCoder::stateFile());
  dom["lastOpenedAt"] = nullptr;
  dom["domain"] = nullptr;
  std::string text = dom.dump();
  auto quick = tryDecodeTree<QSProject>(text, QSCoder::stateFile());
  ASSERT_TRUE(quick.has_value());
  EXPECT_EQ(*quick, fromJson<QSProject>(dom, QSCoder::stateFile()));
  EXPECT_FALSE(quick->lastOpenedAt || quick->domain);
}

}  // namespace
}  // namespace qs
