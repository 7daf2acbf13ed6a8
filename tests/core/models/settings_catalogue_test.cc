// The settings catalogue: typed parsing of what `qs settings set` is given, and defaults that
// apply until a value is stored.
#include "core/models/settings_catalogue.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

namespace catalogue = QSSettingsCatalogue;

TEST(SettingsCatalogueTest, ParsesByTypeAndRefusesTheRest) {
  const auto& enabled = *catalogue::find("qs.backupEnabled");
  const auto& hours = *catalogue::find("qs.backupIntervalHours");
  const auto& lastRun = *catalogue::find("qs.backupLastRun");
  const auto& port = *catalogue::find("qs.mailSMTPPort");
  EXPECT_EQ(catalogue::find("qs.nothing"), nullptr);

  EXPECT_EQ(catalogue::parseValue(enabled, "TRUE"), QSSettingValue(true));
  EXPECT_EQ(catalogue::parseValue(enabled, "off"), QSSettingValue(false));
  EXPECT_EQ(catalogue::parseValue(enabled, "maybe"), std::nullopt);
  EXPECT_EQ(catalogue::parseValue(hours, "-3"), QSSettingValue(-3LL));
  EXPECT_EQ(catalogue::parseValue(hours, "6h"), std::nullopt);
  EXPECT_EQ(catalogue::parseValue(lastRun, "1733480100.5"), QSSettingValue(1733480100.5));
  EXPECT_EQ(catalogue::parseValue(lastRun, "nan"), std::nullopt);
  // Stored as text, as the mail catcher reads it.
  EXPECT_EQ(catalogue::parseValue(port, "2525"), QSSettingValue(std::string("2525")));
  EXPECT_EQ(catalogue::formatValue(1733480100.5), "1733480100.5");
}

TEST(SettingsCatalogueTest, AValueOfTheWrongTypeReadsAsTheDefault) {
  testing::TemporaryFolder folder;
  testing::writeTextFile(folder / "settings.json", R"({"qs.backupIntervalHours": "six", "qs.backupRetention": 3})");
  QSSettings edited(folder / "settings.json");
  catalogue::registerDefaults(edited);
  EXPECT_EQ(edited.intValue(catalogue::backupIntervalHours), 24);
  EXPECT_EQ(edited.intValue(catalogue::backupRetention), 3);
  EXPECT_EQ(catalogue::formatValue(catalogue::currentValue(edited, *catalogue::find("qs.backupRetention"))), "3");
}

}  // namespace
}  // namespace qs
