// `qs settings list|get KEY|set KEY VALUE|unset KEY|export FILE|import FILE`: the application's
// `qs.*` settings in settings.json, typed, with their registered defaults, and the file that moves
// them to another machine. The daemon reads them when it uses them (the backup schedule at every
// check), so a change needs no restart.
#include "bin/qs/cli_commands.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"

#include "core/models/settings_catalogue.h"
#include "core/models/settings_transfer.h"
#include "core/platform/files.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>

namespace qs {
namespace {

namespace catalogue = QSSettingsCatalogue;

struct SettingsOptions {
  std::string key;
  std::string value;
  std::string file;
};

const QSSettingDefinition& knownSetting(const std::string& key) {
  if (const auto* definition = catalogue::find(key)) return *definition;
  throw QSCliError("There is no setting named '" + key + "'; 'qs settings list' shows them all.", QSExitCode::usage);
}

output::Setting settingOutput(const QSSettings& settings, const QSSettingDefinition& definition) {
  output::Setting out{.key = definition.key,
                      .type = std::string(catalogue::typeName(definition.type)),
                      .value = {catalogue::currentValue(settings, definition)},
                      .isSet = settings.isStored(definition.key),
                      .meaning = definition.meaning};
  if (definition.defaultValue) out.defaultValue.value = QSSettingValueOutput{*definition.defaultValue};
  return out;
}

std::string defaultText(const QSSettingDefinition& definition) {
  return definition.defaultValue ? catalogue::formatValue(*definition.defaultValue) : "(none)";
}

asio::awaitable<int> listSettings(QSCliSession& session) {
  QSSettings settings = catalogue::standardSettings();
  if (session.json) {
    std::vector<output::Setting> list;
    for (const auto& definition : catalogue::all()) {
      auto entry = settingOutput(settings, definition);
      if (definition.secret && settings.isStored(definition.key)) entry.value.value = std::string("(set)");
      list.push_back(std::move(entry));
    }
    fmt::print("{}", jsonText(list));
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
  fmt::print("{}", table.render("", standardOutputWidth()));
  fmt::print("VALUE '-' means the default applies. Stored in {}.\n", settings.file().string());
  co_return QSExitCode::success;
}

asio::awaitable<int> getSetting(QSCliSession& session, SettingsOptions options) {
  const auto& definition = knownSetting(options.key);
  QSSettings settings = catalogue::standardSettings();
  if (session.json)
    fmt::print("{}", jsonText(settingOutput(settings, definition)));
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

asio::awaitable<int> exportSettings(QSCliSession& session, SettingsOptions options) {
  QSSettings settings = QSSettings::standard();
  std::string data = QSSettingsIO(settings).exportData();
  int count = static_cast<int>(nlohmann::json::parse(data)["preferences"].size());
  if (options.file == "-") {
    std::fwrite(data.data(), 1, data.size(), stdout);
    co_return QSExitCode::success;
  }
  try {
    writeFileAtomically(options.file, data, 0644);
  } catch (const std::exception& e) {
    throw QSCliError(std::string("Couldn't write the settings: ") + e.what());
  }
  if (session.json)
    fmt::print("{}", jsonText(output::SettingsExported{options.file, count}));
  else
    fmt::print("{} {} setting{} written to {}.\n", QSSettingsIO::exportedText, count, count == 1 ? "" : "s",
               options.file);
  co_return QSExitCode::success;
}

asio::awaitable<int> importSettings(QSCliSession& session, SettingsOptions options) {
  // One byte more than an export may have is enough to refuse a file that is too large (or endless).
  std::size_t limit = QSSettingsIO::maxFileSize + 1;
  std::string data;
  if (options.file == "-") {
    std::istreambuf_iterator<char> in(std::cin), end;
    while (in != end && data.size() < limit) data.push_back(*in++);
  } else {
    try {
      data = readFilePrefix(options.file, limit);
    } catch (const std::exception& e) {
      throw QSCliError(std::string("Couldn't read the settings file: ") + e.what());
    }
  }
  QSSettings settings = QSSettings::standard();
  int count = 0;
  try {
    count = QSSettingsIO(settings).importData(data);
  } catch (const QSSettingsIOError& e) {
    throw QSCliError(e.what());
  } catch (const std::exception& e) {
    throw QSCliError(std::string("Couldn't save the settings: ") + e.what());
  }
  if (session.json)
    fmt::print("{}", jsonText(output::SettingsImported{count}));
  else
    fmt::print("{}\n", QSSettingsIO::importedText(count));
  co_return QSExitCode::success;
}

}  // namespace

void addSettingsCommands(CLI::App& app, QSCliSession& session) {
  auto* settings = addCommand(app, "settings", "Show and change Quayside's settings (qs.* keys)",
                              "  qs settings list\n  qs settings get qs.backupIntervalHours\n"
                              "  qs settings set qs.backupEnabled true\n  qs settings unset qs.backupRetention\n"
                              "  qs settings export ~/quayside-settings.json\n"
                              "  qs settings import ~/quayside-settings.json\n");
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

  auto* exporting = addCommand(*settings, "export",
                               "Write every setting to a file for another machine (never the hosting API key, the "
                               "last backup time or the hosting address)",
                               "  qs settings export ~/quayside-settings.json\n"
                               "  qs settings export - | ssh other-machine qs settings import -\n");
  exporting->add_option("FILE", options->file, "Where to write (- for standard output)")->required();
  addJsonFlag(exporting, session);
  onRun(exporting, session, [&session, options] { return exportSettings(session, *options); });

  auto* importing = addCommand(*settings, "import",
                               "Take the settings from a file 'qs settings export' wrote; a file that isn't one, or "
                               "holds a value a setting can't take, changes nothing",
                               "  qs settings import ~/quayside-settings.json\n"
                               "  qs settings import - < quayside-settings.json\n"
                               "  qs settings import quayside-settings.json --json\n");
  importing->add_option("FILE", options->file, "The file to read (- for standard input)")->required();
  addJsonFlag(importing, session);
  onRun(importing, session, [&session, options] { return importSettings(session, *options); });
}

}  // namespace qs
