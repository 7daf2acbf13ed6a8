#include "core/models/settings_catalogue.h"

#include "core/platform/text.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace qs::QSSettingsCatalogue {
namespace {

std::vector<QSSettingDefinition> makeCatalogue() {
  using T = QSSettingType;
  std::vector<QSSettingDefinition> list = {
      {"qs.autoStartDatabases", T::boolean, true, "Start a project's linked databases when its server starts at login"},
      {"qs.autoStartServers", T::boolean, false, "Start flagged project servers when Quayside starts"},
      {backupEnabled, T::boolean, false, "Take automatic snapshots of PostgreSQL and MySQL databases"},
      {backupIntervalHours, T::integer, 24LL, "Hours between automatic snapshots (values below 1 count as 1)"},
      {backupRetention, T::integer, 7LL, "Snapshots kept per database by automatic runs (values below 1 count as 1)"},
      {backupLastRun, T::number, 0.0, "When automatic snapshots last ran, in seconds since 1970 (kept by Quayside)"},
      {"qs.hubBaseURL", T::text, std::nullopt, "Address of the hosting account service, for development"},
      {"qs.mailEnabled", T::boolean, true, "Run the mail catcher"},
      {"qs.mailSMTPPort", T::text, std::string("1025"), "Preferred port of the mail catcher (a decimal number)"},
      {"qs.onboardingCompleted", T::boolean, false, "Whether the Welcome window has been seen (Help shows it again)"},
      {"qs.preferredEditor", T::text, std::nullopt, "The editor projects open in"},
      {"qs.preferredTerminal", T::text, std::nullopt, "The terminal consoles open in"},
      {"qs.projectsFolderCreated", T::boolean, false, "Whether ~/Quayside has been created"},
      {"qs.publishAPIKey", T::text, std::nullopt, "The hosting service's API key", true},
      {"qs.useDaemon", T::boolean, false, "Let the daemon own the services when the desktop app starts"},
  };
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
  return list;
}

std::optional<bool> parseBool(std::string_view text) {
  std::string lower = asciiLowercased(text);
  if (lower == "true" || lower == "yes" || lower == "on" || lower == "1") return true;
  if (lower == "false" || lower == "no" || lower == "off" || lower == "0") return false;
  return std::nullopt;
}

std::optional<long long> parseInteger(std::string_view text) {
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> parseNumber(std::string_view text) {
  std::string copy(text);
  char* end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

const std::vector<QSSettingDefinition>& all() {
  static const std::vector<QSSettingDefinition> catalogue = makeCatalogue();
  return catalogue;
}

const QSSettingDefinition* find(std::string_view key) {
  for (const auto& definition : all())
    if (definition.key == key) return &definition;
  return nullptr;
}

void registerDefaults(QSSettings& settings) {
  std::map<std::string, QSSettingValue> defaults;
  for (const auto& definition : all())
    if (definition.defaultValue) defaults[definition.key] = *definition.defaultValue;
  settings.registerDefaults(defaults);
}

QSSettings standardSettings() {
  QSSettings settings = QSSettings::standard();
  registerDefaults(settings);
  return settings;
}

std::string_view typeName(QSSettingType type) {
  switch (type) {
    case QSSettingType::boolean: return "boolean";
    case QSSettingType::integer: return "integer";
    case QSSettingType::number: return "number";
    case QSSettingType::text: return "text";
  }
  return "text";
}

std::optional<QSSettingValue> parseValue(const QSSettingDefinition& definition, std::string_view text) {
  switch (definition.type) {
    case QSSettingType::boolean:
      if (auto b = parseBool(text)) return QSSettingValue(*b);
      return std::nullopt;
    case QSSettingType::integer:
      if (auto i = parseInteger(text)) return QSSettingValue(*i);
      return std::nullopt;
    case QSSettingType::number:
      if (auto d = parseNumber(text)) return QSSettingValue(*d);
      return std::nullopt;
    case QSSettingType::text: return QSSettingValue(std::string(text));
  }
  return std::nullopt;
}

std::string formatValue(const QSSettingValue& value) {
  if (auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (auto* i = std::get_if<long long>(&value)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&value)) return fmt::format("{}", *d);
  return std::get<std::string>(value);
}

QSSettingValue currentValue(const QSSettings& settings, const QSSettingDefinition& definition) {
  switch (definition.type) {
    case QSSettingType::boolean: return settings.boolValue(definition.key);
    case QSSettingType::integer: return settings.intValue(definition.key);
    case QSSettingType::number: return settings.doubleValue(definition.key);
    case QSSettingType::text: return settings.stringValue(definition.key);
  }
  return std::string();
}

}  // namespace qs::QSSettingsCatalogue
