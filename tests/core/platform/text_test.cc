// Text at the edges: where UTF-8 is well formed and how it is repaired, trimming and ASCII case
// whatever the bytes, and other character sets converted without losing or inventing a byte.
#include "core/platform/charset_conversion.h"
#include "core/platform/text.h"
#include "core/platform/utf8.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

// The edges of RFC 3629: the first and last of each length, and the forms it forbids.
TEST(UTF8Test, WellFormedSequencesAndTheFormsRefused) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {std::string("a\0b", 3), true},
      {"\xC2\x80\xDF\xBF", true},                  // U+0080, U+07FF
      {"\xE0\xA0\x80\xEF\xBF\xBF", true},          // U+0800, U+FFFF
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", true},  // U+10000, U+10FFFF
      {"\xC0\xAF", false},                          // "/" in two bytes
      {"\xE0\x80\xAF", false},                      // overlong in three
      {"\xF0\x80\x80\xAF", false},                  // overlong in four
      {"\xED\xA0\x80", false},                      // a surrogate
      {"\xF4\x90\x80\x80", false},                  // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\x80", false},                              // a continuation without a lead
      {"caf\xC3", false},                           // cut short at the end
      {"\xE2\x82" "a", false},                      // cut short before another character
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUTF8(c.text), c.valid) << testing::PrintToString(c.text);
}

// Each byte that starts no character becomes one U+FFFD; every character around it stays.
TEST(UTF8Test, RepairReplacesOnlyTheBadBytes) {
  EXPECT_EQ(replacingInvalidUTF8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(replacingInvalidUTF8("caf\xE9!"), "caf" + kReplacement + "!");
  EXPECT_EQ(replacingInvalidUTF8("\xE2\x82" "a"), kReplacement + kReplacement + "a");
  EXPECT_EQ(replacingInvalidUTF8("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
  EXPECT_EQ(replacingInvalidUTF8("\xF0\x9F\x9A\x80\xC0"), "\xF0\x9F\x9A\x80" + kReplacement);
  EXPECT_TRUE(isValidUTF8(replacingInvalidUTF8("\xFF\x80\xC3\xF4\x90\x80\x80")));

  // A character split between two reads is a prefix to wait for; a bad one is not.
  EXPECT_TRUE(isUTF8Prefix("\xF0\x9F\x9A"));
  EXPECT_TRUE(isUTF8Prefix("\xE2"));
  EXPECT_FALSE(isUTF8Prefix("\xE0\x80"));  // would be overlong whatever follows
  EXPECT_FALSE(isUTF8Prefix("\xC3\xA9"));  // complete already
  EXPECT_FALSE(isUTF8Prefix(""));
  EXPECT_EQ(utf8SequenceLength("a\xE2\x82\xAC", 1), 3u);
  EXPECT_EQ(utf8SequenceLength("a\xE2\x82", 1), 0u);
}

TEST(TextTest, TrimmingAndASCIICaseTouchOnlyWhatTheySay) {
  EXPECT_EQ(trimmed(" \t\r\n\v\f"), "");
  EXPECT_EQ(trimmed(""), "");
  EXPECT_EQ(trimmed("\r\n  a b \t\n"), "a b");
  EXPECT_EQ(trimmed("\n a \n", kBlanks), "\n a \n");
  EXPECT_EQ(trimmed("--x-y--", "-"), "x-y");
  EXPECT_EQ(trimmedEnd("  value \r\n"), "  value");
  EXPECT_EQ(trimmedEnd("\r\n"), "");
  // A non-breaking space is not ASCII white space: trimming must not cut a character in two.
  EXPECT_EQ(trimmed("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");

  // Keywords compare in ASCII: no locale turns "I" into a dotless i, and UTF-8 bytes stay.
  EXPECT_EQ(asciiLowercased("Content-TYPE: \xC3\x84Z"), "content-type: \xC3\x84z");
  EXPECT_EQ(asciiUppercased("mail from:<\xC3\xA4@x>"), "MAIL FROM:<\xC3\xA4@X>");
  EXPECT_EQ(asciiLowercased(std::string("I\0@[", 4)), std::string("i\0@[", 4));
  EXPECT_EQ(asciiUppercased("`az{"), "`AZ{");
}

TEST(CharsetConversionTest, OtherCharacterSetsBecomeUTF8) {
  EXPECT_EQ(convertToUTF8("\xB1\xE6", "ISO-8859-2"), "\xC4\x85\xC4\x87");  // ą ć
  EXPECT_EQ(convertToUTF8("\x80 \x93q\x94", "WINDOWS-1252"), "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
  EXPECT_EQ(convertToUTF8(std::string("\xFF\xFE" "A\0\x3D\xD8\x80\xDE", 8), "UTF-16"), "A\xF0\x9F\x9A\x80");
  // A stateful encoding, which escapes between character sets within the text.
  EXPECT_EQ(convertToUTF8("\x1B$B$\"\x1B(Bx", "ISO-2022-JP"), "\xE3\x81\x82x");
  EXPECT_EQ(convertToUTF8("", "ISO-8859-2"), "");

  // Bytes that are not text in the named set, or a set iconv does not know: nothing, so that the
  // caller can try another.
  EXPECT_FALSE(convertToUTF8("caf\xE9", "UTF-8"));
  EXPECT_FALSE(convertToUTF8(std::string("A\0\x3D", 3), "UTF-16LE"));  // half a character
  EXPECT_FALSE(convertToUTF8("\x81", "SHIFT_JIS"));
  EXPECT_FALSE(convertToUTF8("text", "X-NO-SUCH-CHARSET"));
  EXPECT_FALSE(isKnownCharset("X-NO-SUCH-CHARSET"));
  EXPECT_TRUE(isKnownCharset("windows-1252"));
}

// Text far longer than the converter's buffer, with characters across every buffer edge, comes
// through byte for byte, and Latin-1 agrees with iconv for each of its 256 bytes.
TEST(CharsetConversionTest, LongTextLosesNoByteAndLatin1MatchesIconv) {
  std::string latin, expected;
  for (int i = 0; i < 20000; ++i) {
    latin += i % 7 == 0 ? "\xE9" : "ab";
    expected += i % 7 == 0 ? "\xC3\xA9" : "ab";
  }
  EXPECT_EQ(convertToUTF8(latin, "ISO-8859-1"), expected);
  EXPECT_EQ(latin1ToUTF8(latin), expected);
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  EXPECT_EQ(convertToUTF8(everyByte, "ISO-8859-1"), latin1ToUTF8(everyByte));
  EXPECT_TRUE(isValidUTF8(latin1ToUTF8(everyByte)));
}

}  // namespace
}  // namespace qs
