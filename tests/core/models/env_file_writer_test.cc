#include "core/models/env_file_writer.h"

#include "core/models/dotenv.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace qs {
namespace {

using testing::TemporaryFolder;
using testing::readTextFile;
using testing::writeTextFile;
namespace fs = std::filesystem;

// A fixed moment, and the ones after it, for backup names that differ by the second.
QSTimestamp moment(int secondsLater) {
  return QSTimestamp(std::chrono::milliseconds(1'767'225'600'000)) + std::chrono::seconds(secondsLater);
}

std::string backupName(int secondsLater) { return ".env.bak." + QSTime::backupStampLocal(moment(secondsLater)); }

std::vector<std::string> entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(EnvFileWriterTest, CreatesTheFileWithoutBackupButNotAnEmptyOneAndEmptiesItToo) {
  TemporaryFolder project;
  EXPECT_FALSE(QSEnvFileWriter::write({}, project.path(), 3, moment(0)));
  EXPECT_TRUE(entries(project.path()).empty());
  EXPECT_TRUE(QSEnvFileWriter::write(parseDotenv("# Port\nPORT=8080"), project.path(), 3, moment(0)));
  EXPECT_EQ(readTextFile(project / ".env"), "# Port\nPORT=8080\n");
  EXPECT_EQ(entries(project.path()), std::vector<std::string>{".env"});
  EXPECT_EQ(fs::status(project / ".env").permissions(), fs::perms(0600)) << "a new .env holds secrets";

  // Removing every variable still rewrites the file; the comments stay.
  EXPECT_TRUE(QSEnvFileWriter::write({}, project.path(), 3, moment(1)));
  EXPECT_EQ(readTextFile(project / ".env"), "# Port\n");
}

TEST(EnvFileWriterTest, TemporariesOfAnInterruptedWriteAreRemovedAndNothingElse) {
  TemporaryFolder project;
  writeTextFile(project / ".env", "V=0\n");
  const std::vector<std::string> leftovers = {"..env.tmp-0123456789ab", "..env.bak.20260101-120000.tmp-fedcba987654"};
  const std::vector<std::string> others = {"..env.tmp-mine", "..env.local.tmp-0123456789ab", ".config.tmp-0123456789ab"};
  for (const auto& name : leftovers) writeTextFile(project / name, "SECRET=1\n");
  for (const auto& name : others) writeTextFile(project / name, "");
  EXPECT_TRUE(QSEnvFileWriter::write(parseDotenv("V=1"), project.path(), 3, moment(0)));
  auto expected = others;
  expected.insert(expected.end(), {".env", backupName(0)});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries(project.path()), expected);
}

TEST(EnvFileWriterTest, UnchangedFileIsLeftAloneWithoutBackup) {
  TemporaryFolder project;
  const std::string text = "# Mine\nA=1\n\n# DEBUG=true\nB=\"two words\"\n";
  writeTextFile(project / ".env", text);
  fs::last_write_time(project / ".env", fs::file_time_type::clock::now() - std::chrono::hours(1));
  auto before = fs::last_write_time(project / ".env");
  EXPECT_FALSE(QSEnvFileWriter::write(parseDotenv(text), project.path(), 3, moment(0)));
  EXPECT_EQ(fs::last_write_time(project / ".env"), before);
  EXPECT_EQ(entries(project.path()), std::vector<std::string>{".env"});
}

// A change backs up the old text privately (the .env keeps its mode): one backup a second (a
// second change within it backs up over that second's), the newest three kept.
TEST(EnvFileWriterTest, ChangesKeepTheThreeNewestPrivateBackupsOneASecond) {
  TemporaryFolder project;
  writeTextFile(project / ".env", "V=0\n");
  fs::permissions(project / ".env", fs::perms(0644));
  for (int change = 1; change <= 4; ++change)
    EXPECT_TRUE(QSEnvFileWriter::write(parseDotenv("V=" + std::to_string(change)), project.path(), 3, moment(change)));
  EXPECT_TRUE(QSEnvFileWriter::write(parseDotenv("V=5"), project.path(), 3, moment(4)));

  EXPECT_EQ(entries(project.path()), (std::vector<std::string>{".env", backupName(2), backupName(3), backupName(4)}));
  EXPECT_EQ(readTextFile(project / backupName(2)), "V=1\n");
  EXPECT_EQ(readTextFile(project / backupName(4)), "V=4\n");
  EXPECT_EQ(readTextFile(project / ".env"), "V=5\n");
  EXPECT_EQ(fs::status(project / backupName(4)).permissions(), fs::perms(0600));
  EXPECT_EQ(fs::status(project / ".env").permissions(), fs::perms(0644));
}

TEST(EnvFileWriterTest, PruningLeavesTheUsersOwnFiles) {
  TemporaryFolder project;
  writeTextFile(project / ".env", "V=0\n");
  const std::vector<std::string> older = {".env.bak", ".env.bak.mine", ".env.backup", ".env.bak.2001-01-01",
                                          backupName(-60)};
  for (const auto& name : older)
    writeTextFile(project / name, "older\n");
  EXPECT_TRUE(QSEnvFileWriter::write(parseDotenv("V=1"), project.path(), 1, moment(0)));
  EXPECT_EQ(entries(project.path()), (std::vector<std::string>{".env", ".env.backup", ".env.bak", ".env.bak.2001-01-01",
                                                               backupName(0), ".env.bak.mine"}));
}

TEST(EnvFileWriterTest, FailuresReturnFalse) {
  TemporaryFolder root;
  // A .env that cannot be read (here: a folder) is not replaced.
  fs::create_directories(root / "unreadable" / ".env");
  EXPECT_FALSE(QSEnvFileWriter::write(parseDotenv("A=1"), root / "unreadable", 3, moment(0)));
  EXPECT_TRUE(fs::is_directory(root / "unreadable" / ".env"));
  EXPECT_FALSE(QSEnvFileWriter::write(parseDotenv("A=1"), root / "missing", 3, moment(0)));
}

}  // namespace
}  // namespace qs
