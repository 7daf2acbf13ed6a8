// The interactive client of a local database, already connected: psql for PostgreSQL, mysql for
// MySQL, redis-cli for Redis, sqlite3 for SQLite. As one shell line (for a terminal application
// to run) or as a program, argument list and environment (for `qs db console` to exec, so the
// password never appears in an argument list).
#pragma once

#include "core/databases/service_catalogue.h"
#include "core/databases/service_registry.h"
#include "core/models/database.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs::QSDatabaseConsole {

// "psql", "mysql", "sqlite3", "redis-cli".
std::string clientName(QSDatabaseType type);

// SQLite: /usr/bin/sqlite3 (below `system`'s root). Otherwise the installed engine's client
// (registry), else the client of the engine the OS packages installed; nothing when neither is there.
std::optional<std::filesystem::path> clientURL(QSDatabaseType type, QSServiceRegistry& registry,
                                               const QSSystemEngines& system = QSSystemEngines());

// The one-line command, with `clientPath` as the client (the bare client name when no client was
// found). PostgreSQL: "PGPASSWORD=… psql -h HOST -p PORT -U USER DB"; MySQL: "MYSQL_PWD=… mysql
// --no-defaults -h HOST -P PORT -u USER DB"; Redis: "redis-cli -h HOST -p PORT"; SQLite:
// "sqlite3 FILE". The assignment is left out when the password is empty. `sqliteFolder` holds
// the SQLite files.
std::string command(const QSDatabase& database, const std::string& clientPath, const std::filesystem::path& sqliteFolder);

struct QSConsoleLaunch {
  std::filesystem::path program;
  std::vector<std::string> arguments;              // program path first
  std::map<std::string, std::string> environment;  // PGPASSWORD or MYSQL_PWD, only when set
  // Variables of the caller's environment to drop (PGHOST, a stray MYSQL_PWD, …), which would
  // point the client elsewhere or send a password where it does not belong.
  std::vector<std::string> unsetEnvironment;
};

// The same as command(), as a program to exec.
QSConsoleLaunch launch(const QSDatabase& database, const std::filesystem::path& clientPath,
                       const std::filesystem::path& sqliteFolder);

}  // namespace qs::QSDatabaseConsole
