// Settings export and import: what goes into the file, what is never taken from one, and that a
// file that is not an export (or holds a value of the wrong type) changes nothing.
#include "core/models/settings_transfer.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qs {
namespace {

using nlohmann::json;

class SettingsTransferTest : public ::testing::Test {
protected:
  SettingsTransferTest() {
    testing::writeTextFile(file(), R"({
      "qs.publishAPIKey": "secret-key", "qs.backupLastRun": 1733480100.5, "qs.hubBaseURL": "http://hub.local",
      "qs.mailEnabled": false, "qs.backupRetention": 3, "qs.preferredEditor": "zed",
      "qs.windowFrames": {"main": [1, 2, 3, 4]}, "qs.gone": null, "other.key": true})");
  }
  std::filesystem::path file() const { return folder / "settings.json"; }
  json stored() const { return json::parse(testing::readTextFile(file())); }

  testing::TemporaryFolder folder;
};

TEST_F(SettingsTransferTest, ExportsSortedAndIndentedWithoutTheMachinesOwnKeys) {
  QSSettings settings(file());
  // Written by another program after this one read the file: the export shows it.
  json onDisk = stored();
  onDisk["qs.autoStartServers"] = true;
  testing::writeTextFile(file(), onDisk.dump());

  std::string exported = QSSettingsIO(settings).exportData();
  EXPECT_EQ(exported, R"({
  "preferences": {
    "qs.autoStartServers": true,
    "qs.backupRetention": 3,
    "qs.mailEnabled": false,
    "qs.preferredEditor": "zed",
    "qs.windowFrames": {
      "main": [
        1,
        2,
        3,
        4
      ]
    }
  },
  "version": 1
}
)");
}

TEST_F(SettingsTransferTest, ImportsEveryQsEntryButNeverTheExcludedOnes) {
  QSSettings settings(file());
  QSSettingsIO io(settings);
  int count = io.importData(R"({"version": 7, "preferences": {
      "qs.publishAPIKey": "stolen", "qs.backupLastRun": 1, "qs.hubBaseURL": "http://evil",
      "qs.mailEnabled": true, "qs.newThing": [1, "two"], "qs.skipped": null, "notqs": 1}})");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(QSSettingsIO::importedText(count), "Imported 2 settings. Some changes apply on next launch.");
  json after = stored();
  EXPECT_EQ(after["qs.publishAPIKey"], "secret-key");
  EXPECT_EQ(after["qs.backupLastRun"], 1733480100.5);
  EXPECT_EQ(after["qs.hubBaseURL"], "http://hub.local");
  EXPECT_EQ(after["qs.mailEnabled"], true);
  EXPECT_EQ(after["qs.newThing"], json::parse(R"([1, "two"])"));
  EXPECT_FALSE(after.contains("notqs"));
  EXPECT_EQ(after["qs.backupRetention"], 3) << "what the file does not name stays";
  EXPECT_TRUE(settings.boolValue("qs.mailEnabled")) << "the store in memory follows";

  // (Exactly one, the singular word: the end-to-end test.)
  EXPECT_EQ(QSSettingsIO::importedText(0), "Imported 0 settings. Some changes apply on next launch.");

  // A round trip gives the same file.
  std::string exported = io.exportData();
  testing::TemporaryFolder other;
  QSSettings elsewhere(other / "settings.json");
  QSSettingsIO(elsewhere).importData(exported);
  EXPECT_EQ(QSSettingsIO(elsewhere).exportData(), exported);
}

// (A value the setting cannot take, named in the refusal: the end-to-end test.)
TEST_F(SettingsTransferTest, MalformedAndForeignFilesChangeNothing) {
  QSSettings settings(file());
  QSSettingsIO io(settings);
  std::string before = testing::readTextFile(file());
  std::string deep = R"({"preferences": {"qs.deep": )" + std::string(100, '[') + std::string(100, ']') + "}}";
  for (std::string bad : std::vector<std::string>{"", "not json", "[1, 2]", R"({"version": 1})", R"({"preferences": [1]})",
                          R"({"preferences": {"qs.mailEnabled": true)", "{\"preferences\": {\"qs.a\": \"\xff\"}}",
                          R"({"name": "package.json", "dependencies": {}})", deep,
                          std::string(QSSettingsIO::maxFileSize + 1, ' ')})
    EXPECT_EQ(testing::thrownMessage<QSSettingsIOError>([&] { io.importData(bad); }), QSSettingsIO::invalidFileText)
        << bad.substr(0, 80);
  EXPECT_EQ(testing::readTextFile(file()), before);
}

// The file cannot be replaced (a folder holds its name): the import fails and the store in
// memory does not pretend otherwise.
TEST(SettingsTransferWrite, AFailedWriteChangesNothingInMemoryEither) {
  testing::TemporaryFolder folder;
  std::filesystem::create_directories(folder / "settings.json" / "in-the-way");
  QSSettings settings(folder / "settings.json");
  EXPECT_ANY_THROW(QSSettingsIO(settings).importData(R"({"preferences": {"qs.autoStartServers": true}})"));
  EXPECT_FALSE(settings.boolValue("qs.autoStartServers"));
  EXPECT_FALSE(settings.isStored("qs.autoStartServers"));
}

}  // namespace
}  // namespace qs
