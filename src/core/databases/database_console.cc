#include "core/databases/database_console.h"

#include "core/databases/engine_tool.h"
#include "core/platform/file_status.h"
#include "core/platform/shell_words.h"

namespace qs::QSDatabaseConsole {
namespace fs = std::filesystem;
namespace {

const std::string& user(const QSDatabase& database) {
  static const std::string fallback = "quayside";
  return database.username ? *database.username : fallback;
}

bool hasPassword(const QSDatabase& database) { return database.password && !database.password->empty(); }

// The client's arguments after its path, and the password variable it reads.
std::vector<std::string> clientArguments(const QSDatabase& database, const fs::path& sqliteFolder) {
  std::string port = std::to_string(database.port);
  switch (database.type) {
    case QSDatabaseType::postgresql:
      return {"-h", database.host, "-p", port, "-U", user(database), database.effectiveDatabaseName()};
    case QSDatabaseType::mysql:
      // No option file of the system's may redirect the client (Debian's point it at a socket).
      return {"--no-defaults", "-h", database.host, "-P", port, "-u", user(database), database.effectiveDatabaseName()};
    case QSDatabaseType::redis: return {"-h", database.host, "-p", port};
    case QSDatabaseType::sqlite: return {(sqliteFolder / (database.effectiveDatabaseName() + ".sqlite")).string()};
  }
  return {};
}

std::optional<std::string> passwordVariable(QSDatabaseType type) {
  if (type == QSDatabaseType::postgresql) return "PGPASSWORD";
  if (type == QSDatabaseType::mysql) return "MYSQL_PWD";
  if (type == QSDatabaseType::redis) return "REDISCLI_AUTH";  // the server's password
  return std::nullopt;
}

}  // namespace

std::string clientName(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return "psql";
    case QSDatabaseType::mysql: return "mysql";
    case QSDatabaseType::sqlite: return "sqlite3";
    case QSDatabaseType::redis: return "redis-cli";
  }
  return {};
}

std::optional<fs::path> clientURL(QSDatabaseType type, QSServiceRegistry& registry, const QSSystemEngines& system) {
  std::string name = clientName(type);
  if (type == QSDatabaseType::sqlite) {
    fs::path sqlite = system.root() / "usr/bin/sqlite3";
    return isExecutableFile(sqlite) ? std::optional(sqlite) : std::nullopt;
  }
  if (auto installed = registry.binaryPath(type, name)) return installed;
  for (const auto& [linkName, target] : system.binaries(type))
    if (linkName == name && isExecutableFile(target)) return target;
  return std::nullopt;
}

std::string command(const QSDatabase& database, const std::string& clientPath, const fs::path& sqliteFolder) {
  std::string line;
  if (auto variable = passwordVariable(database.type); variable && hasPassword(database))
    line = *variable + "=" + shellWord(*database.password) + " ";
  line += shellWord(clientPath);
  for (const auto& argument : clientArguments(database, sqliteFolder)) line += " " + shellWord(argument);
  return line;
}

QSConsoleLaunch launch(const QSDatabase& database, const fs::path& clientPath, const fs::path& sqliteFolder) {
  QSConsoleLaunch result{.program = clientPath, .arguments = {clientPath.string()}};
  for (auto& argument : clientArguments(database, sqliteFolder)) result.arguments.push_back(std::move(argument));
  if (auto variable = passwordVariable(database.type); variable && hasPassword(database))
    result.environment[*variable] = *database.password;
  for (const auto& variable : engineClientVariables())
    if (!result.environment.contains(variable) && !variable.ends_with("HISTFILE"))
      result.unsetEnvironment.push_back(variable);
  return result;
}

}  // namespace qs::QSDatabaseConsole
