#include "core/databases/database_console.h"

#include "core/databases/database_engine.h"
#include "core/databases/engine_tool.h"
#include "core/platform/file_status.h"
#include "core/platform/shell_words.h"

namespace qs::QSDatabaseConsole {
namespace fs = std::filesystem;
namespace {

bool hasPassword(const QSDatabase& database) { return database.password && !database.password->empty(); }

}  // namespace

std::string clientName(QSDatabaseType type) { return makeDatabaseEngine(type)->clientName(); }

std::optional<fs::path> clientURL(QSDatabaseType type, QSServiceRegistry& registry, const QSSystemEngines& system) {
  std::string name = clientName(type);
  // SQLite is never installed in the registry: its client is always the system's.
  if (auto installed = registry.binaryPath(type, name)) return installed;
  for (const auto& [linkName, target] : system.binaries(type))
    if (linkName == name && isExecutableFile(target)) return target;
  return std::nullopt;
}

std::string command(const QSDatabase& database, const std::string& clientPath, const fs::path& sqliteFolder) {
  std::string line;
  auto engine = makeDatabaseEngine(database.type);
  if (auto variable = engine->passwordVariable(); variable && hasPassword(database))
    line = *variable + "=" + shellWord(*database.password) + " ";
  line += shellWord(clientPath);
  for (const auto& argument : engine->clientArguments(database, sqliteFolder)) line += " " + shellWord(argument);
  return line;
}

QSConsoleLaunch launch(const QSDatabase& database, const fs::path& clientPath, const fs::path& sqliteFolder) {
  QSConsoleLaunch result{.program = clientPath, .arguments = {clientPath.string()}};
  auto engine = makeDatabaseEngine(database.type);
  for (auto& argument : engine->clientArguments(database, sqliteFolder)) result.arguments.push_back(std::move(argument));
  if (auto variable = engine->passwordVariable(); variable && hasPassword(database))
    result.environment[*variable] = *database.password;
  for (const auto& variable : engineClientVariables())
    if (!result.environment.contains(variable) && !variable.ends_with("HISTFILE"))
      result.unsetEnvironment.push_back(variable);
  return result;
}

}  // namespace qs::QSDatabaseConsole
