#include "core/models/persistence_service.h"
#include "core/platform/files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cstdio>

namespace qs {
namespace {

using testing::TemporaryFolder;
using testing::readTextFile;
using testing::writeTextFile;

QSProject sampleProject(const std::filesystem::path& folder) {
  QSProject p;
  p.name = "Blog";
  p.path = folder;
  p.port = 8081;
  p.environmentVariables.push_back({QSUUID::random(), "PORT", "8081", "Where it listens", true});
  return p;
}

TEST(PersistenceServiceTest, CorruptFileIsCopiedOnceAndLogged) {
  TemporaryFolder dir;
  writeTextFile(dir / "config.json", "{}");
  QSPersistenceService store(dir / "config.json");
  std::vector<std::string> lines;
  auto log = [&](const std::string& l) { lines.push_back(l); };

  EXPECT_EQ(store.loadForOwner("quaysided: ", log), QSProjectConfiguration{});
  EXPECT_EQ(store.loadForOwner("quaysided: ", log), QSProjectConfiguration{});

  std::vector<std::string> copies;
  for (auto& name : listDirectory(dir.path()))
    if (name.starts_with("config.json.corrupt-")) copies.push_back(name);
  ASSERT_EQ(copies.size(), 1u) << "a file that stays corrupt is kept once";
  EXPECT_EQ(readTextFile(dir / copies[0]), "{}");
  EXPECT_EQ(copies[0].size(), std::string("config.json.corrupt-20261206-094520").size());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "quaysided: config.json couldn't be loaded (QSProjectConfiguration: missing required key 'version'); "
            "preserved a copy at " + (dir / copies[0]).string() + " and started with empty state.");
  EXPECT_EQ(readTextFile(dir / "config.json"), "{}") << "the bad file stays until the next save";

  // Different bad bytes get a copy of their own (the names differ by time; the newest is compared).
  writeTextFile(dir / "config.json", "not json");
  try {
    store.load();
    FAIL();
  } catch (const QSStateLoadError& e) {
    ASSERT_TRUE(e.backupPath());
    EXPECT_EQ(readTextFile(*e.backupPath()), "not json");
  }
}

TEST(PersistenceServiceTest, ABackupThatCannotBeWrittenIsSaidInTheLine) {
  // The state file is reached through /proc/self/fd, a folder that takes no new files even from root.
  TemporaryFolder dir;
  writeTextFile(dir / "config.json", "[]");
  FILE* state = std::fopen((dir / "config.json").c_str(), "r");
  ASSERT_NE(state, nullptr);
  std::vector<std::string> lines;
  QSPersistenceService(std::filesystem::path("/proc/self/fd") / std::to_string(::fileno(state)))
      .loadForOwner("quaysided: ", [&](const std::string& l) { lines.push_back(l); });
  std::fclose(state);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("preserved a copy at (backup failed) and started with empty state."))
      << lines[0];
}

TEST(PersistenceServiceTest, SavedFileIsSortedPrettyAndRoundTrips) {
  TemporaryFolder dir;
  QSPersistenceService store(dir / "nested" / "config.json");
  QSProjectConfiguration state;
  state.projects.push_back(sampleProject(dir / "blog"));
  state.projects[0].autoStartServerAtLogin = false;
  state.projects[0].bookmarkData = QSBytes{1, 2, 3};
  state.databases.push_back(QSDatabase::make("blog", QSDatabaseType::postgresql));
  std::filesystem::create_directories(dir / "blog");
  store.save(state);

  std::string text = readTextFile(dir / "nested" / "config.json");
  EXPECT_LT(text.find("\"databases\""), text.find("\"projects\""));
  EXPECT_LT(text.find("\"projects\""), text.find("\"version\""));
  EXPECT_LT(text.find("\"autoStartServerAtLogin\""), text.find("\"bookmarkData\""));
  EXPECT_LT(text.find("\"bookmarkData\""), text.find("\"createdAt\""));
  EXPECT_NE(text.find("\n  \"databases\""), std::string::npos) << "pretty-printed";
  EXPECT_EQ(store.load(), state);
}

TEST(PersistenceServiceTest, SwiftVersionFileFollowsThePinBothWays) {
  TemporaryFolder dir;
  std::filesystem::create_directories(dir / "blog");
  QSPersistenceService store(dir / "config.json");
  QSProjectConfiguration state;
  state.projects.push_back(sampleProject(dir / "blog"));

  state.projects[0].swiftVersion = "6.0";
  store.save(state);
  EXPECT_EQ(readTextFile(dir / "blog" / ".swift-version"), "6.0\n");

  // The file wins on load.
  writeTextFile(dir / "blog" / ".swift-version", "\n  5.10  \n");
  EXPECT_EQ(store.load().projects[0].swiftVersion, "5.10");

  state.projects[0].swiftVersion.reset();
  store.save(state);
  EXPECT_FALSE(fileExists(dir / "blog" / ".swift-version"));

  // A stored pin without a file writes the file on load.
  state.projects[0].swiftVersion = "6.0.3";
  writeFileAtomically(dir / "config.json", QSPersistenceService::encode(state));
  EXPECT_EQ(store.load().projects[0].swiftVersion, "6.0.3");
  EXPECT_EQ(readTextFile(dir / "blog" / ".swift-version"), "6.0.3\n");
}

}  // namespace
}  // namespace qs
