#include "core/mail/mail_parser.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace QSMailParser;

const QSTimestamp kCallerTime{std::chrono::milliseconds(1'700'000'000'000)};

std::string fixture(const std::string& name) { return testing::readTextFile(std::string(QS_TEST_FIXTURES) + "/mail/" + name); }

std::string text(const QSBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(MailParserTest, MultipartMessageFillsEveryField) {
  std::string raw = fixture("welcome.eml");
  QSMailMessage m = parse(raw, "bounce@example.com", kCallerTime);
  EXPECT_EQ(m.from, "Jürgen <juergen@example.com>");
  EXPECT_EQ(m.to, (std::vector<std::string>{"Alice <alice@example.com>", "bob@example.com"}));
  EXPECT_EQ(m.cc, (std::vector<std::string>{"carol@example.com"}));
  EXPECT_EQ(m.subject, "Welcome to Quayside and more") << "folded, two words joined, the space inside the first kept";
  EXPECT_EQ(m.receivedAt, QSTimestamp(std::chrono::sys_days(std::chrono::year(2026) / 12 / 7) + std::chrono::hours(9) +
                                      std::chrono::minutes(30)));
  EXPECT_EQ(m.textBody, "Hello Jürgen, welcome!\r") << "quoted-printable, soft break joined; the later text part ignored";
  EXPECT_EQ(m.htmlBody, "<p>Hello Jürgen, welcome!</p>\r");
  ASSERT_EQ(m.attachments.size(), 3u);
  EXPECT_EQ(m.attachments[0].filename, "Rechnung März.pdf");
  EXPECT_EQ(m.attachments[0].contentType, "application/pdf");
  EXPECT_EQ(text(m.attachments[0].data), "%PDF-1.4\n");
  EXPECT_EQ(m.attachments[1].filename, "notes.txt") << "a text part that says attachment is one";
  EXPECT_EQ(text(m.attachments[1].data), "some notes\r");
  EXPECT_EQ(m.attachments[2].filename, "attachment") << "a non-text part without a name";
  EXPECT_EQ(m.attachments[2].contentType, "image/png");
  EXPECT_EQ(m.raw, raw);
  ASSERT_EQ(m.headers.size(), 9u);
  EXPECT_EQ(m.headers[1].name, "Received") << "repeated headers are all kept";
  EXPECT_EQ(headerValue("received", m.headers), "from a.example by b.example; Mon, 7 Dec 2026 09:00:00 +0000");
}

TEST(MailParserTest, LatinOneMailWithBareLineFeeds) {
  QSMailMessage m = parse(fixture("latin1-lf.eml"), "", kCallerTime);
  EXPECT_EQ(m.subject, "Menü du jour");
  EXPECT_EQ(m.from, "Caf\xEF\xBF\xBD <cafe@example.com>") << "an undeclared 8-bit header byte is replaced";
  EXPECT_EQ(m.textBody, "Crème brûlée\n");
  EXPECT_EQ(m.receivedAt, kCallerTime) << "no Date header";
  EXPECT_EQ(parse("Subject: a\n\nbody", "", kCallerTime).textBody, parse("Subject: a\r\n\r\nbody", "", kCallerTime).textBody);
}

TEST(MailParserTest, EncodedWords) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"=?UTF-8?B?SGVsbG8=?= =?UTF-8?B?V29ybGQ=?=", "HelloWorld"},
      {"=?utf-8?q?caf=C3=A9_au_lait?=", "café au lait"},
      {"=?ISO-8859-1?Q?Gr=FC=DFe?= aus Berlin", "Grüße aus Berlin"},
      {"Re: =?UTF-8?Q?na=C3=AFve?=  and  more", "Re: naïve  and  more"},
      {"=?windows-1252?Q?=80_5?=", "€ 5"},
      {"=?UTF-8?B?!!!?=", ""},
      {"=?unknown-charset?Q?plain?=", "plain"},
      {"no words = here ?=", "no words = here ?="},
      {"=?UTF-8?X?not a word?=", "=?UTF-8?X?not a word?="},
  };
  for (const auto& c : cases) EXPECT_EQ(decodeEncodedWords(c.in), c.out) << c.in;
}

