#include "core/databases/database_service.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/databases/service_downloader.h"
#include "core/databases/sql_quoting.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "core/platform/proc_table.h"
#include "core/runtime/port_scanner.h"

#include <algorithm>
#include <csignal>

namespace qs {
namespace fs = std::filesystem;
namespace {

// Start failures that another server taking the port first explains.
bool isPortTaken(const std::exception& e) {
  std::string text = e.what();
  return text.find("Address already in use") != std::string::npos || text.find("in use") != std::string::npos;
}

std::string loweredIdentifier(const std::string& base) {
  std::string out;
  for (unsigned char c : base) {
    char lower = static_cast<char>(std::tolower(c));
    out += (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') ? lower : '_';
  }
  return out;
}

QSEnvironmentVariable variable(std::string key, std::string value) {
  QSEnvironmentVariable v;
  v.key = std::move(key);
  v.value = std::move(value);
  return v;
}

// Escapes a path for an extended regular expression (pgrep's pattern language).
std::string regexLiteral(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string_view(R"(\.^$|?*+()[]{})").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

QSDatabaseService::QSDatabaseService(fs::path dataRoot, QSSystemEngines system)
    : dataRoot_(std::move(dataRoot)),
      account_(dataRoot_),
      system_(std::move(system)),
      registry_(dataRoot_ / "services.json") {}

QSDatabaseService::~QSDatabaseService() = default;

fs::path QSDatabaseService::sqliteFile(const std::string& name) const {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    throw QSDatabaseException(QSDatabaseError(databaseError::DatabaseCreationFailed{
        "'" + name + "' can't be the name of an SQLite database: use a name without '/'."}));
  return dataRoot_ / "sqlite" / (name + ".sqlite");
}

fs::path QSDatabaseService::binary(QSDatabaseType type, const std::string& name) {
  if (auto path = registry_.binaryPath(type, name)) return *path;
  return fs::path("/usr/local/bin") / name;
}

bool QSDatabaseService::isInstalled(QSDatabaseType type) {
  if (type == QSDatabaseType::sqlite || registry_.isInstalled(type)) return true;
  // The OS's own engine needs no download: link it and register it on first use.
  if (!system_.isPresent(type)) return false;
  auto definition = system_.definition(type);
  auto folder = QSServiceDownloader::forDataRoot(dataRoot_, system_).install(definition);
  registry_.registerService({.id = definition.id,
                             .type = type,
                             .version = definition.version,
                             .installPath = folder,
                             .installedAt = QSTime::now(),
                             .port = defaultPort(type)});
  return true;
}

bool QSDatabaseService::isInitialized(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return fileExists(postgresFolder() / ".quayside-initialized");
    case QSDatabaseType::mysql: return fileExists(mysqlFolder() / ".quayside-initialized");
    case QSDatabaseType::redis: return isDirectory(redisFolder());
    case QSDatabaseType::sqlite: return true;
  }
  return false;
}

void QSDatabaseService::initialize(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: initializePostgres(); break;
    case QSDatabaseType::mysql: initializeMySQL(); break;
    case QSDatabaseType::redis: initializeRedis(); break;
    case QSDatabaseType::sqlite: break;
  }
  secure(type);
}

void QSDatabaseService::secure(QSDatabaseType type) {
  if (type == QSDatabaseType::postgresql) securePostgres();
  if (type == QSDatabaseType::mysql) secureMySQL();
}

void QSDatabaseService::startOnce(QSDatabaseType type, int port) {
  switch (type) {
    case QSDatabaseType::postgresql: startPostgres(port); break;
    case QSDatabaseType::mysql: startMySQL(port); break;
    case QSDatabaseType::redis: startRedis(port); break;
    case QSDatabaseType::sqlite: break;
  }
}

void QSDatabaseService::startOnAFreePort(QSDatabaseType type, int port) {
  // The free port found a moment ago can be taken by another server before the engine binds it.
  for (int attempt = 0;; ++attempt) {
    try {
      startOnce(type, port);
      if (registry_.service(type) && registry_.service(type)->port != port) registry_.setPort(port, type);
      return;
    } catch (const QSDatabaseException& e) {
      if (attempt == 4 || !isPortTaken(e) || type == QSDatabaseType::sqlite) throw;
      port = QSPortScanner().availablePort(port + 1, {}, 256);
    }
  }
}

void QSDatabaseService::start(QSDatabaseType type, int port) {
  startOnAFreePort(type, port);
  secure(type);
}

void QSDatabaseService::stop(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: stopPostgres(); break;
    case QSDatabaseType::mysql: stopMySQL(); break;
    case QSDatabaseType::redis: stopRedis(); break;
    case QSDatabaseType::sqlite: break;
  }
}

std::optional<std::int32_t> QSDatabaseService::adoptedProcess(QSDatabaseType type) const {
  fs::path pidFile;
  std::vector<std::string> names;
  if (type == QSDatabaseType::mysql) pidFile = mysqlFolder() / "mysql.pid", names = {"mysqld", "mariadbd"};
  // A Redis from before service passwords lets anyone in: it is replaced, never adopted.
  if (type == QSDatabaseType::redis && account_.isSecured(type))
    pidFile = redisFolder() / "redis.pid", names = {"redis-server"};
  auto text = pidFile.empty() ? std::nullopt : readFileIfPresent(pidFile);
  if (!text) return std::nullopt;
  std::string first = text->substr(0, text->find_first_of(" \r\n"));
  if (first.empty() || first.size() > 9 || first.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  auto pid = static_cast<std::int32_t>(std::stol(first));
  // The id alone could have been reused by an unrelated process since the server ended.
  auto identity = processIdentity(pid);
  if (!identity || identity->realUID != currentUserID() || processHasEnded(pid)) return std::nullopt;
  if (std::find(names.begin(), names.end(), identity->name) == names.end()) return std::nullopt;
  return pid;
}

bool QSDatabaseService::isRecordedRunning(QSDatabaseType type) const {
  auto it = runningProcesses_.find(type);
  return it != runningProcesses_.end() && it->second->isRunning();
}

// Ends a server this instance started: SIGTERM (a clean shutdown for both MySQL and Redis),
// and SIGKILL when it has not gone within 30 seconds.
void QSDatabaseService::endRecorded(QSDatabaseType type, bool politely) {
  auto it = runningProcesses_.find(type);
  if (it == runningProcesses_.end()) return;
  auto process = it->second;
  runningProcesses_.erase(it);
  if (process->isRunning() && politely) process->signal(SIGTERM);
  if (!pollUntil([&] { return process->reap().has_value(); }, std::chrono::seconds(30))) {
    process->signalGroup(SIGKILL);
    pollUntil([&] { return process->reap().has_value(); }, std::chrono::seconds(10));
  }
}

QSDatabaseStatus QSDatabaseService::status(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return postgresStatus();
    case QSDatabaseType::mysql:
    case QSDatabaseType::redis: return isEngineRunning(type) ? QSDatabaseStatus::running : QSDatabaseStatus::stopped;
    case QSDatabaseType::sqlite: return QSDatabaseStatus::stopped;
  }
  return QSDatabaseStatus::stopped;
}

int QSDatabaseService::clusterPort(QSDatabaseType type) {
  if (type == QSDatabaseType::sqlite) return 0;
  auto installed = registry_.service(type);
  int preferred = installed && installed->port > 0 ? installed->port : defaultPort(type);
  if (status(type) == QSDatabaseStatus::running) return preferred;
  int port = QSPortScanner().availablePort(preferred, {}, 256);
  if (port != preferred) registry_.setPort(port, type);
  return port;
}

void QSDatabaseService::ensureClusterRunning(QSDatabaseType type, int port) {
  if (!isInitialized(type)) initialize(type);
  if (status(type) != QSDatabaseStatus::running) start(type, port);
  secure(type);  // an engine an earlier owner left running may date from before service passwords
}

QSProvisionResult QSDatabaseService::provision(const QSDatabase& database) {
  QSDatabase record = database;
  if (record.type == QSDatabaseType::sqlite) {
    createDatabase(record.effectiveDatabaseName(), record.type, 0, record.username, record.password);
    return {record, generateEnvVars(record)};
  }
  if (!isInstalled(record.type))
    throw QSDatabaseException(QSDatabaseError(databaseError::ServiceNotInstalled{record.type}));
  if (isReservedDatabaseName(record.type, record.effectiveDatabaseName()))
    throw QSDatabaseException(
        QSDatabaseError(databaseError::ReservedName{record.type, record.effectiveDatabaseName()}));
  int port = clusterPort(record.type);
  ensureClusterRunning(record.type, port);
  port = clusterPort(record.type);  // where it runs now, should the start have moved it
  // An account without a password would let every local user in over TCP.
  if (record.type != QSDatabaseType::redis && !QSServiceAccount::isServiceAccount(record.username) &&
      record.password.value_or("").empty())
    record.password = randomPassword();
  record = withServiceCredentials(record);
  createDatabase(record.effectiveDatabaseName(), record.type, port, record.username, record.password);
  record.port = port;
  return {record, generateEnvVars(record)};
}

void QSDatabaseService::createDatabase(const std::string& name, QSDatabaseType type, int port,
                                       const std::optional<std::string>& username,
                                       const std::optional<std::string>& password) {
  switch (type) {
    case QSDatabaseType::sqlite: {
      fs::path file = sqliteFile(name);
      createDirectories(file.parent_path(), 0700);
      // An existing file keeps its contents.
      if (!fileExists(file)) writeFileAtomically(file, "", 0600);
      break;
    }
    case QSDatabaseType::postgresql:
      createPostgresDatabase(name, port, username.value_or("quayside"), password);
      break;
    case QSDatabaseType::mysql: {
      std::string user = username.value_or(std::string(QSServiceAccount::name));
      std::string secret = password.value_or("");
      mysql(sql::mysqlDatabaseScript(name, user, secret), {secret});
      break;
    }
    case QSDatabaseType::redis: break;
  }
}

void QSDatabaseService::dropDatabase(const std::string& name, QSDatabaseType type, int) {
  // Dropping one of these would take the engine's own catalogue (and every database) with it.
  if (isReservedDatabaseName(type, name))
    throw QSDatabaseException(QSDatabaseError(databaseError::ReservedName{type, name}));
  switch (type) {
    case QSDatabaseType::sqlite: removeFile(sqliteFile(name)); break;
    case QSDatabaseType::postgresql:
      ensureClusterRunning(type, clusterPort(type));
      psql(clusterPort(type), "DROP DATABASE IF EXISTS " + sql::postgresIdentifier(name) + " WITH (FORCE);");
      break;
    case QSDatabaseType::mysql:
      ensureClusterRunning(type, clusterPort(type));
      mysql("DROP DATABASE IF EXISTS " + sql::mysqlIdentifier(name) + ";");
      break;
    case QSDatabaseType::redis: break;
  }
}

void QSDatabaseService::applyCredentials(const QSDatabase& database, const std::optional<std::string>& previousUser) {
  if (database.type == QSDatabaseType::sqlite || database.type == QSDatabaseType::redis) return;
  ensureClusterRunning(database.type, clusterPort(database.type));
  if (database.type == QSDatabaseType::postgresql)
    applyPostgresCredentials(database, previousUser);
  else
    applyMySQLCredentials(database, previousUser);
}

QSDatabase QSDatabaseService::withServiceCredentials(const QSDatabase& database) const {
  QSDatabase record = database;
  bool service = record.type == QSDatabaseType::redis ||
                 (record.type != QSDatabaseType::sqlite && QSServiceAccount::isServiceAccount(record.username));
  if (service)
    if (auto secret = account_.password(record.type)) record.password = *secret;
  return record;
}

bool QSDatabaseService::databaseExists(const std::string& name, QSDatabaseType type) {
  try {
    if (type == QSDatabaseType::postgresql) {
      std::string out =
          psql(clusterPort(type), "SELECT 1 FROM pg_database WHERE datname = " + sql::postgresLiteral(name) + ";");
      return out.find('1') != std::string::npos;
    }
    if (type == QSDatabaseType::mysql) {
      std::string out = mysql("SELECT SCHEMA_NAME FROM information_schema.schemata WHERE SCHEMA_NAME = " +
                                               sql::mysqlLiteral(name) + ";");
      for (std::size_t start = 0; start < out.size();) {
        auto end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        if (out.compare(start, end - start, name) == 0) return true;
        start = end + 1;
      }
      return false;
    }
    if (type == QSDatabaseType::sqlite) return fileExists(sqliteFile(name));
  } catch (const std::exception&) {
    // An engine that cannot answer knows of no database.
  }
  return false;
}

std::vector<QSDatabase> QSDatabaseService::adoptableDatabases(const std::vector<QSEnvDatabaseReference>& references,
                                                              const std::string& projectName) {
  std::vector<QSDatabase> adoptable;
  for (const auto& reference : references) {
    // A project that names the engine's own catalogue must never be able to drop it later.
    if (!reference.isLocalHost() || isReservedDatabaseName(reference.type, reference.name)) continue;
    QSDatabase record = QSDatabase::make(reference.name, reference.type, reference.port);
    record.username = reference.username;
    record.password = reference.password;
    switch (reference.type) {
      case QSDatabaseType::sqlite:
        try {
          if (!fileExists(sqliteFile(reference.name))) continue;
        } catch (const QSDatabaseException&) {
          continue;
        }
        break;
      case QSDatabaseType::postgresql:
      case QSDatabaseType::mysql:
        if (!registry_.isInstalled(reference.type)) continue;
        try {
          ensureClusterRunning(reference.type, clusterPort(reference.type));
        } catch (const std::exception&) {
          continue;
        }
        if (!databaseExists(reference.name, reference.type)) continue;
        record.port = clusterPort(reference.type);  // the engine's, where the database was found
        break;
      case QSDatabaseType::redis:
        if (status(QSDatabaseType::redis) != QSDatabaseStatus::running) continue;
        record.name = loweredIdentifier(projectName) + "_redis";
        record.port = clusterPort(QSDatabaseType::redis);
        break;
    }
    record.status = reference.type != QSDatabaseType::sqlite && status(reference.type) == QSDatabaseStatus::running
                        ? QSDatabaseStatus::running
                        : QSDatabaseStatus::stopped;
    adoptable.push_back(std::move(record));
  }
  return adoptable;
}

std::vector<QSEnvironmentVariable> QSDatabaseService::generateEnvVars(const QSDatabase& database) const {
  switch (database.type) {
    case QSDatabaseType::postgresql:
    case QSDatabaseType::mysql: {
      // The URL names the same user as DB_USERNAME.
      QSDatabase withUser = database;
      if (!withUser.username) withUser.username = "quayside";
      return {variable("DB_HOST", database.host), variable("DB_PORT", std::to_string(database.port)),
              variable("DB_USERNAME", *withUser.username), variable("DB_PASSWORD", database.password.value_or("")),
              variable("DB_NAME", database.effectiveDatabaseName()),
              variable("DATABASE_URL", withUser.connectionString())};
    }
    case QSDatabaseType::sqlite:
      // The file Quayside made, wherever the server runs from.
      return {variable("DATABASE_URL", "sqlite://" + sqliteFile(database.effectiveDatabaseName()).string())};
    case QSDatabaseType::redis: return {variable("REDIS_URL", database.connectionString())};
  }
  return {};
}

std::vector<std::int32_t> QSDatabaseService::orphanedServers() const {
  // Only MySQL and Redis servers: they belong to the owner that started them. PostgreSQL runs
  // detached on purpose and is found running again through its PID file.
  fs::path services = dataRoot_ / "services";
  std::string pattern = "^" + regexLiteral(services.string()) + "/[^/]+/bin/(mysqld|mariadbd|redis-server)( |$)";
  QSProcessResult listed;
  try {
    listed = runProcess({"/usr/bin/pgrep", "-U", std::to_string(currentUserID()), "-f", pattern});
  } catch (const std::exception&) {
    return {};
  }
  std::vector<std::int32_t> kept;
  for (const auto& [type, process] : runningProcesses_) kept.push_back(process->pid());
  for (auto type : {QSDatabaseType::mysql, QSDatabaseType::redis})
    if (auto adopted = adoptedProcess(type)) kept.push_back(*adopted);
  std::vector<std::int32_t> orphans;
  for (std::size_t start = 0; start < listed.output.size();) {
    auto end = listed.output.find('\n', start);
    if (end == std::string::npos) end = listed.output.size();
    std::string line = listed.output.substr(start, end - start);
    start = end + 1;
    if (line.empty() || line.size() > 9 || line.find_first_not_of("0123456789") != std::string::npos) continue;
    auto pid = static_cast<std::int32_t>(std::stol(line));
    if (std::find(kept.begin(), kept.end(), pid) == kept.end()) orphans.push_back(pid);
  }
  return orphans;
}

void QSDatabaseService::reapOrphanedProcesses() {
  // Until they have gone, their ports are taken and a new engine would move to other ones.
  endProcesses(orphanedServers());
}

void QSDatabaseService::stopEveryEngine() {
  stopAll();
  endProcesses(orphanedServers());
  endPostgres();
}

void QSDatabaseService::stopAll() {
  // PostgreSQL is left running: it is detached from its owner by design, and the next owner
  // finds it through its PID file.
  for (auto type : {QSDatabaseType::mysql, QSDatabaseType::redis}) {
    try {
      stop(type);
    } catch (const std::exception&) {
      endRecorded(type, true);
      if (auto adopted = adoptedProcess(type)) endProcesses({*adopted});
    }
  }
}

}  // namespace qs
