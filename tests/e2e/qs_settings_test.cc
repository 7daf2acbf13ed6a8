// `qs settings`: typed values with their defaults; `export` and `import`: the file another machine
// reads, the keys that stay behind, and files that change nothing.
#include "e2e/e2e_support.h"

namespace qs::testing {
namespace {

class SettingsTransfer : public E2ETest {
protected:
  std::filesystem::path settingsFile() const { return home.home() / ".config/Quayside/settings.json"; }
};

TEST_F(SettingsTransfer, TypedSettingsAndTheirExportAndImportThroughFilesAndPipes) {
  // Settings are typed and show their defaults; only what was set is stored.
  EXPECT_EQ(qsOK({"settings", "get", "qs.backupIntervalHours"}), "24\n");
  EXPECT_EQ(qsOK({"settings", "set", "qs.backupEnabled", "true"}), "qs.backupEnabled = true\n");
  EXPECT_EQ(qsFails({"settings", "set", "qs.backupRetention", "seven"}, 2),
            "qs: qs.backupRetention takes a whole number, not 'seven'.\n");
  EXPECT_EQ(qs({"settings", "get", "qs.backupEnable"}).err,
            "qs: There is no setting named 'qs.backupEnable'; 'qs settings list' shows them all.\n");
  EXPECT_EQ(json::parse(readTextFile(settingsFile())), json({{"qs.backupEnabled", true}}));
  std::string list = qsOK({"settings", "list"});
  EXPECT_NE(list.find("qs.backupEnabled          boolean  true   false"), std::string::npos) << list;
  EXPECT_NE(list.find("qs.backupRetention        integer  -      7"), std::string::npos) << list;
  EXPECT_EQ(qsOK({"settings", "unset", "qs.backupEnabled"}), "qs.backupEnabled is back to its default (false).\n");

  writeTextFile(settingsFile(), R"({"qs.publishAPIKey": "mine", "qs.backupRetention": 3, "qs.mailEnabled": false})");
  std::string file = (home.home() / "quayside-settings.json").string();
  EXPECT_EQ(qsOK({"settings", "export", file}), "Settings exported. 2 settings written to " + file + ".\n");
  EXPECT_EQ(qsOK({"settings", "export", "-"}), readTextFile(file));

  writeTextFile(file, R"({"version": 1, "preferences": {"qs.publishAPIKey": "theirs", "qs.backupRetention": 9}})");
  EXPECT_EQ(qsOK({"settings", "import", file}), "Imported 1 setting. Some changes apply on next launch.\n");
  EXPECT_EQ(qsOK({"settings", "get", "qs.backupRetention"}), "9\n");
  EXPECT_EQ(json::parse(readTextFile(settingsFile()))["qs.publishAPIKey"], "mine");

  auto piped = run({qsPath(), "settings", "import", "-", "--json"},
                   R"({"preferences": {"qs.mailEnabled": true, "qs.autoStartServers": true}})", home.home());
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(json::parse(piped.out), json::parse(R"({"imported": 2})"));

  // A file that is not an export, or one that cannot be read, changes nothing. (The export's
  // contents, every kind of file refused and its text: the transfer's own test.)
  std::string before = readTextFile(settingsFile());
  writeTextFile(file, R"({"preferences": {"qs.autoStartServers": false, "qs.backupRetention": "many"}})");
  qsFails({"settings", "import", file});
  EXPECT_NE(qsFails({"settings", "import", (home.home() / "missing.json").string()})
                .find("qs: Couldn't read the settings file: "),
            std::string::npos);
  EXPECT_EQ(readTextFile(settingsFile()), before);
}

}  // namespace
}  // namespace qs::testing
