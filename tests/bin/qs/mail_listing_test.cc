// What `qs mail` prints of a message that carries terminal control sequences: the sender, the
// subject and the body are shown, the sequences are not passed to the terminal.
#include "bin/qs/mail_listing.h"
#include "bin/qs/terminal_text.h"
#include "core/mail/mail_environment.h"
#include "core/mail/mail_parser.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

const std::string kClear = "\x1b[2J";                // clears the screen
const std::string kTitle = "\x1b]0;owned\x07";       // retitles the window
const std::string kCSI = "\xc2\x9b" "31m";           // the one-character CSI (U+009B)
const std::string kR = "\xEF\xBF\xBD";               // U+FFFD

bool holdsControls(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) return true;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F)
      return true;
  }
  return false;
}

TEST(MailListingTest, ControlSequencesFromMailNeverReachTheTerminal) {
  std::string raw = "From: =?utf-8?Q?Eve_=1B]0;owned=07?= <eve@example.com>\r\n"
                    "To: dev@example.com\r\nSubject: Hi " + kClear + kCSI + "there\r\n"
                    "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                    "--b\r\nContent-Type: text/plain\r\n\r\nline one\r\n" + kTitle + "line two\r\n"
                    "--b\r\nContent-Type: application/pdf; name=\"=?utf-8?Q?a=1B[2Jb.pdf?=\"\r\n\r\n%PDF\r\n--b--\r\n";
  QSMailMessage message = QSMailParser::parse(raw, "", QSTimestamp{});
  ASSERT_NE(message.from.find('\x1b'), std::string::npos) << "the record keeps what was sent";
  QSMailSummary summary{.id = message.id, .from = message.from, .subject = message.subject};

  for (const auto& printed : {formatMailList({summary}), formatMailArrival(summary), formatMailMessage(message, {})})
    EXPECT_FALSE(holdsControls(printed)) << printed;
  std::string shown = formatMailMessage(message, {});
  EXPECT_NE(shown.find("Subject:     Hi " + kR + "[2J" + kR + "31mthere\n"), std::string::npos) << shown;
  EXPECT_TRUE(shown.ends_with("\nline one\n" + kR + "]0;owned" + kR + "line two\n")) << "lines kept, CR LF as LF";
  EXPECT_EQ(safeFileName("a\x1b[2Jb.pdf"), "a_[2Jb.pdf");
}

TEST(MailListingTest, TerminalSafeText) {
  struct Case {
    std::string in, line, text;
  } cases[] = {
      {"plain\ttab", "plain\ttab", "plain\ttab"},
      {"a\r\nb\n", "a" + kR + kR + "b" + kR, "a\nb\n"},
      {"bell\x07 del\x7f", "bell" + kR + " del" + kR, "bell" + kR + " del" + kR},
      {"caf\xC3\xA9 \xC2\xA0ok", "caf\xC3\xA9 \xC2\xA0ok", "caf\xC3\xA9 \xC2\xA0ok"},  // é and a no-break space stay
  };
  for (const auto& c : cases) {
    EXPECT_EQ(terminalSafeLine(c.in), c.line) << c.in;
    EXPECT_EQ(terminalSafeText(c.in), c.text) << c.in;
  }
}

// Which projects `qs mail` warns about, and what a server is given.
TEST(MailListingTest, MailPortsMeasuredAgainstTheCatcher) {
  auto variables = [](std::vector<std::pair<std::string, std::string>> pairs) {
    std::vector<QSEnvironmentVariable> out;
    for (auto& [key, value] : pairs) out.push_back({.key = key, .value = value});
    return out;
  };
  EXPECT_EQ(mailPortElsewhere(variables({{"MAIL_PORT", "1025"}}), 1026), "1025");
  EXPECT_EQ(mailPortElsewhere(variables({{"MAIL_HOST", "localhost"}, {"MAIL_PORT", "1025"}}), 1026), "1025");
  EXPECT_EQ(mailPortElsewhere(variables({{"MAIL_PORT", "1026"}}), 1026), std::nullopt);
  EXPECT_EQ(mailPortElsewhere(variables({{"MAIL_HOST", "smtp.example.com"}, {"MAIL_PORT", "587"}}), 1026),
            std::nullopt);

  struct Case {
    std::map<std::string, std::string> environment;
    std::string port;
    bool noted;
  } cases[] = {
      {{}, "1026", false},                                             // none set: the catcher's
      {{{"MAIL_PORT", "1025"}}, "1026", true},                         // the usual port, held by another
      {{{"MAIL_PORT", "2525"}}, "1026", true},                         // the preferred port of the settings
      {{{"MAIL_PORT", "1026"}}, "1026", false},
      {{{"MAIL_PORT", "4000"}}, "4000", false},                        // the user's own choice
      {{{"MAIL_HOST", "smtp.example.com"}, {"MAIL_PORT", "1025"}}, "1025", false},
  };
  for (auto& c : cases) {
    auto note = pointMailAtCatcher(c.environment, {.listening = 1026, .preferred = 2525});
    EXPECT_EQ(c.environment["MAIL_PORT"], c.port);
    EXPECT_EQ(note.has_value(), c.noted);
  }
}

}  // namespace
}  // namespace qs
