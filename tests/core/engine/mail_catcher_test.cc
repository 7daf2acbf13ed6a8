// The daemon's mail catcher over real loopback sockets and a real mail folder: refusing what it
// cannot store, the 500-message cap, the settings (storing and attributing: the end-to-end test).
#include "core/engine/mail_catcher.h"

#include "core/platform/files.h"
#include "support/loop_thread.h"
#include "support/smtp_client.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <mutex>

namespace qs {
namespace {

using testing::SMTPTestClient;
using testing::TemporaryFolder;

TEST(MailSettingsTest, EnabledAndPortFromTheSettingsFile) {
  struct Case {
    const char* json;
    bool enabled;
    int port;
  } cases[] = {
      {"{}", true, 1025},
      {R"({"qs.mailEnabled": false, "qs.mailSMTPPort": "2525"})", false, 2525},
      {R"({"qs.mailEnabled": "no", "qs.mailSMTPPort": "+2526"})", true, 2526},
      {R"({"qs.mailSMTPPort": "99999999999999999999999"})", true, 1025},
  };
  TemporaryFolder folder;
  for (const auto& c : cases) {
    testing::writeTextFile(folder / "settings.json", c.json);
    auto settings = QSMailSettings::read(QSSettings(folder / "settings.json"));
    EXPECT_EQ(settings.enabled, c.enabled) << c.json;
    EXPECT_EQ(settings.port, c.port) << c.json;
  }
}

class MailCatcherTest : public ::testing::Test {
protected:
  ~MailCatcherTest() override {
    loop.call([this] {
      if (catcher) catcher->stop();
      catcher.reset();
      return 0;
    });
  }

  // Starts a catcher on a free port that stores into `mailFolder`; its port.
  std::uint16_t start(std::filesystem::path mailFolder) {
    QSMailCatcher::Hooks hooks{
        .emit = [this](QSEvent e) { std::lock_guard l(mutex); events.push_back(std::move(e)); },
        .log = [this](const std::string& line) { std::lock_guard l(mutex); logs.push_back(line); },
        .serverPIDs = [] { return std::map<std::int32_t, QSUUID>{}; },
        .projectName = [](const QSUUID&) -> std::optional<std::string> { return "blog"; },
    };
    catcher = std::make_shared<QSMailCatcher>(loop.executor(), workers, QSMailStore(mailFolder), std::move(hooks));
    auto c = catcher;
    loop.await([c]() { return c->start({.enabled = true, .port = 0}); });
    return static_cast<std::uint16_t>(status().port);
  }
  QSMailStatus status() {
    return loop.call([this] { return catcher->status(); });
  }
  std::vector<QSEvent> eventsSoFar() {
    std::lock_guard l(mutex);
    return events;
  }

  TemporaryFolder folder;
  asio::thread_pool workers{1};
  testing::LoopThread loop;
  std::shared_ptr<QSMailCatcher> catcher;
  std::mutex mutex;
  std::vector<QSEvent> events;
  std::vector<std::string> logs;
};

TEST_F(MailCatcherTest, MessageThatCannotBeSavedIsLoggedAndNotAcknowledged) {
  testing::writeTextFile(folder / "mail", "a file where the folder should be");
  SMTPTestClient client(start(folder / "mail"));
  EXPECT_EQ(client.sendMessage("a@x", "Subject: Lost\r\n\r\n"), "451 4.3.0 Message not stored; try again later\r\n");
  std::lock_guard l(mutex);
  ASSERT_FALSE(logs.empty());
  EXPECT_TRUE(logs.back().starts_with("quaysided: couldn't save mail \"Lost\" from : open ")) << logs.back();
  EXPECT_TRUE(logs.back().ends_with(": Not a directory")) << logs.back();
  EXPECT_TRUE(events.empty());
}

// The newest 500 are kept, counted from the folder as others change it. A sender's Date may say
// anything: a message dated before everything stored is still the one that arrived last, and the
// one kept.
TEST_F(MailCatcherTest, PruningCountsWhatOthersRemovedAndAddedAndKeepsWhatArrivedLast) {
  auto mail = folder / "mail";
  createDirectories(mail, 0700);
  QSMailStore store(mail);
  auto fileOf = [](int i, const QSUUID& id) { return std::to_string(1000 + i) + "-" + id.string() + ".eml"; };
  std::vector<QSUUID> ids;
  for (int i = 0; i < 500; ++i) {
    ids.push_back(QSUUID::random());
    testing::writeTextFile(mail / fileOf(i, ids.back()), "Subject: old\r\n\r\n");
  }
  std::string leftover = "." + fileOf(0, ids[0]) + ".part-" + QSUUID::random().string();
  testing::writeTextFile(mail / leftover, "half a mess");
  std::uint16_t port = start(mail);
  EXPECT_FALSE(fileExists(mail / leftover)) << "what a crash left is cleaned up";
  // While it runs, `qs mail rm` takes two messages and someone copies one in: 499 stored.
  EXPECT_TRUE(store.remove(ids[499]));
  EXPECT_TRUE(store.remove(ids[250]));
  testing::writeTextFile(mail / fileOf(600, QSUUID::random()), "Subject: copied in\r\n\r\n");

  EXPECT_EQ(SMTPTestClient(port).sendMessage("a@x", "Subject: fills the box\r\n\r\n"), "250 2.0.0 Ok: queued\r\n");
  EXPECT_TRUE(fileExists(mail / fileOf(0, ids[0]))) << "500 stored: nothing to prune";
  EXPECT_EQ(status().messageCount, 500);
  for (const char* date : {"Mon, 01 Jan 0001 00:00:00 +0000", "Thu, 1 Jan 1970 00:00:00 +0000"}) {
    std::string data = std::string("Date: ") + date + "\r\nSubject: ancient\r\n\r\n";
    EXPECT_EQ(SMTPTestClient(port).sendMessage("a@x", data), "250 2.0.0 Ok: queued\r\n") << date;
    auto id = eventsSoFar().back().get<evt::MailReceived>()->value.id;
    EXPECT_EQ(store.list().front().id, id) << date << ": listed as the latest arrival";
    auto loaded = store.load(id);
    ASSERT_TRUE(loaded) << date;
    EXPECT_EQ(loaded->subject, "ancient");
    EXPECT_EQ(store.list().size(), 500u);
    EXPECT_FALSE(fileExists(mail / fileOf(0, ids[0]))) << "the earliest arrival went instead";
    EXPECT_EQ(status().messageCount, 500);
  }
  EXPECT_FALSE(fileExists(mail / fileOf(1, ids[1])));
  EXPECT_TRUE(fileExists(mail / fileOf(2, ids[2]))) << "only the oldest go";
  std::lock_guard l(mutex);
  EXPECT_EQ(logs.front(), "quaysided: removed 1 unfinished mail file left by an earlier run");
}

}  // namespace
}  // namespace qs
