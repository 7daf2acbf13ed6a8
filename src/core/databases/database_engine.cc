#include "core/databases/database_engine.h"

#include "core/databases/mysql_engine.h"
#include "core/databases/postgres_engine.h"
#include "core/databases/redis_engine.h"
#include "core/databases/service_registry.h"
#include "core/databases/sqlite_engine.h"

#include <stdexcept>

namespace qs {
namespace fs = std::filesystem;
namespace {

QSEnvironmentVariable variable(std::string key, std::string value) {
  QSEnvironmentVariable v;
  v.key = std::move(key);
  v.value = std::move(value);
  return v;
}

[[noreturn]] void noSnapshots(QSDatabaseType type) {
  throw std::logic_error(std::string(displayName(type)) + " keeps no snapshots");
}

}  // namespace

QSDatabaseEngine::QSDatabaseEngine(QSEngineContext context)
    : context_(std::move(context)), account_(context_.dataRoot) {}

QSDatabaseEngine::~QSDatabaseEngine() = default;

fs::path QSDatabaseEngine::binary(const std::string& name) const {
  if (context_.registry)
    if (auto path = context_.registry->binaryPath(type(), name)) return *path;
  return fs::path("/usr/local/bin") / name;
}

bool QSDatabaseEngine::adopt(QSDatabase& record, const std::string&) {
  if (!context_.registry->isInstalled(type())) return false;
  try {
    context_.ensureRunning();
    if (!databaseExists(record.name)) return false;
  } catch (const std::exception&) {
    return false;
  }
  record.port = context_.clusterPort();  // the engine's, where the database was found
  return true;
}

QSEngineCommand QSDatabaseEngine::dumpCommand(const QSDatabase&, int) const { noSnapshots(type()); }
QSEngineCommand QSDatabaseEngine::recreateCommand(const QSDatabase&, int) const { noSnapshots(type()); }
QSEngineCommand QSDatabaseEngine::loadCommand(const QSDatabase&, int, const fs::path&) const { noSnapshots(type()); }

std::unique_ptr<QSDatabaseEngine> makeDatabaseEngine(QSDatabaseType type, QSEngineContext context) {
  switch (type) {
    case QSDatabaseType::postgresql: return std::make_unique<QSPostgresEngine>(std::move(context));
    case QSDatabaseType::mysql: return std::make_unique<QSMySQLEngine>(std::move(context));
    case QSDatabaseType::redis: return std::make_unique<QSRedisEngine>(std::move(context));
    case QSDatabaseType::sqlite: break;
  }
  return std::make_unique<QSSQLiteEngine>(std::move(context));
}

std::vector<QSEnvironmentVariable> serverDatabaseVariables(const QSDatabase& database) {
  QSDatabase withUser = database;
  if (!withUser.username) withUser.username = "quayside";
  return {variable("DB_HOST", database.host), variable("DB_PORT", std::to_string(database.port)),
          variable("DB_USERNAME", *withUser.username), variable("DB_PASSWORD", database.password.value_or("")),
          variable("DB_NAME", database.effectiveDatabaseName()), variable("DATABASE_URL", withUser.connectionString())};
}

const std::string& signInUser(const QSDatabase& database) {
  static const std::string fallback = "quayside";
  return database.username ? *database.username : fallback;
}

}  // namespace qs