TEST(MailParserTest, TextInItsCharacterSet) {
  EXPECT_EQ(decodeText("\xB1", "iso-8859-2"), "ą");
  EXPECT_EQ(decodeText(std::string("\xFF\xFEh\0i\0", 6), "utf-16"), "hi");
  EXPECT_EQ(decodeText("\xE9t\xE9", "us-ascii"), "été") << "not ASCII, not UTF-8: Latin-1";
  EXPECT_EQ(decodeText("\xE9t\xE9", "x-made-up"), "été");
  EXPECT_EQ(decodeText("d\xC3\xA9j\xC3\xA0", std::nullopt), "déjà");
}

TEST(MailParserTest, QuotedPrintable) {
  EXPECT_EQ(decodeQuotedPrintable("soft=\r\nbreak and=\nbare"), "softbreak andbare");
  EXPECT_EQ(decodeQuotedPrintable("=3D=c3=a9"), "=\xC3\xA9");
  EXPECT_EQ(decodeQuotedPrintable("=ZZ =4 ="), "=ZZ =4 =");
  EXPECT_EQ(decodeQuotedPrintable("a=\rb"), "a=\rb");
  EXPECT_EQ(decodeBody("aGVs\r\n bG8=\r\n", "base64"), "hello");
  EXPECT_EQ(decodeBody("not*base64", "base64"), "");
  EXPECT_EQ(decodeBody("as it =3D stands", "8bit"), "as it =3D stands");
}

TEST(MailParserTest, PartsAndTheirKinds) {
  auto partsOf = [](const std::string& body) {
    return parse("Content-Type: multipart/mixed; boundary=b\n\n" + body, "", kCallerTime);
  };
  auto open = partsOf("--b\nContent-Type: text/plain\n\nkept\n--b\nContent-Type: text/html\n\nlost");
  EXPECT_EQ(open.textBody, "kept");
  EXPECT_FALSE(open.htmlBody) << "a part left open when the lines run out is dropped";

  auto named = partsOf("--b\nContent-Type: text/plain; name=readme.txt\n\nbody text\n"
                       "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n\n\n--b--\n");
  EXPECT_EQ(named.textBody, "body text") << "a named text part without 'attachment' is the body";
  EXPECT_TRUE(named.attachments.empty()) << "an empty unnamed image is dropped";

  auto parameters = parseContentType(R"(Text/HTML; Charset="utf-8"; name="a;b.html"; flag)");
  EXPECT_EQ(parameters.mediaType, "text/html");
  EXPECT_EQ(parameters.parameters, (std::map<std::string, std::string>{{"charset", "utf-8"}, {"name", "a;b.html"}}));
}

TEST(MailParserTest, DeepOrBrokenStructureNeverBreaksTheWalk) {
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "Content-Type: multipart/mixed; boundary=x\n\n--x\n";
  nested += "\ninner\n";
  for (int i = 0; i < 5000; ++i) nested += "--x--\n";
  QSMailMessage m = parse(nested, "", kCallerTime);
  EXPECT_EQ(m.headers.size(), 1u);

  for (const char* odd : {"", ":", "\n\n\n", "Content-Type: multipart/mixed; boundary=\"\"\n\n--\n--\n",
                          "Content-Type: ;;;\"\n\n", "Subject: =?\n\n=?=?x?B?=?="})
    EXPECT_EQ(parse(odd, "", kCallerTime).raw, odd);
}

TEST(MailParserTest, Dates) {
  using namespace std::chrono;
  auto at = [](int y, unsigned mo, unsigned d, int h, int mi) {
    return QSTimestamp(sys_days(year(y) / mo / d) + hours(h) + minutes(mi));
  };
  EXPECT_EQ(parseDate("Mon, 7 Dec 2026 10:30:00 +0100"), at(2026, 12, 7, 9, 30));
  EXPECT_EQ(parseDate("  07 dec 2026 10:30:00 -0230 "), at(2026, 12, 7, 13, 0));
  EXPECT_EQ(parseDate("Tue, 1 Jan 2020 00:00:00 GMT"), at(2020, 1, 1, 0, 0));
  for (const char* bad : {"Mon, 31 Feb 2026 10:30:00 +0000", "Mon, 7 Dec 2026 10:30 +0000", "2026-12-07T10:30:00Z",
                          "Mon, 7 Dec 2026 10:30:00 +0000 (UTC)", "Mon, 7 Foo 2026 10:30:00 +0000"})
    EXPECT_EQ(parseDate(std::string(bad)), std::nullopt) << bad;
  EXPECT_EQ(parse("Date: someday\n\n", "", kCallerTime).receivedAt, kCallerTime);
}

}  // namespace
}  // namespace qs
