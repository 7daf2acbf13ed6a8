// Every setting of the application (`qs.*` keys in settings.json): its type, registered default
// and meaning, so that any program can read them typed and `qs settings` can show and check them.
#pragma once

#include "core/platform/settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

enum class QSSettingType { boolean, integer, number, text };

struct QSSettingDefinition {
  std::string key;
  QSSettingType type = QSSettingType::text;
  std::optional<QSSettingValue> defaultValue;  // absent: reads as the type's zero value
  std::string meaning;
  bool secret = false;  // listed as "(set)", never shown in a list
};

namespace QSSettingsCatalogue {

// The backup scheduler's keys.
inline constexpr const char* backupEnabled = "qs.backupEnabled";
inline constexpr const char* backupIntervalHours = "qs.backupIntervalHours";
inline constexpr const char* backupRetention = "qs.backupRetention";
inline constexpr const char* backupLastRun = "qs.backupLastRun";

// Every known setting, sorted by key.
const std::vector<QSSettingDefinition>& all();
// The setting named `key`, if it is known.
const QSSettingDefinition* find(std::string_view key);
// Registers every known default on `settings`.
void registerDefaults(QSSettings& settings);
// The standard store with every default registered.
QSSettings standardSettings();

// "boolean", "integer", "number", "text".
std::string_view typeName(QSSettingType type);
// `text` as a value of `definition`'s type: true/false (also yes/no, on/off, 1/0) for booleans,
// decimal integers, decimal numbers; text as it is. Nothing when it does not parse.
std::optional<QSSettingValue> parseValue(const QSSettingDefinition& definition, std::string_view text);
// A value as `qs settings` prints it: true/false, 24, 1733480100.5, the text itself.
std::string formatValue(const QSSettingValue& value);
// The value `settings` gives `definition`'s key, typed by the definition.
QSSettingValue currentValue(const QSSettings& settings, const QSSettingDefinition& definition);

}  // namespace QSSettingsCatalogue
}  // namespace qs
