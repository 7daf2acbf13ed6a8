#include "core/databases/sqlite_engine.h"

#include "core/databases/database_error.h"
#include "core/platform/files.h"

namespace qs {
namespace fs = std::filesystem;

fs::path sqliteFile(const fs::path& dataRoot, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    throw QSDatabaseException(QSDatabaseError(databaseError::DatabaseCreationFailed{
        "'" + name + "' can't be the name of an SQLite database: use a name without '/'."}));
  return dataRoot / "sqlite" / (name + ".sqlite");
}

void QSSQLiteEngine::createDatabase(const std::string& name, int, const std::optional<std::string>&,
                                    const std::optional<std::string>&) {
  fs::path file = sqliteFile(context_.dataRoot, name);
  createDirectories(file.parent_path(), 0700);
  // An existing file keeps its contents.
  if (!fileExists(file)) writeFileAtomically(file, "", 0600);
}

void QSSQLiteEngine::dropDatabase(const std::string& name) { removeFile(sqliteFile(context_.dataRoot, name)); }

bool QSSQLiteEngine::databaseExists(const std::string& name) { return fileExists(sqliteFile(context_.dataRoot, name)); }

bool QSSQLiteEngine::adopt(QSDatabase& record, const std::string&) {
  try {
    return databaseExists(record.name);
  } catch (const QSDatabaseException&) {
    return false;
  }
}

std::vector<QSEnvironmentVariable> QSSQLiteEngine::environment(const QSDatabase& database) const {
  return {QSEnvironmentVariable{
      .key = "DATABASE_URL",
      .value = "sqlite://" + sqliteFile(context_.dataRoot, database.effectiveDatabaseName()).string()}};
}

std::vector<std::string> QSSQLiteEngine::clientArguments(const QSDatabase& database, const fs::path& sqliteFolder) const {
  return {(sqliteFolder / (database.effectiveDatabaseName() + ".sqlite")).string()};
}

}  // namespace qs
