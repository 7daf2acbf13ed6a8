// `qs settings list|get KEY|set KEY VALUE|unset KEY`: the application's `qs.*` settings in
// settings.json, typed, with their registered defaults. The daemon reads them when it uses them
// (the backup schedule at every check), so a change needs no restart.
#include "bin/qs/cli_commands.h"
#include "bin/qs/output.h"

#include "core/models/settings_catalogue.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <memory>

namespace qs {
namespace {

namespace catalogue = QSSettingsCatalogue;

struct SettingsOptions {
  std::string key;
  std::string value;
};

const QSSettingDefinition& knownSetting(const std::string& key) {
  if (const auto* definition = catalogue::find(key)) return *definition;
  throw QSCliError("There is no setting named '" + key + "'; 'qs settings list' shows them all.", QSExitCode::usage);
}

nlohmann::json valueJSON(const QSSettingValue& value) {
  return std::visit([](const auto& v) { return nlohmann::json(v); }, value);
}

nlohmann::json settingJSON(const QSSettings& settings, const QSSettingDefinition& definition) {
  nlohmann::json out = {{"key", definition.key},
                        {"type", catalogue::typeName(definition.type)},
                        {"value", valueJSON(catalogue::currentValue(settings, definition))},
                        {"isSet", settings.isStored(definition.key)},
                        {"meaning", definition.meaning}};
  out["default"] = definition.defaultValue ? valueJSON(*definition.defaultValue) : nlohmann::json();
  return out;
}

std::string defaultText(const QSSettingDefinition& definition) {
  return definition.defaultValue ? catalogue::formatValue(*definition.defaultValue) : "(none)";
}

asio::awaitable<int> listSettings(QSCliSession& session) {
  QSSettings settings = catalogue::standardSettings();
  if (session.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& definition : catalogue::all()) {
      auto entry = settingJSON(settings, definition);
      if (definition.secret && settings.isStored(definition.key)) entry["value"] = "(set)";
      list.push_back(entry);
    }
    fmt::print("{}", printableJSON(list));
    co_return QSExitCode::success;
  }
  QSTextTable table({"KEY", "TYPE", "VALUE", "DEFAULT", "MEANING"});
  for (const auto& definition : catalogue::all()) {
    bool stored = settings.isStored(definition.key);
    std::string value = !stored ? "-" : definition.secret ? "(set)"
                                                          : catalogue::formatValue(catalogue::currentValue(settings, definition));
    table.addRow({definition.key, std::string(catalogue::typeName(definition.type)), value, defaultText(definition),
                  definition.meaning});
  }
  fmt::print("{}", table.render());
  fmt::print("VALUE '-' means the default applies. Stored in {}.\n", settings.file().string());
  co_return QSExitCode::success;
}

asio::awaitable<int> getSetting(QSCliSession& session, SettingsOptions options) {
  const auto& definition = knownSetting(options.key);
  QSSettings settings = catalogue::standardSettings();
  if (session.json)
    fmt::print("{}", printableJSON(settingJSON(settings, definition)));
  else
    fmt::print("{}\n", catalogue::formatValue(catalogue::currentValue(settings, definition)));
  co_return QSExitCode::success;
}

asio::awaitable<int> setSetting(QSCliSession&, SettingsOptions options) {
  const auto& definition = knownSetting(options.key);
  auto value = catalogue::parseValue(definition, options.value);
  if (!value) {
    std::string expected = definition.type == QSSettingType::boolean   ? "true or false"
                           : definition.type == QSSettingType::integer ? "a whole number"
                                                                        : "a number";
    throw QSCliError(fmt::format("{} takes {}, not '{}'.", definition.key, expected, options.value), QSExitCode::usage);
  }
  QSSettings settings = catalogue::standardSettings();
  settings.set(definition.key, *value);
  fmt::print("{} = {}\n", definition.key, definition.secret ? "(set)" : catalogue::formatValue(*value));
  co_return QSExitCode::success;
}

asio::awaitable<int> unsetSetting(QSCliSession&, SettingsOptions options) {
  const auto& definition = knownSetting(options.key);
  QSSettings settings = catalogue::standardSettings();
  if (settings.isStored(definition.key)) settings.remove(definition.key);
  fmt::print("{} is back to its default ({}).\n", definition.key, defaultText(definition));
  co_return QSExitCode::success;
}

}  // namespace

void addSettingsCommands(CLI::App& app, QSCliSession& session) {
  auto* settings = addCommand(app, "settings", "Show and change Quayside's settings (qs.* keys)",
                              "  qs settings list\n  qs settings get qs.backupIntervalHours\n"
                              "  qs settings set qs.backupEnabled true\n  qs settings unset qs.backupRetention\n");
  settings->require_subcommand(1);
  auto options = std::make_shared<SettingsOptions>();

  auto* list = addCommand(*settings, "list", "Every setting with its type, value and default", "  qs settings list --json\n");
  addJsonFlag(list, session);
  onRun(list, session, [&session] { return listSettings(session); });

  auto* get = addCommand(*settings, "get", "Print a setting's value (its default when it is not set)",
                         "  qs settings get qs.backupEnabled\n");
  get->add_option("KEY", options->key, "The setting, like qs.backupEnabled")->required();
  addJsonFlag(get, session);
  onRun(get, session, [&session, options] { return getSetting(session, *options); });

  auto* set = addCommand(*settings, "set", "Change a setting (the value is checked against its type)",
                         "  qs settings set qs.backupEnabled true\n  qs settings set qs.backupIntervalHours 6\n");
  set->add_option("KEY", options->key, "The setting, like qs.backupEnabled")->required();
  set->add_option("VALUE", options->value, "true/false, a number or text, as the setting takes")->required();
  onRun(set, session, [&session, options] { return setSetting(session, *options); });

  auto* unset = addCommand(*settings, "unset", "Go back to a setting's default", "  qs settings unset qs.backupRetention\n");
  unset->add_option("KEY", options->key, "The setting")->required();
  onRun(unset, session, [&session, options] { return unsetSetting(session, *options); });
}

}  // namespace qs
