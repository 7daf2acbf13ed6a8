#include "core/mail/mail_parser.h"

#include "core/platform/process_runner.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace QSMailParser;

const QSTimestamp kCallerTime{std::chrono::milliseconds(1'700'000'000'000)};

std::string fixture(const std::string& name) { return testing::readTextFile(qs::testing::fixturesFolder() + "/mail/" + name); }

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
  EXPECT_EQ(m.textBody, "Hello Jürgen, welcome!") << "quoted-printable, soft break joined; the later text part ignored";
  EXPECT_EQ(m.htmlBody, "<p>Hello Jürgen, welcome!</p>") << "the CR LF before a boundary belongs to the boundary";
  ASSERT_EQ(m.attachments.size(), 3u);
  EXPECT_EQ(m.attachments[0].filename, "Rechnung März.pdf");
  EXPECT_EQ(m.attachments[0].contentType, "application/pdf");
  EXPECT_EQ(text(m.attachments[0].data), "%PDF-1.4\n");
  EXPECT_EQ(m.attachments[1].filename, "notes.txt") << "a text part that says attachment is one";
  EXPECT_EQ(text(m.attachments[1].data), "some notes");
  EXPECT_EQ(m.attachments[2].filename, "attachment") << "a non-text part without a name";
  EXPECT_EQ(m.attachments[2].contentType, "image/png");
  EXPECT_EQ(m.raw, raw);
  ASSERT_EQ(m.headers.size(), 9u);
  EXPECT_EQ(m.headers[1].name, "Received") << "repeated headers are all kept";
  EXPECT_EQ(headerValue("received", m.headers), "from a.example by b.example; Mon, 7 Dec 2026 09:00:00 +0000");
}

TEST(MailParserTest, EncodedWords) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"=?UTF-8?B?SGVsbG8=?= =?UTF-8?B?V29ybGQ=?=", "HelloWorld"},
      {"=?UTF-8?B?ww==?=\r\n =?utf-8?B?qQ==?=!", "é!"},  // one character split between two words
      {"=?utf-8?q?caf=C3=A9_au_lait?=", "café au lait"},
      {"=?ISO-8859-1?Q?Gr=FC=DFe?= aus Berlin", "Grüße aus Berlin"},
      {"Re: =?UTF-8?Q?na=C3=AFve?=  and  more", "Re: naïve  and  more"},
      {"=?UTF-8?B?!!!?=", ""},
      {"=?unknown-charset?Q?plain?=", "plain"},
      {"=?UTF-8?X?not a word?=", "=?UTF-8?X?not a word?="},
  };
  for (const auto& c : cases) EXPECT_EQ(decodeEncodedWords(c.in), c.out) << c.in;
}

