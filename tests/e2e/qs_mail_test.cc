// The mail catcher end to end: the real daemon catches mail sent with curl and a project server;
// `qs mail` reads it back. (Kept across restarts: the mail store's files.)
#include "e2e/e2e_support.h"
#include "support/test_locations.h"

#include <fmt/format.h>

#include <functional>
#include <stop_token>
#include <thread>

namespace qs::testing {
namespace {

std::string mailFixture(const std::string& name) { return qs::testing::fixturesFolder() + "/mail/" + name; }

class Mail : public E2ETest {
protected:
  Mail() {
    // Away from 1025, which a developer's own catcher may hold.
    writeTextFile(home.home() / ".config/Quayside/settings.json",
                  fmt::format(R"({{"qs.mailSMTPPort": "{}"}})", freePort() + 7));
    startDaemon();
    mailPort = json::parse(qsOK({"status", "--json"}))["mail"]["port"].get<int>();
  }

  // curl as a shell user would send a file; its exit status.
  int curlSend(const std::string& file) {
    auto result = runProcess({"/usr/bin/curl", "-sS", fmt::format("smtp://127.0.0.1:{}", mailPort), "--mail-from",
                              "shell@example.com", "--mail-rcpt", "dev@example.com", "-T", file});
    EXPECT_EQ(result.errorOutput, "");
    return result.exitStatus;
  }

  json listed(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"mail", "--json"});
    return json::parse(qsOK(arguments));
  }

  int mailPort = 0;
};

TEST_F(Mail, CaughtShownSearchedSavedAndRemoved) {
  ASSERT_EQ(curlSend(mailFixture("welcome.eml")), 0);
  json messages = listed();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]["subject"], "Welcome to Quayside and more");
  EXPECT_EQ(messages[0]["attachmentCount"], 3);
  EXPECT_FALSE(messages[0].contains("projectName"));
  std::string id = messages[0]["id"];
  std::string shortID = id.substr(0, 8);

  EXPECT_EQ(qsOK({"mail", "show", shortID, "--raw"}), readTextFile(mailFixture("welcome.eml"))) << "byte for byte";
  std::string shown = qsOK({"mail", "show", id.substr(0, 4)});
  EXPECT_NE(shown.find("From:        Jürgen <juergen@example.com>\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Attachment:  Rechnung März.pdf (application/pdf, 9 B)\n"), std::string::npos) << shown;
  EXPECT_TRUE(shown.ends_with("\n\nHello Jürgen, welcome!\n")) << shown;
  EXPECT_EQ(qsOK({"mail", "show", shortID, "--html"}), "<p>Hello Jürgen, welcome!</p>");
  EXPECT_NE(qsOK({"status"}).find(fmt::format("Mail: catching on smtp://127.0.0.1:{} · 1 message\n", mailPort)),
            std::string::npos);

  EXPECT_EQ(json::parse(qsOK({"status", "--json"}))["mail"]["messageCount"], 1);

  auto saveTo = home.home() / "saved";
  EXPECT_TRUE(qsOK({"mail", "attachments", shortID})
                  .starts_with("NAME               TYPE             SIZE\nRechnung März.pdf  application/pdf  9 B\n"));
  qsOK({"mail", "attachments", shortID, "--save", saveTo.string()});
  EXPECT_EQ(readTextFile(saveTo / "Rechnung März.pdf"), "%PDF-1.4\n");
  EXPECT_EQ(readTextFile(saveTo / "notes.txt"), "some notes") << "not a byte more than was attached";

  EXPECT_EQ(json::parse(qsOK({"mail", "search", "QUAYSIDE AND", "--json"})).size(), 1u) << "any letter case";
  EXPECT_EQ(qsFails({"mail", "show", "zzz"}), "qs: No message with id 'zzz' (see 'qs mail').\n");
  EXPECT_EQ(qsOK({"mail", "rm", shortID}), "Removed " + shortID + " (Welcome to Quayside and more).\n");
  EXPECT_EQ(qsOK({"mail"}), "No mail.\n");

  // A message that carries terminal control sequences reaches a terminal only with --force.
  std::string data = "Subject: \x1b]0;owned\x07Hi\r\n\r\n\x1b[2Jbody\r\n";
  writeTextFile(home.home() / "escapes.eml", data);
  ASSERT_EQ(curlSend((home.home() / "escapes.eml").string()), 0);
  std::string escapes = listed()[0]["id"].get<std::string>().substr(0, 8);
  auto refused = qsOnTerminal({"mail", "show", escapes, "--raw"}, "");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("add --force to print it here"), std::string::npos) << refused.out;
  EXPECT_EQ(refused.out.find('\x1b'), std::string::npos) << "nothing of the message reached the terminal";
  EXPECT_NE(qsOnTerminal({"mail", "show", escapes, "--raw", "--force"}, "").out.find("\x1b[2Jbody"), std::string::npos);
  EXPECT_EQ(qsOK({"mail", "show", escapes, "--raw"}), data) << "to a pipe, byte for byte";
}

