// Moving the application's settings between machines: every `qs.*` setting written to a JSON
// file ({"version": 1, "preferences": {...}}, keys sorted, indented), and read back from one.
// The hosting API key, the time of the last automatic backup and the hosting service's address
// belong to this machine: they are never written to a file and never taken from one.
#pragma once

#include "core/platform/settings.h"

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qs {

// Why a file could not be imported; its text is meant for the user.
class QSSettingsIOError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class QSSettingsIO {
public:
  static constexpr std::string_view suggestedFileName = "quayside-settings.json";
  static constexpr std::string_view invalidFileText = "That file isn't a valid Quayside settings export.";
  static constexpr std::string_view exportedText = "Settings exported.";
  static constexpr std::array<std::string_view, 3> excludedKeys = {"qs.publishAPIKey", "qs.backupLastRun",
                                                                   "qs.hubBaseURL"};
  // Larger files are not settings exports (a real one is a few hundred bytes).
  static constexpr std::size_t maxFileSize = 1 << 20;
  // Nesting deeper than this in a value is refused (no setting needs more than a level or two).
  static constexpr int maxDepth = 32;

  explicit QSSettingsIO(QSSettings& settings) : settings_(settings) {}

  // The file's bytes: the settings as stored now (re-read from disk), without the excluded
  // keys and without null values.
  std::string exportData() const;
  // Reads a file made by exportData (`version` is not examined) and stores every `qs.*` entry
  // that is not excluded, in one write; how many it stored. All or nothing: a file that is not
  // an export (or too large, or nested too deep), or a value whose type the setting does not
  // take, throws QSSettingsIOError and changes nothing; so does a failed write (QSSystemError).
  int importData(std::string_view bytes);

  // "Imported 3 settings. Some changes apply on next launch." ("1 setting" for one).
  static std::string importedText(int count);
  static bool isExcluded(std::string_view key);

private:
  QSSettings& settings_;
};

}  // namespace qs
