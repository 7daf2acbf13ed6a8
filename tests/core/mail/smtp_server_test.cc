// The SMTP listener over real loopback sockets, its loop on a thread of its own; a message is in
// the sink before the client reads its "250 ... queued". (The conversation is the session's test.)
#include "core/mail/smtp_server.h"

#include "support/smtp_client.h"

#include "support/loop_thread.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace qs {
namespace {

using testing::SMTPTestClient;

class SMTPServerTest : public ::testing::Test {
protected:
  ~SMTPServerTest() override {
    if (server) loop.call([this] { server->stop(); server.reset(); return 0; });
  }

  void makeServer(std::uint16_t port, QSSMTPServer::Options options = {}) {
    options.sink = [this](QSCaughtMail mail) -> asio::awaitable<bool> {
      std::lock_guard lock(mutex_);
      caught_.push_back(std::move(mail.message));
      co_return true;
    };
    server = std::make_shared<QSSMTPServer>(loop.executor(), port, std::move(options));
  }
  std::uint16_t start(std::optional<std::uint16_t> preferred = std::nullopt) {
    auto s = server;
    loop.await([s, preferred]() -> asio::awaitable<void> { co_await s->start(preferred); });
    return loop.call([s] { return s->boundPort(); });
  }
  std::vector<QSMailMessage> caught() {
    std::lock_guard lock(mutex_);
    return caught_;
  }

  testing::LoopThread loop;
  std::shared_ptr<QSSMTPServer> server;

private:
  std::mutex mutex_;
  std::vector<QSMailMessage> caught_;
};

TEST_F(SMTPServerTest, PipelinedClientIsAnsweredInOrder) {
  makeServer(0);
  SMTPTestClient client(start());
  client.send(
      "EHLO me\r\nMAIL FROM:<a@x>\r\nRCPT TO:<b@x>\r\nDATA\r\nSubject: 1\r\n\r\none\r\n.\r\n"
      "MAIL FROM:<c@x>\r\nRCPT TO:<b@x>\r\nDATA\r\nSubject: 2\r\n\r\ntwo\r\n.\r\nQUIT\r\n");
  std::string transcript = client.readToEnd();
  EXPECT_EQ(transcript,
            "220 Quayside ESMTP ready\r\n"
            "250-Quayside\r\n250-PIPELINING\r\n250-8BITMIME\r\n250-SMTPUTF8\r\n250 AUTH PLAIN LOGIN\r\n"
            "250 2.1.0 Ok\r\n250 2.1.5 Ok\r\n354 End data with <CR><LF>.<CR><LF>\r\n250 2.0.0 Ok: queued\r\n"
            "250 2.1.0 Ok\r\n250 2.1.5 Ok\r\n354 End data with <CR><LF>.<CR><LF>\r\n250 2.0.0 Ok: queued\r\n"
            "221 2.0.0 Bye\r\n");
  auto messages = caught();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].subject, "1");
  EXPECT_EQ(messages[1].subject, "2");
}

TEST_F(SMTPServerTest, SilentClientIsDisconnected) {
  makeServer(0, {.idleTimeout = std::chrono::milliseconds(20)});
  SMTPTestClient client(start());
  EXPECT_EQ(client.readToEnd(), "220 Quayside ESMTP ready\r\n");
}

