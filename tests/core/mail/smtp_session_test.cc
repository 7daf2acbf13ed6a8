#include "core/mail/smtp_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qs {
namespace {

// Drives a session as the server does: every completed message is kept and answered as queued.
struct Dialogue {
  QSSMTPSession session;
  std::vector<QSSMTPSession::Message> messages;
  bool closed = false;

  std::string send(std::string_view bytes) {
    auto out = session.receive(bytes);
    std::string replies = out.replies;
    while (out.message) {
      messages.push_back(*out.message);
      replies += QSSMTPSession::queuedReply;
      out = session.receive({});
      replies += out.replies;
    }
    closed = closed || out.close;
    return replies;
  }
};

TEST(SMTPSessionTest, AnswersEachCommandWithItsReply) {
  struct Case {
    const char* line;
    const char* reply;
  } cases[] = {
      {"ehlo client.example", "250-Quayside\r\n250-PIPELINING\r\n250-8BITMIME\r\n250-SMTPUTF8\r\n250 AUTH PLAIN LOGIN\r\n"},
      {"HELO client.example", "250 Quayside\r\n"},
      {"MAIL FROM:<a@example.com> SIZE=100", "250 2.1.0 Ok\r\n"},
      {"RCPT TO:<b@example.com>", "250 2.1.5 Ok\r\n"},
      {"RSET", "250 2.0.0 Ok\r\n"},
      {"STARTTLS", "502 5.5.1 STARTTLS not supported\r\n"},
      {"AUTH PLAIN AGEAYg==", "235 2.7.0 Authentication successful\r\n"},
  };
  for (const auto& c : cases) {
    Dialogue d;
    EXPECT_EQ(d.send(std::string(c.line) + "\r\n"), c.reply) << c.line;
    EXPECT_FALSE(d.closed) << c.line;
  }
}

TEST(SMTPSessionTest, AuthDialoguesSucceedWhateverIsSent) {
  Dialogue plain;
  EXPECT_EQ(plain.send("AUTH PLAIN\r\n"), "334 \r\n");
  EXPECT_EQ(plain.send("QUIT\r\n"), "235 2.7.0 Authentication successful\r\n") << "a credential line is no command";
  EXPECT_FALSE(plain.closed);

  Dialogue login;
  EXPECT_EQ(login.send("auth login\r\n"), "334 VXNlcm5hbWU6\r\n");
  EXPECT_EQ(login.send("dXNlcg==\r\n"), "334 UGFzc3dvcmQ6\r\n");
  EXPECT_EQ(login.send("cGFzcw==\r\n"), "235 2.7.0 Authentication successful\r\n");
  EXPECT_EQ(login.send("NOOP\r\n"), "250 2.0.0 Ok\r\n");
}

// The full pipelined transcript is the server's test; here, what the messages hold: a doubled
// leading dot loses one, a dot line right after DATA ends an empty message, and after QUIT
// nothing more is handled.
TEST(SMTPSessionTest, PipelinedMessagesAreAnsweredInOnePassAndInOrder) {
  Dialogue d;
  const std::string queued = "354 End data with <CR><LF>.<CR><LF>\r\n250 2.0.0 Ok: queued\r\n";
  std::string replies = d.send("MAIL FROM:<a@x>\r\nDATA\r\nSubject: one\r\n\r\nfirst\r\n.\r\n"
                               "DATA\r\n.\r\nDATA\r\n..dotted\r\n.\r\nQUIT\r\nNOOP\r\n");
  EXPECT_EQ(replies, "250 2.1.0 Ok\r\n" + queued + queued + queued + "221 2.0.0 Bye\r\n");
  EXPECT_TRUE(d.closed);
  ASSERT_EQ(d.messages.size(), 3u);
  EXPECT_EQ(d.messages[0].data, "Subject: one\r\n\r\nfirst\r\n");
  EXPECT_EQ(d.messages[1].data, "");
  EXPECT_EQ(d.messages[2].data, ".dotted\r\n");
  EXPECT_EQ(d.send("NOOP\r\n"), "");
}

TEST(SMTPSessionTest, BytesArrivingOneAtATimeGiveTheSameConversation) {
  std::string script = "HELO x\r\nDATA\r\nline\r\n.\r\n\r\n.\r\nNOOP\r\n";
  Dialogue whole, trickled;
  std::string all = whole.send(script), pieces;
  for (char c : script) pieces += trickled.send(std::string(1, c));
  EXPECT_EQ(pieces, all);
  ASSERT_EQ(trickled.messages.size(), 1u);
  EXPECT_EQ(trickled.messages[0].data, "line\r\n");
  EXPECT_EQ(trickled.session.bufferedBytes(), 0u);
}

TEST(SMTPSessionTest, OverlongLinesAndMessagesAreRefusedAndTheSessionGoesOn) {
  Dialogue line;
  std::string longLine(QSSMTPSession::maxLineBytes + 10, 'x');
  EXPECT_EQ(line.send(longLine), "500 5.5.2 Line too long\r\n");
  EXPECT_LT(line.session.bufferedBytes(), 2u) << "the line is not kept";
  EXPECT_EQ(line.send("more of it\r\nNOOP\r\n"), "250 2.0.0 Ok\r\n");
  EXPECT_EQ(line.send(longLine + "\r\nNOOP\r\n"), "500 5.5.2 Line too long\r\n250 2.0.0 Ok\r\n");

  Dialogue data;
  data.send("DATA\r\n");
  std::string chunk(1024 * 1024, 'a');
  for (int i = 0; i < 51; ++i) EXPECT_EQ(data.send(chunk), "");
  EXPECT_LT(data.session.bufferedBytes(), 8u) << "the refused message is not kept";
  EXPECT_EQ(data.send("\r\n.\r\nNOOP\r\n"), "552 5.3.4 Message size exceeds fixed limit\r\n250 2.0.0 Ok\r\n");
  EXPECT_TRUE(data.messages.empty());
  EXPECT_EQ(data.send("DATA\r\nsmall\r\n.\r\n"), "354 End data with <CR><LF>.<CR><LF>\r\n250 2.0.0 Ok: queued\r\n");
  ASSERT_EQ(data.messages.size(), 1u);
}

}  // namespace
}  // namespace qs
