#include "core/models/settings_transfer.h"

#include "core/models/settings_catalogue.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace qs {
namespace {

using nlohmann::json;

bool hasType(const json& value, QSSettingType type) {
  switch (type) {
    case QSSettingType::boolean: return value.is_boolean();
    case QSSettingType::integer: return value.is_number_integer();
    case QSSettingType::number: return value.is_number();
    case QSSettingType::text: return value.is_string();
  }
  return false;
}

std::string_view typeWords(QSSettingType type) {
  switch (type) {
    case QSSettingType::boolean: return "true or false";
    case QSSettingType::integer: return "a whole number";
    case QSSettingType::number: return "a number";
    case QSSettingType::text: return "text";
  }
  return "text";
}

}  // namespace

bool QSSettingsIO::isExcluded(std::string_view key) {
  return std::find(excludedKeys.begin(), excludedKeys.end(), key) != excludedKeys.end();
}

std::string QSSettingsIO::exportData() const {
  settings_.reload();
  json preferences = json::object();
  json stored = settings_.storedValues();
  for (const auto& [key, value] : stored.items())
    if (key.starts_with("qs.") && !isExcluded(key) && !value.is_null()) preferences[key] = value;
  json file = {{"version", 1}, {"preferences", std::move(preferences)}};
  // Objects keep their keys sorted; text that is not UTF-8 (a hand-edited file) is replaced
  // rather than failing the export.
  return file.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

int QSSettingsIO::importData(std::string_view bytes) {
  if (bytes.size() > maxFileSize) throw QSSettingsIOError(std::string(invalidFileText));
  bool tooDeep = false;
  json::parser_callback_t depthCheck = [&tooDeep](int depth, json::parse_event_t, json&) {
    if (depth > maxDepth) tooDeep = true;
    return !tooDeep;
  };
  json file = json::parse(bytes.begin(), bytes.end(), depthCheck, /*allow_exceptions=*/false);
  if (tooDeep || !file.is_object() || !file.contains("preferences") || !file["preferences"].is_object())
    throw QSSettingsIOError(std::string(invalidFileText));

  json accepted = json::object();
  for (const auto& [key, value] : file["preferences"].items()) {
    if (!key.starts_with("qs.") || isExcluded(key) || value.is_null()) continue;
    if (const auto* known = QSSettingsCatalogue::find(key); known && !hasType(value, known->type))
      throw QSSettingsIOError(fmt::format("{} In it, {} should be {}; nothing was imported.", invalidFileText, key,
                                          typeWords(known->type)));
    accepted[key] = value;
  }
  if (!accepted.empty()) settings_.setValues(accepted);
  return static_cast<int>(accepted.size());
}

std::string QSSettingsIO::importedText(int count) {
  return fmt::format("Imported {} setting{}. Some changes apply on next launch.", count, count == 1 ? "" : "s");
}

}  // namespace qs
