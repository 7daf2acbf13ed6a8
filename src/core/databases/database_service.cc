#include "core/databases/database_service.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/databases/service_downloader.h"
#include "core/platform/process_runner.h"
#include "core/platform/proc_table.h"
#include "core/runtime/port_scanner.h"

#include <algorithm>

namespace qs {
namespace fs = std::filesystem;
namespace {

// Start failures that another server taking the port first explains.
bool isPortTaken(const std::exception& e) {
  std::string text = e.what();
  return text.find("Address already in use") != std::string::npos || text.find("in use") != std::string::npos;
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

using EngineMap = std::map<QSDatabaseType, std::unique_ptr<QSDatabaseEngine>>;

// The MySQL and Redis servers of this user started from dataRoot/services by another owner,
// except the ones the engines started or adopted.
std::vector<std::int32_t> orphanedServers(const fs::path& dataRoot, const EngineMap& engines) {
  // Only MySQL and Redis servers: they belong to the owner that started them. PostgreSQL runs
  // detached on purpose and is found running again through its PID file.
  fs::path services = dataRoot / "services";
  std::string pattern = "^" + regexLiteral(services.string()) + "/[^/]+/bin/(mysqld|mariadbd|redis-server)( |$)";
  QSProcessResult listed;
  try {
    listed = runProcess({"/usr/bin/pgrep", "-U", std::to_string(currentUserID()), "-f", pattern});
  } catch (const std::exception&) {
    return {};
  }
  std::vector<std::int32_t> kept;
  for (const auto& [type, engine] : engines)
    for (auto pid : engine->serverProcesses()) kept.push_back(pid);
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

}  // namespace

QSDatabaseService::QSDatabaseService(fs::path dataRoot, QSSystemEngines system)
    : dataRoot_(std::move(dataRoot)), system_(std::move(system)), registry_(dataRoot_ / "services.json") {
  for (const auto& [type, name] : QSRawEnum<QSDatabaseType>::cases)
    engines_[type] = makeDatabaseEngine(
        type, {.dataRoot = dataRoot_,
               .registry = &registry_,
               .clusterPort = [this, type] { return clusterPort(type); },
               .startOnAFreePort = [this, type](int port) { startOnAFreePort(type, port); },
               .ensureRunning = [this, type] { ensureClusterRunning(type, clusterPort(type)); }});
}

QSDatabaseService::~QSDatabaseService() = default;

bool QSDatabaseService::isInstalled(QSDatabaseType type) {
  if (!engine(type).runsServer() || registry_.isInstalled(type)) return true;
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

void QSDatabaseService::initialize(QSDatabaseType type) {
  engine(type).initialize();
  engine(type).secure();
}

void QSDatabaseService::startOnAFreePort(QSDatabaseType type, int port) {
  // The free port found a moment ago can be taken by another server before the engine binds it.
  for (int attempt = 0;; ++attempt) {
    try {
      engine(type).start(port);
      if (registry_.service(type) && registry_.service(type)->port != port) registry_.setPort(port, type);
      return;
    } catch (const QSDatabaseException& e) {
      if (attempt == 4 || !isPortTaken(e) || !engine(type).runsServer()) throw;
      port = QSPortScanner().availablePort(port + 1, {}, 256);
    }
  }
}

void QSDatabaseService::start(QSDatabaseType type, int port) {
  startOnAFreePort(type, port);
  engine(type).secure();
}

void QSDatabaseService::stop(QSDatabaseType type) { engine(type).stop(); }

QSDatabaseStatus QSDatabaseService::status(QSDatabaseType type) { return engine(type).status(); }

int QSDatabaseService::clusterPort(QSDatabaseType type) {
  if (!engine(type).runsServer()) return 0;
  auto installed = registry_.service(type);
  int preferred = installed && installed->port > 0 ? installed->port : defaultPort(type);
  if (status(type) == QSDatabaseStatus::running) return preferred;
  int port = QSPortScanner().availablePort(preferred, {}, 256);
  if (port != preferred) registry_.setPort(port, type);
  return port;
}

void QSDatabaseService::ensureClusterRunning(QSDatabaseType type, int port) {
  if (!engine(type).isInitialized()) initialize(type);
  if (status(type) != QSDatabaseStatus::running) start(type, port);
  engine(type).secure();  // an engine an earlier owner left running may date from before service passwords
}

QSProvisionResult QSDatabaseService::provision(const QSDatabase& database) {
  QSDatabase record = database;
  QSDatabaseEngine& engine = this->engine(record.type);
  if (!engine.runsServer()) {
    engine.createDatabase(record.effectiveDatabaseName(), 0, record.username, record.password);
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
  if (engine.hasAccounts() && !QSServiceAccount::isServiceAccount(record.username) &&
      record.password.value_or("").empty())
    record.password = randomPassword();
  record = withServiceCredentials(record);
  engine.createDatabase(record.effectiveDatabaseName(), port, record.username, record.password);
  record.port = port;
  return {record, generateEnvVars(record)};
}

void QSDatabaseService::dropDatabase(const std::string& name, QSDatabaseType type, int) {
  // Dropping one of these would take the engine's own catalogue (and every database) with it.
  if (isReservedDatabaseName(type, name))
    throw QSDatabaseException(QSDatabaseError(databaseError::ReservedName{type, name}));
  engine(type).dropDatabase(name);
}

void QSDatabaseService::applyCredentials(const QSDatabase& database, const std::optional<std::string>& previousUser) {
  engine(database.type).applyCredentials(database, previousUser);
}

QSDatabase QSDatabaseService::withServiceCredentials(const QSDatabase& database) const {
  QSDatabase record = database;
  const QSDatabaseEngine& engine = this->engine(record.type);
  // Without accounts of its own, a server's every record signs in with its service password.
  bool service = engine.runsServer() && (!engine.hasAccounts() || QSServiceAccount::isServiceAccount(record.username));
  if (service)
    if (auto secret = QSServiceAccount(dataRoot_).password(record.type)) record.password = *secret;
  return record;
}

bool QSDatabaseService::databaseExists(const std::string& name, QSDatabaseType type) {
  try {
    return engine(type).databaseExists(name);
  } catch (const std::exception&) {
    // An engine that cannot answer knows of no database.
    return false;
  }
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
    if (!engine(reference.type).adopt(record, projectName)) continue;
    record.status = status(reference.type) == QSDatabaseStatus::running ? QSDatabaseStatus::running
                                                                         : QSDatabaseStatus::stopped;
    adoptable.push_back(std::move(record));
  }
  return adoptable;
}

std::vector<QSEnvironmentVariable> QSDatabaseService::generateEnvVars(const QSDatabase& database) const {
  return engine(database.type).environment(database);
}

void QSDatabaseService::reapOrphanedProcesses() {
  // Until they have gone, their ports are taken and a new engine would move to other ones.
  endProcesses(orphanedServers(dataRoot_, engines_));
}

void QSDatabaseService::stopEveryEngine() {
  stopAll();
  endProcesses(orphanedServers(dataRoot_, engines_));
  for (const auto& [type, engine] : engines_)
    if (engine->outlivesOwner()) engine->end();
}

void QSDatabaseService::stopAll() {
  // PostgreSQL is left running: it is detached from its owner by design, and the next owner
  // finds it through its PID file.
  for (const auto& [type, engine] : engines_) {
    if (engine->outlivesOwner() || !engine->runsServer()) continue;
    try {
      engine->stop();
    } catch (const std::exception&) {
      engine->end();
    }
  }
}

}  // namespace qs
