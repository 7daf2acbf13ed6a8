#include "core/mail/mail_index.h"
#include "core/mail/mail_parser.h"
#include "core/mail/mail_store.h"

#include "core/platform/files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::TemporaryFolder;

QSTimestamp at(std::int64_t milliseconds) { return QSTimestamp(std::chrono::milliseconds(milliseconds)); }

QSMailMessage messageAt(std::int64_t milliseconds, const std::string& subject) {
  std::string raw = "Subject: " + subject + "\r\n\r\nbody \xE9\r\n";  // an 8-bit byte, kept as it is
  return QSMailParser::parse(raw, "sender@example.com", at(milliseconds));
}

TEST(MailStoreTest, SavesEachMessageAsReceivedUnderItsArrivalAndID) {
  TemporaryFolder folder;
  QSMailStore store(folder / "mail");
  QSMailMessage message = messageAt(1'765'000'000'123, "hello");
  store.save(message, message.receivedAt);

  std::string name = "1765000000123-" + message.id.string() + ".eml";
  EXPECT_EQ(readFile(folder / "mail" / name), message.raw);
  EXPECT_EQ(std::filesystem::status(folder / "mail").permissions(), std::filesystem::perms(0700));
  EXPECT_EQ(std::filesystem::status(folder / "mail" / name).permissions(), std::filesystem::perms(0600));

  auto loaded = store.load(message.id);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->subject, "hello");
  EXPECT_EQ(loaded->receivedAt, message.receivedAt);
  EXPECT_EQ(loaded->envelopeFrom, "") << "the envelope sender is not stored";
  EXPECT_EQ(loaded->raw, message.raw);
}

TEST(MailStoreTest, ListsByArrivalAndShowsTheDateTheMessageCarries) {
  TemporaryFolder folder;
  QSMailStore store(folder.path());
  auto dated = QSMailParser::parse("Date: Wed, 1 Jan 2020 00:00:00 +0000\r\nSubject: old date\r\n\r\n", "", at(0));
  auto ancient = QSMailParser::parse("Date: Mon, 01 Jan 0001 00:00:00 +0000\r\nSubject: year one\r\n\r\n", "", at(0));
  store.save(dated, at(1'800'000'000'000));
  store.save(ancient, at(1'800'000'000'001));
  store.save(messageAt(1'700'000'000'000, "middle"), at(1'700'000'000'000));
  testing::writeTextFile(folder / "notes.eml", "not a message name");
  testing::writeTextFile(folder / "123-nonsense.eml", "x");
  testing::writeTextFile(folder / ("1-" + QSUUID::random().string() + ".txt"), "other extension");
  QSUUID before1970 = QSUUID::random();  // named by an older version after its Date
  testing::writeTextFile(folder / ("-62135596800000-" + before1970.string() + ".eml"), "Subject: named before\r\n\r\n");

  std::vector<std::string> subjects;
  for (const auto& m : store.loadAll()) subjects.push_back(m.subject);
  EXPECT_EQ(subjects, (std::vector<std::string>{"year one", "old date", "middle", "named before"}));
  EXPECT_EQ(store.load(dated.id)->receivedAt, dated.receivedAt) << "the message's own Date is shown";
  EXPECT_TRUE(store.remove(ancient.id));
  EXPECT_TRUE(store.remove(before1970));
}

TEST(MailStoreTest, LeftoversOfCutShortWritesAreRemoved) {
  TemporaryFolder folder;
  QSMailStore store(folder.path());
  store.save(messageAt(1, "kept"), at(1));
  // Today's temporary names, and those earlier versions wrote.
  for (const char* name : {".2-y.eml.tmp-0123456789ab", ".1-x.eml.part-1", ".index.json.part-2"})
    testing::writeTextFile(folder / name, "half");
  testing::writeTextFile(folder / ".hidden", "not ours");
  EXPECT_EQ(store.removeLeftovers(), 3);
  EXPECT_EQ(tryListDirectory(folder.path()).size(), 2u);
  EXPECT_EQ(store.list().size(), 1u);
}

TEST(MailStoreTest, PruningKeepsTheNewestAndCountsMisnamedMessagesOldest) {
  TemporaryFolder folder;
  QSMailStore store(folder.path());
  std::vector<QSMailMessage> saved;
  for (int i = 0; i < 5; ++i) {
    saved.push_back(messageAt(1'000 + i, "m" + std::to_string(i)));
    store.save(saved.back(), saved.back().receivedAt);
  }
  testing::writeTextFile(folder / "stray.eml", "x");
  std::string other = "1-" + QSUUID::random().string() + ".txt";
  testing::writeTextFile(folder / other, "x");

  auto removed = store.prune(3);
  EXPECT_EQ(removed, (std::vector<QSUUID>{saved[0].id, saved[1].id}));
  EXPECT_FALSE(fileExists(folder / "stray.eml"));
  EXPECT_TRUE(fileExists(folder / other)) << "only .eml files are ever pruned";
  EXPECT_EQ(store.list().size(), 3u);
  EXPECT_TRUE(store.prune(3).empty());

  EXPECT_TRUE(store.remove(saved[4].id));
  EXPECT_FALSE(store.remove(saved[4].id));
  EXPECT_EQ(store.clearAll(), 2);
  EXPECT_TRUE(fileExists(folder / other));
}

TEST(MailStoreTest, IndexForgetsAndSkipsDamagedEntries) {
  TemporaryFolder folder;
  QSUUID message = QSUUID::random(), project = QSUUID::random();
  QSMailIndex index;  // (saved and loaded again: the mail catcher's test)
  index.record(message, {project, "blog"});
  EXPECT_TRUE(index.forget({message}));
  EXPECT_FALSE(index.origin(message));

  testing::writeTextFile(folder / "index.json", "{\"" + message.string() + "\": {\"projectName\": 3}, \"x\": {}}");
  EXPECT_EQ(QSMailIndex::load(folder.path()).size(), 0u) << "damaged entries are skipped";
  testing::writeTextFile(folder / "index.json", "not json");
  EXPECT_EQ(QSMailIndex::load(folder.path()).size(), 0u);
}

}  // namespace
}  // namespace qs