// A project server's mail is filed under its project, and a follower prints each message as it
// comes. Another program holds the catcher's port (another user's catcher, say): the catcher moves
// up, and project mail follows it there instead of landing in the other program.
TEST_F(Mail, ProjectMailIsFiledUnderItsProjectFollowedAndFollowsTheCatcher) {
  int usual = freePort() + 11;
  asio::io_context io;
  asio::ip::tcp::acceptor other(io, {asio::ip::address_v4::loopback(), static_cast<unsigned short>(usual)});
  // It takes connections and drops them at once, as a program that speaks no SMTP would.
  std::function<void()> drop = [&] {
    other.async_accept([&](asio::error_code error, asio::ip::tcp::socket) {
      if (!error) drop();
    });
  };
  drop();
  std::jthread dropper([&](std::stop_token stop) {
    std::stop_callback halt(stop, [&] { io.stop(); });
    io.run();
  });

  writeTextFile(home.home() / ".config/Quayside/settings.json", fmt::format(R"({{"qs.mailSMTPPort": "{}"}})", usual));
  daemon->restart();
  mailPort = json::parse(qsOK({"status", "--json"}))["mail"]["port"].get<int>();
  ASSERT_NE(mailPort, usual);

  int port = freePort();
  newProject("blog", port);
  EXPECT_NE(readTextFile(home.home() / "projects/blog/.env").find(fmt::format("MAIL_PORT={}\n", mailPort)),
            std::string::npos) << "a new project's .env names the port the catcher has";
  // An older project whose .env names the usual port, as scaffolds used to write.
  qsOK({"env", "blog", "set", "MAIL_PORT", std::to_string(usual)});
  qsOK({"start", "blog", "--wait"});
  EXPECT_NE(httpGet(port, "/send-mail").find("\r\n\r\nSent"), std::string::npos);
  RunningQs follow({"mail", "-f"}, environment, home.home());
  follow.readUntil("Waiting for mail (Ctrl-C to stop)...\n");
  ASSERT_EQ(curlSend(mailFixture("latin1-lf.eml")), 0);
  std::string out = follow.readUntil("[other]\n");
  EXPECT_NE(out.find("  Caf\xEF\xBF\xBD <cafe@example.com>  Menü du jour  [other]\n"), std::string::npos) << out;
  EXPECT_EQ(follow.interrupt(), 0);

  json fromBlog = listed({"--project", "BLOG"});
  ASSERT_EQ(fromBlog.size(), 1u) << "caught here, not by the program on the usual port";
  EXPECT_EQ(fromBlog[0]["subject"], "Confirm your account");
  EXPECT_EQ(fromBlog[0]["projectName"], "blog");

  auto listing = qs({"mail"});
  EXPECT_EQ(listing.status, 0);
  EXPECT_NE(listing.out.find("Confirm your account  blog\n"), std::string::npos) << listing.out;
  EXPECT_EQ(listing.err, fmt::format("Note: blog's .env says MAIL_PORT={}, but the catcher listens on {}, so mail "
                                     "from what reads that .env may go elsewhere. Point it here with: qs env blog "
                                     "set MAIL_PORT {}\n", usual, mailPort, mailPort));
  qsOK({"env", "blog", "set", "MAIL_PORT", std::to_string(mailPort)});
  EXPECT_EQ(qs({"mail"}).err, "");
  qsOK({"stop", "blog"});
}

}  // namespace
}  // namespace qs::testing