// The catcher's memory is bounded across clients: unfinished mail beyond the cap is refused and
// dropped as it comes, and the refused client can go on.
TEST_F(SMTPServerTest, UnfinishedMailOfAllSessionsIsCapped) {
  makeServer(0, {.maxBufferedBytes = 256 * 1024});
  std::uint16_t port = start();
  SMTPTestClient holder(port), other(port);
  for (auto* client : {&holder, &other}) {
    EXPECT_EQ(client->readReply(), "220 Quayside ESMTP ready\r\n");
    client->send("DATA\r\n");
    EXPECT_EQ(client->readReply(), "354 End data with <CR><LF>.<CR><LF>\r\n");
  }
  std::string chunk(64 * 1024, 'x');
  holder.send("Subject: held\r\n\r\n" + chunk + chunk + chunk);  // 192 KiB, left unfinished
  // Wait until the server holds it: a condition, not a time.
  while (loop.call([this] { return server->bufferedBytes(); }) < 3 * chunk.size()) std::this_thread::yield();

  other.send("Subject: too much\r\n\r\n" + chunk + chunk + "\r\n.\r\n");
  EXPECT_EQ(other.readReply(), "452 4.3.1 Too much unfinished mail at once; try again later\r\n");
  EXPECT_LT(loop.call([this] { return server->bufferedBytes(); }), 4 * chunk.size()) << "the refused bytes went";
  other.send("DATA\r\nSubject: small\r\n\r\n.\r\nQUIT\r\n");
  EXPECT_EQ(other.readToEnd(), "354 End data with <CR><LF>.<CR><LF>\r\n250 2.0.0 Ok: queued\r\n221 2.0.0 Bye\r\n");
  holder.send("\r\n.\r\n");
  EXPECT_EQ(holder.readReply(), "250 2.0.0 Ok: queued\r\n") << "the first message was within the cap";
  auto messages = caught();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].subject, "small");
  EXPECT_EQ(messages[1].subject, "held");
}

TEST_F(SMTPServerTest, ConnectionsBeyondTheCapAreTurnedAway) {
  makeServer(0, {.maxSessions = 2});
  std::uint16_t port = start();
  SMTPTestClient first(port), second(port);
  EXPECT_EQ(first.readReply(), "220 Quayside ESMTP ready\r\n");
  EXPECT_EQ(second.readReply(), "220 Quayside ESMTP ready\r\n");
  EXPECT_EQ(SMTPTestClient(port).readToEnd(), "421 4.7.0 Too many connections; try again later\r\n");
  first.send("DATA\r\nSubject: still served\r\n\r\n.\r\n");
  EXPECT_EQ(first.readReply(), "354 End data with <CR><LF>.<CR><LF>\r\n");
  EXPECT_EQ(first.readReply(), "250 2.0.0 Ok: queued\r\n");
}

TEST_F(SMTPServerTest, MessageThatNeverEndsIsCutOff) {
  // The limit is on the whole message, however busy the client keeps the connection.
  makeServer(0, {.dataTimeLimit = std::chrono::milliseconds(1)});
  SMTPTestClient client(start());
  client.send("DATA\r\nSubject: endless\r\n");
  EXPECT_EQ(client.readToEnd(),
            "220 Quayside ESMTP ready\r\n354 End data with <CR><LF>.<CR><LF>\r\n"
            "421 4.4.2 The message took too long to arrive; closing\r\n");
  EXPECT_TRUE(caught().empty());
}

// (A busy port moving the catcher up: the end-to-end mail test.)
TEST_F(SMTPServerTest, StopClosesSessionsAndTheServerStartsAgain) {
  makeServer(0);
  std::uint16_t bound = start();
  EXPECT_EQ(start(static_cast<std::uint16_t>(bound + 1)), bound) << "a second start while running keeps the port";

  SMTPTestClient early(bound);
  EXPECT_EQ(early.readReply(), "220 Quayside ESMTP ready\r\n");
  loop.call([this] { server->stop(); return 0; });
  EXPECT_EQ(early.readToEnd(), "") << "stop closes open sessions";
  EXPECT_FALSE(loop.call([this] { return server->isRunning(); }));

  std::uint16_t again = start();
  SMTPTestClient late(again);
  EXPECT_EQ(late.sendMessage("a@x", "Subject: after\r\n\r\n"), "250 2.0.0 Ok: queued\r\n");
  EXPECT_EQ(caught().back().subject, "after");
}

}  // namespace
}  // namespace qs