// A message as Python's email package writes it for smtplib (CR LF line ends).
TEST(MailParserTest, WhatPythonSendsArrivesWhole) {
  auto built = runProcess({"/usr/bin/python3", "-c", R"(import sys, email.policy
from email.message import EmailMessage
m = EmailMessage()
m["Subject"] = "Grüße"
m.set_content("Привет, мир", charset="koi8-r", cte="8bit")
m.add_alternative("<p>€ 5</p>", subtype="html", charset="iso-8859-15", cte="8bit")
m.add_attachment(b"%PDF-1.4\n\x00\xff", maintype="application", subtype="pdf", filename="Rechnung März.pdf")
m.add_attachment("a,b\r\n1,2\r\n", subtype="csv", filename="Übersicht März.csv")
m.add_attachment("BEGIN:VCALENDAR\r\n", subtype="calendar", filename="Termin März.ics")
m.add_attachment(b"x", maintype="application", subtype="octet-stream", filename="a" * 100 + "ä.bin")
sys.stdout.buffer.write(m.as_bytes(policy=email.policy.SMTP))
)"});
  ASSERT_TRUE(built.succeeded()) << built.errorOutput;
  QSMailMessage m = parse(built.output, "", kCallerTime);
  EXPECT_EQ(m.subject, "Grüße");
  EXPECT_EQ(m.textBody, "Привет, мир\r\n") << "KOI8-R, and no stray CR from the boundary";
  EXPECT_EQ(m.htmlBody, "<p>€ 5</p>\r\n") << "ISO-8859-15";
  ASSERT_EQ(m.attachments.size(), 4u) << "text attachments with RFC 2231 names are kept";
  EXPECT_EQ(m.attachments[0].filename, "Rechnung März.pdf");
  EXPECT_EQ(text(m.attachments[0].data), std::string("%PDF-1.4\n\0\xff", 11));
  EXPECT_EQ(m.attachments[1].filename, "Übersicht März.csv");
  EXPECT_EQ(m.attachments[1].contentType, "text/csv");
  EXPECT_EQ(text(m.attachments[1].data), "a,b\r\n1,2\r\n") << "not a byte more";
  EXPECT_EQ(m.attachments[2].filename, "Termin März.ics");
  EXPECT_EQ(m.attachments[3].filename, std::string(100, 'a') + "ä.bin") << "a long name split in continuations";
}

TEST(MailParserTest, TextInItsCharacterSet) {
  struct Case {
    std::string bytes;
    std::optional<std::string> charset;
    std::string text;
  } cases[] = {
      {"\xA4 5", "latin-9", "€ 5"},  // an alias of ISO-8859-15
      {"\xE9t\xE9", "us-ascii", "été"},
      {"d\xC3\xA9j\xC3\xA0", std::nullopt, "déjà"},
      {"d\xE9j\xE0", std::nullopt, "déjà"},
      {"d\xC3\xA9j\xE0", "x-made-up", "dé" "j\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(decodeText(c.bytes, c.charset), c.text) << c.charset.value_or("(none)");
}

TEST(MailParserTest, BodiesInEveryShapeAreFoundAndNothingElseKept) {
  struct Case {
    const char* what;
    std::string raw;
    std::optional<std::string> textBody;
  } cases[] = {
      {"a text type without subtype", "Content-Type: text; charset=utf-8\r\n\r\nplain body", "plain body"},
      {"no blank line after the headers", "Subject: hi\r\nFrom: a@b\r\nHello there\r\nsecond line\r\n",
       "Hello there\r\nsecond line\r\n"},
      {"no headers at all", "just text\n", "just text\n"},
      // The later text part is ignored; an empty unnamed image is dropped.
      {"a named text part without 'attachment' is the body",
       "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain; name=readme.txt\n\nbody text\n"
       "--b\nContent-Type: text/plain\n\nlater text\n"
       "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n\n\n--b--\n",
       "body text"},
  };
  for (const auto& c : cases) {
    QSMailMessage m = parse(c.raw, "", kCallerTime);
    EXPECT_EQ(m.textBody, c.textBody) << c.what;
    EXPECT_TRUE(m.attachments.empty()) << c.what;
  }
  EXPECT_EQ(parse("Subject: hi\r\nFrom: a@b\r\nHello there\r\n", "", kCallerTime).headers.size(), 2u);
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
  EXPECT_EQ(parseDate("Mon, 7 Dec 2026 05:30:00 -0400 (EDT)"), at(2026, 12, 7, 9, 30)) << "a zone comment";
  EXPECT_EQ(parseDate("Mon, 7 Dec 2026 09:30:00 +0000(UTC)"), at(2026, 12, 7, 9, 30));
  for (const char* bad : {"Mon, 31 Feb 2026 10:30:00 +0000", "Mon, 7 Dec 2026 10:30 +0000", "2026-12-07T10:30:00Z",
                          "Mon, 7 Dec 2026 10:30:00 +0000 (UTC", "Mon, 7 Foo 2026 10:30:00 +0000"})
    EXPECT_EQ(parseDate(std::string(bad)), std::nullopt) << bad;
  EXPECT_EQ(parse("Date: someday\n\n", "", kCallerTime).receivedAt, kCallerTime);
}

}  // namespace
}  // namespace qs
